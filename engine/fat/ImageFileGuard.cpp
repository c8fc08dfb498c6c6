#include "engine/fat/ImageFileGuard.h"

#include "engine/base/AtomicFile.h"

#include <vector>

namespace tamberlane {

void ImageFileGuard::attach(std::shared_ptr<FileLock> lock, std::optional<DiskImageError> refusal,
                            PagedBytes fileBytes, std::shared_ptr<FilePages> pages) {
    lock_ = std::move(lock);
    refusal_ = std::move(refusal);
    fileBytes_ = std::move(fileBytes);
    pages_ = std::move(pages);
}

const std::optional<DiskImageError>& ImageFileGuard::refusal() const {
    if (!refusal_ && pages_ && pages_->sawChange()) {
        refusal_ = DiskImageError::imageFileChanged();
    }
    return refusal_;
}

std::optional<DiskImageError> ImageFileGuard::check() {
    if (refusal() || !lock_ || lock_->fileDescriptor() < 0) {
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
    if (lock_ && lock_->fileDescriptor() >= 0 && !fileBytes_.empty()) {
        FileRevision revision{lock_->fileDescriptor(), static_cast<std::int64_t>(bytes.size()), {}};
        bytes.forEachPageNotSharedWith(fileBytes_, [&](std::size_t offset, ByteView page) {
            revision.changes.push_back({static_cast<std::int64_t>(offset), page});
        });
        writeFileAtomically(url_, revision, lock_);
        if (pages_) {
            pages_->followSave(*lock_);
        }
    } else {
        std::vector<ByteView> pieces;
        pieces.reserve(bytes.size() / PagedBytes::pageSize + 1);
        bytes.forEachSegment(0, bytes.size(), [&](ByteView piece) { pieces.push_back(piece); });
        writeFileAtomically(url_, pieces, LockedTarget::ownedByCaller, lock_);
    }
    fileBytes_ = bytes;
}

} // namespace tamberlane
