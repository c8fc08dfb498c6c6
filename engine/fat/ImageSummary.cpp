#include "engine/fat/ImageSummary.h"

#include "engine/base/FileExtension.h"
#include "engine/image/formats/FormatTable.h"

namespace tamberlane {

ImageSummary summarizeImage(const DiskImage& image) {
    ImageSummary summary;
    summary.fileName = image.url().filename().string();
    summary.formatExtension = upperExtension(image.url());
    summary.formatLabel = formatLabelForExtension(summary.formatExtension);
    summary.fileSystem = image.fatType();
    summary.geometry = image.geometry();
    summary.bpb = image.bpb();
    summary.bytesPerCluster = image.bytesPerCluster();
    summary.capacity = image.capacity();
    summary.dataOffset = image.dataOffset();
    summary.isWriteProtected = image.isWriteProtected();
    summary.isReadOnly = image.isReadOnly();
    summary.volumeSectors = image.bpb().volumeSectorCount();
    summary.parametersInferred = image.parametersInferred();
    summary.partition = image.partition();
    if (image.changeRefusal()) {
        summary.changeRefusal = image.changeRefusal()->text();
    }
    if (image.fileRefusal()) {
        summary.fileRefusal = image.fileRefusal()->errorDescription();
    }
    summary.searchedBootOffset = image.searchedBootOffset();
    return summary;
}

std::string fileSystemName(FATType type) {
    return type == FATType::fat16 ? "FAT16" : "FAT12";
}

} // namespace tamberlane
