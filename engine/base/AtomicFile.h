#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/FileLock.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <vector>

namespace tamberlane {

// How a whole-file write treats a file already at the target.
enum class LockedTarget {
    // The caller holds the target's lock itself (a save of the open image).
    ownedByCaller,
    // Refuse with lockConflict when any descriptor, ours included, holds a lock on it.
    refuse,
};

// Whether the write may take the place of a file already at the target.
enum class ExistingTarget {
    replace,
    // Refuse with DiskImageError::targetExists, even when a file appears at the target
    // while the write runs.
    keep,
};

// Writes `bytes` to `path` as a new file put in place of the old one: a temporary file
// in the same directory, synced, given the old file's mode, renamed over the target,
// then the directory synced. A symlink is followed to its target. On failure the old
// file is untouched and the temporary file removed. When `lock` is given, the new file
// is locked exclusively before it replaces the old one and `lock` takes it over.
void writeFileAtomically(const std::filesystem::path& path, ByteView bytes,
                         LockedTarget lockedTarget, const std::shared_ptr<FileLock>& lock = nullptr,
                         ExistingTarget existing = ExistingTarget::replace);
// The same for a file whose bytes are `pieces` one after another.
void writeFileAtomically(const std::filesystem::path& path, std::span<const ByteView> pieces,
                         LockedTarget lockedTarget, const std::shared_ptr<FileLock>& lock = nullptr,
                         ExistingTarget existing = ExistingTarget::replace);

// A new version of a file: `size` bytes that are what `base` (an open descriptor of the
// old version) holds at the same offsets, except the `changes`, which are written over
// them (in order, not overlapping).
struct FileRevision {
    int base = -1;
    std::int64_t size = 0;
    struct Change {
        std::int64_t offset = 0;
        ByteView bytes;
    };
    std::vector<Change> changes;
};

// The same atomic replacement for a revision of the file at `path`, which `revision.base`
// must still be. The new file is a clone of the old one where the file system can share
// its blocks, else a copy made in the kernel; either way the old file's holes stay holes,
// and a change of zeros that falls in one is not written.
void writeFileAtomically(const std::filesystem::path& path, const FileRevision& revision,
                         const std::shared_ptr<FileLock>& lock);

// Steps of the write at which tests can inject a failure.
enum class AtomicWriteStep { createTemporary, write, sync, setMode, lock, rename };

// Test hook: returns an errno to fail the step with, or 0. Not for production use.
void setAtomicWriteFaultHook(std::function<int(AtomicWriteStep)> hook);

} // namespace tamberlane
