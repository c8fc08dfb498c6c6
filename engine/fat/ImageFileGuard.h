#pragma once

#include "engine/base/DiskImageError.h"
#include "engine/base/FileLock.h"
#include "engine/base/FilePages.h"
#include "engine/base/PagedBytes.h"

#include <filesystem>
#include <memory>
#include <optional>

namespace tamberlane {

// An open image's hold on its file: the advisory lock taken at open, and why the file
// itself forbids changes (another program wrote it, it was moved or deleted, or another
// program holds it open for writing). A refusal stays until the image is opened again:
// what is in memory no longer matches the file.
class ImageFileGuard {
  public:
    explicit ImageFileGuard(std::filesystem::path url) : url_(std::move(url)) {}

    // The lock of the open, the refusal it found already (the file held elsewhere), the
    // file's bytes as read through the lock's descriptor, and the reader of the pages
    // among them not read yet (absent when the bytes were read whole).
    void attach(std::shared_ptr<FileLock> lock, std::optional<DiskImageError> refusal,
                PagedBytes fileBytes, std::shared_ptr<FilePages> pages = nullptr);
    const std::shared_ptr<FileLock>& lock() const { return lock_; }
    const std::optional<DiskImageError>& refusal() const;

    // Compares the file with what was read from it (see FileLock::check; a page read
    // from a changed file counts too) and records a difference as the refusal; returns it. Images
    // without a file are never refused.
    std::optional<DiskImageError> check();
    // The same, throwing the refusal: called before every change starts and every save.
    void verify();
    // Replaces the file with `bytes` atomically, after `verify`: our bytes would replace
    // whatever another program wrote, or recreate a file the user moved away while the one
    // they kept gets nothing. The lock moves to the new file. Pages still shared with
    // what the file holds are taken from the old file rather than written again.
    void save(const PagedBytes& bytes);

  private:
    std::filesystem::path url_;
    std::shared_ptr<FileLock> lock_;
    // Mutable: a page read from a changed file refuses changes from then on, whoever
    // asks first.
    mutable std::optional<DiskImageError> refusal_;
    // What the file holds now: the bytes read at open, then those of the last save.
    PagedBytes fileBytes_;
    std::shared_ptr<FilePages> pages_;
};

} // namespace tamberlane
