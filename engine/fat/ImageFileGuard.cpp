#include "engine/fat/ImageFileGuard.h"

#include "engine/base/AtomicFile.h"

#include <vector>

namespace tamberlane {

void ImageFileGuard::attach(std::shared_ptr<FileLock> lock, std::optional<DiskImageError> refusal) {
    lock_ = std::move(lock);
    refusal_ = std::move(refusal);
}

std::optional<DiskImageError> ImageFileGuard::check() {
    if (refusal_ || !lock_ || lock_->fileDescriptor() < 0) {
        return refusal_;
    }
    switch (lock_->check(url_)) {
    case ImageFileState::unchanged:
        break;
    case ImageFileState::changedElsewhere:
        refusal_ = DiskImageError::imageFileChanged();
        break;
    case ImageFileState::movedOrDeleted:
        refusal_ = DiskImageError::imageFileMoved();
        break;
    case ImageFileState::openForWriting:
        refusal_ = DiskImageError::imageFileOpenForWriting();
        break;
    }
    return refusal_;
}

void ImageFileGuard::verify() {
    if (const auto refusal = check()) {
        throw *refusal;
    }
}

void ImageFileGuard::save(const PagedBytes& bytes) {
    verify();
    std::vector<ByteView> pieces;
    pieces.reserve(bytes.size() / PagedBytes::pageSize + 1);
    bytes.forEachSegment(0, bytes.size(), [&](ByteView piece) { pieces.push_back(piece); });
    writeFileAtomically(url_, pieces, LockedTarget::ownedByCaller, lock_);
}

} // namespace tamberlane
