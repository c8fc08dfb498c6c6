#pragma once

#include "engine/image/DiskImageFormat.h"

#include <array>

namespace tamberlane {

// Where a headerless file keeps a volume its size alone does not tell: found by its boot
// sector, or by the media byte of its first FAT (then with inferred parameters).
struct HeaderlessLayout {
    DiskGeometry geometry;
    std::int64_t volumeOffset = 0;
    std::optional<BIOSParameterBlock> inferredBPB;
    bool foundBySearch = false;
};

// A headerless image: the volume is the whole file, its geometry known by its size or
// read from the volume it holds.
class PlainImageFormat : public DiskImageFormat {
  public:
    explicit PlainImageFormat(std::int64_t fileSize, std::string extension = "BIN",
                              std::optional<HeaderlessLayout> layout = std::nullopt)
        : fileSize(fileSize), extension_(std::move(extension)), layout_(std::move(layout)) {}
    // Looks at the content for a size that is not listed (and for a floppy without BPB).
    static std::shared_ptr<const PlainImageFormat> read(const ImageFileReader& file,
                                                        std::string extension);

    // A valid BPB at offset 0: enough to take a file of unknown extension as headerless.
    static bool startsWithBootSector(const ImageFileReader& file);

    const std::int64_t fileSize;

    DiskGeometry parseGeometry(const ImageFileReader& file) const override;
    std::int64_t dataOffset(const ImageFileReader&) const override {
        return layout_ ? layout_->volumeOffset : 0;
    }
    std::string name() const override { return extension_; }
    ContainerFamily family() const override { return ContainerFamily::headerless; }
    bool volumeFoundBySearch() const override { return layout_ && layout_->foundBySearch; }
    std::optional<BIOSParameterBlock> inferredParameters() const override {
        return layout_ ? layout_->inferredBPB : std::nullopt;
    }

    struct KnownSize {
        std::int64_t size;
        DiskGeometry geometry;
    };
    // In the order the size message lists them.
    static const std::vector<KnownSize>& knownSizes();

  private:
    std::string extension_;
    std::optional<HeaderlessLayout> layout_;
};

} // namespace tamberlane
