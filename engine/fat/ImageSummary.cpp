#include "engine/fat/ImageSummary.h"

#include "engine/base/FileExtension.h"
#include "engine/image/formats/FormatTable.h"

namespace tamberlane {

ImageSummary summarizeImage(const DiskImage& image) {
    ImageSummary summary;
    const ImageLayout& layout = image.layout();
    summary.fileName = layout.url.filename().string();
    summary.formatExtension = upperExtension(layout.url);
    summary.formatLabel = formatLabelForExtension(summary.formatExtension);
    summary.fileSystem = layout.fatType;
    summary.geometry = layout.geometry;
    summary.bpb = layout.bpb;
    summary.bytesPerCluster = image.addressing().bytesPerCluster();
    summary.capacity = image.capacity();
    summary.dataOffset = layout.dataOffset;
    summary.isWriteProtected = layout.isWriteProtected;
    summary.isReadOnly = layout.isReadOnly;
    summary.volumeSectors = layout.bpb.volumeSectorCount();
    summary.parametersInferred = layout.parametersInferred;
    summary.partition = layout.partition;
    if (image.changeRefusal()) {
        summary.changeRefusal = image.changeRefusal()->text();
    }
    if (image.file().refusal()) {
        summary.fileRefusal = image.file().refusal()->errorDescription();
    }
    summary.searchedBootOffset = layout.searchedBootOffset;
    return summary;
}

std::string fileSystemName(FATType type) {
    return type == FATType::fat16 ? "FAT16" : "FAT12";
}

} // namespace tamberlane
