#include "engine/operations/BatchRunner.h"

#include "engine/operations/VolumeTransaction.h"

#include <algorithm>

namespace tamberlane {

bool BatchResult::allSucceeded() const {
    return std::all_of(items.begin(), items.end(),
                       [](const BatchItemResult& i) { return i.succeeded(); });
}

bool changedNothing(const BatchResult& result) {
    return result.cancelled || result.discarded ||
           std::none_of(result.items.begin(), result.items.end(),
                        [](const BatchItemResult& i) { return i.succeeded(); });
}

std::vector<std::string> BatchResult::failedNames() const {
    std::vector<std::string> names;
    for (const BatchItemResult& item : items) {
        if (!item.succeeded()) {
            names.push_back(item.name);
        }
    }
    return names;
}

void throwIfStopped(const std::stop_token& stop) {
    if (stop.stop_requested()) {
        throw BatchCancelled{};
    }
}

void report(const ProgressCallback& progress, double value) {
    if (progress) {
        progress(value);
    }
}

BatchResult runBatch(DiskImage& image, const std::vector<std::string>& names,
                     const std::function<void(std::size_t)>& apply, const BatchOptions& options,
                     const std::function<void()>& rolledBack) {
    BatchResult result;
    VolumeTransaction transaction(image);
    ImageJournal& journal = transaction.journal();
    const auto rollback = [&](const ImageJournal::Mark* to) {
        if (to != nullptr) {
            journal.rollbackTo(*to);
        } else {
            transaction.rollback();
        }
        rolledBack();
    };
    bool changed = false;
    try {
        for (std::size_t i = 0; i < names.size(); ++i) {
            throwIfStopped(options.stop);
            BatchItemResult item{names[i], std::nullopt};
            const ImageJournal::Mark before = journal.mark();
            try {
                apply(i);
                changed = true;
            } catch (const DiskImageError& error) {
                rollback(&before);
                item.error = error;
            }
            result.items.push_back(std::move(item));
            report(options.progress,
                   static_cast<double>(i + 1) / static_cast<double>(names.size()));
        }
        throwIfStopped(options.stop);
        const bool discard = options.mode == BatchMode::tryOnly ||
                             (options.mode == BatchMode::allOrNothing && !result.allSucceeded());
        if (discard) {
            rollback(nullptr);
            result.discarded = true;
        } else if (changed) {
            transaction.commit(FATWrite::yes);
        }
    } catch (const BatchCancelled&) {
        rollback(nullptr);
        result.items.clear();
        result.cancelled = true;
    } catch (const DiskImageError& error) {
        // The save failed: the batch is undone as a whole, so nothing of it was kept.
        rollback(nullptr);
        for (BatchItemResult& item : result.items) {
            if (item.succeeded()) {
                item.error = error;
            }
        }
    }
    return result;
}

} // namespace tamberlane
