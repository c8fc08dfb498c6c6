#pragma once

#include "engine/base/DiskImageError.h"
#include "engine/fat/DiskImage.h"
#include "engine/fat/LongNamePolicy.h"
#include "engine/operations/ImageJournal.h"

#include <cstddef>
#include <functional>
#include <optional>
#include <stop_token>
#include <string>
#include <vector>

namespace tamberlane {

// Receives a fraction from 0 to 1.
using ProgressCallback = std::function<void(double)>;

// The outcome of one item of a batch.
struct BatchItemResult {
    // The host file name (import) or the entry's display name (delete).
    std::string name;
    std::optional<DiskImageError> error;

    bool succeeded() const { return !error.has_value(); }
};

struct BatchResult {
    // One item per requested file, in request order; empty when cancelled.
    std::vector<BatchItemResult> items;
    // The stop was requested: the whole batch was undone and the file not written.
    bool cancelled = false;
    // The batch was undone as a whole (an item failed where all or nothing was asked, or
    // nothing was to be kept): the items that succeeded were not written either.
    bool discarded = false;

    bool allSucceeded() const;
    std::vector<std::string> failedNames() const;
};

// Whether the batch left the volume and its file as they were.
bool changedNothing(const BatchResult& result);

// What a batch keeps when some of its items fail.
enum class BatchMode {
    // Each item stands alone: the ones that succeeded are written.
    keepSucceeded,
    // One failed item undoes the whole batch; nothing is written.
    allOrNothing,
    // Every item is tried, so each failure can be named, and the whole batch is undone.
    tryOnly,
};

struct BatchOptions {
    // Replace a file of the same name (never a directory).
    bool overwrite = false;
    // Seen between items and between clusters; a stop undoes the whole batch.
    std::stop_token stop = {};
    ProgressCallback progress = {};
    // Told the name of each entry a directory copy reaches inside the tree, so that a long
    // copy of one folder shows where it is.
    std::function<void(const std::string&)> entryReached = {};
    BatchMode mode = BatchMode::keepSucceeded;
    // When new names get long-name slots (import); copies and moves keep theirs.
    LongNamePolicy longNames = LongNamePolicy::automatic;
};

// Thrown where a stop request is seen; the batch runner undoes the batch.
struct BatchCancelled {};
void throwIfStopped(const std::stop_token& stop);
void report(const ProgressCallback& progress, double value);

// Applies each item with its own rollback, then saves once (unless the mode discards the
// batch); a failed save undoes the whole batch and marks every item failed, a stop undoes
// it and marks it cancelled. `rolledBack` runs after each rollback, so that whoever keeps
// what it read of the volume reads it again.
BatchResult runBatch(DiskImage& image, const std::vector<std::string>& names,
                     const std::function<void(std::size_t)>& apply, const BatchOptions& options,
                     const std::function<void()>& rolledBack);

} // namespace tamberlane
