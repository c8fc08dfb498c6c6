// Import, export and paste: the long operations, run in the background with progress and
// a way to stop.
#include "app/state/FileBrowserViewModel.h"

#include "app/state/FailureReport.h"
#include "app/state/StateTexts.h"
#include "engine/fat/HostFileName.h"
#include "engine/operations/EntryTransfer.h"
#include "engine/operations/FileImport.h"

namespace tamberlane {

namespace {

std::vector<std::string> hostNames(const std::vector<std::filesystem::path>& files) {
    std::vector<std::string> names;
    for (const auto& file : files) {
        names.push_back(FileImport::hostFileName(file));
    }
    return names;
}

// One line per clashing host file; the entry an overwrite replaces keeps its name, so the
// line names it too when the user knows it by another.
std::vector<std::string> clashLines(const std::shared_ptr<DiskImage>& image,
                                    const std::vector<std::filesystem::path>& clashes,
                                    const DiskPath& target, LongNamePolicy policy) {
    const std::vector<std::string> hosts = hostNames(clashes);
    std::vector<std::string> existing(hosts.size());
    try {
        existing = FileImport(image).clashingEntryNames(hosts, target, policy);
    } catch (const DiskImageError&) {
        // The directory no longer reads: the question names the host files alone.
    }
    std::vector<std::string> lines;
    for (std::size_t i = 0; i < hosts.size(); ++i) {
        lines.push_back(existing[i].empty() ? hosts[i]
                                            : hosts[i] + texts::clashRenamedArrow + existing[i]);
    }
    return lines;
}

// A batch that threw rather than reporting its items failed every one of them.
BatchResult batchOutcome(const TaskOutcome<BatchResult>& outcome,
                         const std::vector<std::string>& names) {
    if (outcome.value) {
        return *outcome.value;
    }
    BatchResult result;
    if (outcome.error) {
        result.items = allFailed(names, *outcome.error);
    }
    return result;
}

bool hasReason(const BatchItemResult& item, DiskImageError::Reason reason) {
    return item.error && item.error->reason() == reason;
}

} // namespace

bool FileBrowserViewModel::beginOperation() {
    if (!isBound() || !gate_->tryBegin()) {
        return false;
    }
    stop_ = std::stop_source();
    operationProgress = 0.0;
    operationFileName = "";
    isOperationInProgress = true;
    return true;
}

void FileBrowserViewModel::endOperation() {
    isOperationInProgress = false;
    operationProgress = 0.0;
    operationFileName = "";
}

void FileBrowserViewModel::cancelOperation() {
    stop_.request_stop();
}

ProgressCallback FileBrowserViewModel::progressReporter(std::vector<std::string> itemNames) {
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    Executor* executor = &executor_;
    // A batch reports its overall fraction; the item it has reached names the file shown.
    return [weak, executor, names = std::move(itemNames)](double fraction) {
        std::string name;
        if (!names.empty()) {
            const auto reached =
                static_cast<std::size_t>(fraction * static_cast<double>(names.size()));
            name = names[std::min(names.size() - 1, reached)];
        }
        executor->postToMain([weak, name = std::move(name), fraction] {
            if (const auto self = weak.lock(); self && self->isOperationInProgress) {
                self->operationFileName = name;
                self->operationProgress = fraction;
            }
        });
    };
}

// Import ---------------------------------------------------------------------------------

void FileBrowserViewModel::importFiles(const std::vector<std::filesystem::path>& from,
                                       bool overwrite) {
    if (from.empty()) {
        return;
    }
    // The target is fixed now: whatever the user looks at later, the files go here.
    runImport(ImportRequest{from, currentPath.get()}, overwrite);
}

void FileBrowserViewModel::runImport(ImportRequest request, bool overwrite) {
    if (!beginOperation()) {
        return;
    }
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    const auto image = image_;
    std::vector<std::string> names = hostNames(request.files);
    BatchOptions options{overwrite, stop_.get_token(), progressReporter(std::move(names))};
    options.longNames = longNamePolicy.get();
    runChange<BatchResult>(
        changeRun(texts::undoImport), image,
        [image, request, options] {
            return FileImport(image).importFiles(request.files, request.target, options);
        },
        [weak, request, overwrite](TaskOutcome<BatchResult> outcome) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->endOperation();
            self->finishImport(request, batchOutcome(outcome, hostNames(request.files)), overwrite);
        });
}

void FileBrowserViewModel::finishImport(const ImportRequest& request, const BatchResult& result,
                                        bool overwrite) {
    std::vector<BatchItemResult> failed;
    std::vector<std::filesystem::path> clashes;
    if (!result.cancelled) {
        for (std::size_t i = 0; i < result.items.size() && i < request.files.size(); ++i) {
            const BatchItemResult& item = result.items[i];
            if (item.succeeded()) {
                continue;
            }
            if (!overwrite && hasReason(item, DiskImageError::Reason::nameClash)) {
                clashes.push_back(request.files[i]);
            } else {
                failed.push_back(item);
            }
        }
    }
    afterChange();
    if (!clashes.empty()) {
        pendingImport_ = ImportRequest{clashes, request.target};
        pendingOverwriteURLs = clashes;
        duplicateFileNames = clashLines(image_, clashes, request.target, longNamePolicy.get());
        showImportOverwriteConfirmation = true;
    }
    if (!failed.empty()) {
        reportFailure(texts::importFailed, failed);
    }
}

void FileBrowserViewModel::confirmImportOverwrite() {
    showImportOverwriteConfirmation = false;
    std::optional<ImportRequest> request = std::exchange(pendingImport_, std::nullopt);
    pendingOverwriteURLs.set({});
    duplicateFileNames.set({});
    if (request) {
        runImport(std::move(*request), true);
    }
}

void FileBrowserViewModel::cancelImportOverwrite() {
    showImportOverwriteConfirmation = false;
    pendingImport_.reset();
    pendingOverwriteURLs.set({});
    duplicateFileNames.set({});
}

// Export ---------------------------------------------------------------------------------

void FileBrowserViewModel::exportSelectedFiles(const std::filesystem::path& folder) {
    std::vector<FileEntry> targets = selectedFileEntries();
    if (targets.empty() || !isBound() || gate_->isBusy) {
        return;
    }
    std::vector<std::string> existing = existingHostNames(targets, folder);
    if (!existing.empty()) {
        pendingExport_ = ExportRequest{std::move(targets), folder};
        exportDuplicateNames = std::move(existing);
        showExportOverwriteConfirmation = true;
        return;
    }
    // Nothing stood there when the user was asked nothing: a file that appears meanwhile is
    // reported, not replaced.
    runExport(ExportRequest{std::move(targets), folder}, ExistingHostFile::refuse);
}

void FileBrowserViewModel::confirmExportOverwrite() {
    showExportOverwriteConfirmation = false;
    exportDuplicateNames.set({});
    if (auto request = std::exchange(pendingExport_, std::nullopt)) {
        runExport(std::move(*request), ExistingHostFile::overwrite);
    }
}

void FileBrowserViewModel::skipExistingOnExport() {
    showExportOverwriteConfirmation = false;
    exportDuplicateNames.set({});
    if (auto request = std::exchange(pendingExport_, std::nullopt)) {
        runExport(std::move(*request), ExistingHostFile::skip);
    }
}

void FileBrowserViewModel::cancelExportOverwrite() {
    showExportOverwriteConfirmation = false;
    exportDuplicateNames.set({});
    pendingExport_.reset();
}

bool FileBrowserViewModel::runExport(ExportRequest request, ExistingHostFile existing,
                                     std::function<void(const ExportResult*)> then) {
    if (!beginOperation()) {
        return false;
    }
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    Executor* executor = &executor_;
    ExportOptions options;
    options.existing = existing;
    options.stop = stop_.get_token();
    options.progress = [weak, executor](const std::string& name, double fraction) {
        executor->postToMain([weak, name, fraction] {
            if (const auto self = weak.lock(); self && self->isOperationInProgress) {
                self->operationFileName = name;
                self->operationProgress = fraction;
            }
        });
    };
    const std::shared_ptr<DiskImage> image = boundImage();
    std::vector<std::string> names = displayNames(request.targets);
    std::filesystem::path folder = request.folder;
    runTask<ExportResult>(
        executor_,
        [image, request = std::move(request), options] {
            return exportEntries(*image, request.targets, request.folder, options);
        },
        [weak, gate = gate_, names = std::move(names), folder = std::move(folder),
         then = std::move(then)](TaskOutcome<ExportResult> outcome) {
            // Reading only, it saves nothing: the gate opens whoever is left to hear of it.
            gate->end();
            const bool quiet = then != nullptr;
            if (then) {
                then(outcome.value ? &*outcome.value : nullptr);
            }
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->endOperation();
            // Every entry that failed, inside the chosen directories too; a folder that
            // could not be made fails them all.
            const std::vector<BatchItemResult> failed =
                outcome.value ? outcome.value->problems : allFailed(names, *outcome.error);
            if (!failed.empty()) {
                self->reportFailure(texts::exportFailed, failed);
            } else if (!outcome.value->cancelled && !quiet) {
                // A drag's copies are for the drop target, which shows its own.
                self->notice_.emit(texts::exportDone(folder.filename().string()));
            }
        });
    return true;
}

void FileBrowserViewModel::exportFileAs(const FileEntry& entry,
                                        const std::filesystem::path& destination) {
    const auto image = boundImage();
    if (!image || !beginOperation()) {
        return;
    }
    // A file of many megabytes takes a while to read out of a large image: the window stays
    // live and shows it, as for any export.
    operationFileName = entry.directoryEntry.displayName();
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    runTask<bool>(
        executor_,
        [image, entry, destination] {
            // The save dialog has asked before replacing a file there.
            exportFileTo(*image, entry, destination, ExistingHostFile::overwrite);
            return true;
        },
        [weak, gate = gate_, name = entry.directoryEntry.displayName(),
         destination](TaskOutcome<bool> outcome) {
            gate->end();
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->endOperation();
            if (outcome.succeeded()) {
                self->notice_.emit(texts::exportDone(destination.filename().string()));
            } else {
                self->reportFailure(texts::exportFailed, {{name, *outcome.error}});
            }
        });
}

std::shared_ptr<const DragCopies>
FileBrowserViewModel::copyForDrag(std::vector<FileEntry> entries) {
    std::erase_if(entries,
                  [](const FileEntry& entry) { return entry.directoryEntry.isDirectory(); });
    if (entries.empty() || !isBound() || gate_->isBusy) {
        return nullptr;
    }
    const std::optional<std::filesystem::path> folder = dragFolders_.create();
    if (!folder) {
        return nullptr;
    }
    auto copies = std::make_shared<DragCopies>();
    copies->folder = *folder;
    for (const FileEntry& entry : entries) {
        copies->files.push_back(
            HostFileName::pathInside(*folder, entry.directoryEntry.displayName()));
    }
    // The folder is new and private: a name that stands there already is a second entry
    // of the same host name, which must not replace the first.
    const bool started = runExport(
        ExportRequest{std::move(entries), *folder}, ExistingHostFile::refuse,
        [copies](const ExportResult* result) {
            copies->finished = true;
            for (std::size_t i = 0;
                 result != nullptr && i < result->items.size() && i < copies->files.size(); ++i) {
                if (result->items[i].succeeded()) {
                    copies->written.push_back(copies->files[i]);
                }
            }
        });
    return started ? copies : nullptr;
}

// Copy, cut and paste ------------------------------------------------------------------------

void FileBrowserViewModel::copySelectedEntries() {
    fillClipboard(false);
}

void FileBrowserViewModel::cutSelectedEntries() {
    fillClipboard(true);
}

void FileBrowserViewModel::fillClipboard(bool isCut) {
    std::vector<FileEntry> selected = selectedFileEntries();
    if (selected.empty()) {
        return;
    }
    clipboard = std::move(selected);
    clipboardIsCut = isCut;
    clipboardSourcePath = currentPath.get();
}

void FileBrowserViewModel::pasteEntries() {
    if (clipboard.get().empty() || !isBound()) {
        return;
    }
    const DiskPath target = currentPath.get();
    const bool intoSource = target == clipboardSourcePath.get();
    const bool isCut = clipboardIsCut.get();
    if (isCut && intoSource) {
        // Moving entries to where they are changes nothing.
        clearClipboard();
        return;
    }
    if (!beginOperation()) {
        return;
    }
    const std::vector<FileEntry> items = clipboard.get();
    const auto image = image_;
    // Overwriting is only ever a file replacing itself; anywhere else a clash is reported.
    BatchOptions options{intoSource, stop_.get_token(), progressReporter(displayNames(items))};
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    // A folder of many files is one item of the batch: the name shown follows the copy
    // through it.
    options.entryReached = [weak, executor = &executor_](const std::string& name) {
        executor->postToMain([weak, name] {
            if (const auto self = weak.lock(); self && self->isOperationInProgress) {
                self->operationFileName = name;
            }
        });
    };
    runChange<BatchResult>(
        changeRun(texts::undoPaste), image,
        [image, items, target, isCut, options] {
            return isCut ? EntryTransfer(image).moveEntries(items, target, options)
                         : EntryTransfer(image).copyEntries(items, target, options);
        },
        [weak, items, isCut](TaskOutcome<BatchResult> outcome) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->endOperation();
            const BatchResult result = batchOutcome(outcome, displayNames(items));
            std::vector<BatchItemResult> failed;
            std::vector<FileEntry> notMoved;
            for (std::size_t i = 0; i < result.items.size() && i < items.size(); ++i) {
                if (!result.items[i].succeeded()) {
                    failed.push_back(result.items[i]);
                    notMoved.push_back(items[i]);
                }
            }
            // A cut whose entries did not all arrive keeps those on the clipboard; their
            // sources were not touched.
            if (isCut && !result.cancelled) {
                if (notMoved.empty()) {
                    self->clearClipboard();
                } else {
                    self->clipboard = notMoved;
                }
            }
            self->afterChange();
            std::vector<std::string> arrived;
            for (std::size_t i = 0; i < result.items.size() && i < items.size(); ++i) {
                if (result.items[i].succeeded()) {
                    arrived.push_back(items[i].directoryEntry.displayName());
                }
            }
            self->selectNamed(arrived);
            if (!failed.empty() && !result.cancelled) {
                self->reportFailure(texts::pasteFailed, failed);
            }
        });
}

} // namespace tamberlane
