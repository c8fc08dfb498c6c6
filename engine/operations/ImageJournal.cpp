#include "engine/operations/ImageJournal.h"

namespace tamberlane {

void ImageJournal::rollbackTo(const Mark& mark) noexcept {
    image_.restore(mark.data);
    image_.fatTable() = mark.fatTable;
}

void ImageJournal::writeFAT() {
    image_.addressing().fatArea().write(
        image_.fatTable(), [this](std::int64_t lba, ByteView bytes) { writeSector(lba, bytes); });
}

} // namespace tamberlane
