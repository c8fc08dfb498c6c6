#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/FileLock.h"
#include "engine/base/PagedBytes.h"

#include <filesystem>
#include <functional>
#include <memory>
#include <span>
#include <variant>
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

// `length` bytes of the open file `source` from `offset`.
struct FileRange {
    int source = -1;
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

// `length` bytes of `bytes` from `offset`, read a page at a time while they are written.
struct PagedRange {
    const PagedBytes* bytes = nullptr;
    std::int64_t offset = 0;
    std::int64_t length = 0;
};

// One run of a new file's bytes: held in memory, or taken from another file.
using ContentPiece = std::variant<ByteView, FileRange, PagedRange>;

// The same atomic write of a new file made of `pieces` one after another, another program's
// locked file at `path` refused. A range of another file is copied in the kernel where it
// can; its holes, and runs of zeros held in memory, stay holes. `check` gets the temporary
// file once it is written, before it is synced and put in place: what it throws fails the
// write as any step does, and the temporary file goes.
void writeFileAtomically(const std::filesystem::path& path, std::span<const ContentPiece> pieces,
                         const std::function<void(int fd)>& check, ExistingTarget existing);

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

// A copy of the file at `source` put at `path`, never over a file already there
// (targetExists): a clone sharing the source's blocks where the file system can, else a
// copy made in the kernel, holes kept; atomic as every write here. For a backup kept
// before a change.
void copyFileAtomically(const std::filesystem::path& source, const std::filesystem::path& path);

// Steps of the write at which tests can inject a failure.
enum class AtomicWriteStep { createTemporary, write, sync, setMode, lock, rename };

// Test hook: returns an errno to fail the step with, or 0. Not for production use.
void setAtomicWriteFaultHook(std::function<int(AtomicWriteStep)> hook);

} // namespace tamberlane
