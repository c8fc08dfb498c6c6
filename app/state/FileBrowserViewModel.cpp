#include "app/state/FileBrowserViewModel.h"

#include "app/state/BackgroundChange.h"
#include "app/state/FailureReport.h"
#include "app/state/StateTexts.h"
#include "engine/fat/NewEntryName.h"
#include "engine/fat/PathResolver.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"

#include <unicode/coll.h>
#include <unicode/locid.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <numeric>
#include <string_view>

namespace tamberlane {

namespace {

// Case-insensitive comparison in the user's locale; one collator for the process.
const icu::Collator* nameCollator() {
    static const std::unique_ptr<icu::Collator> collator = [] {
        UErrorCode status = U_ZERO_ERROR;
        // The C locale maps to a collation that orders by code point, case first: the
        // root collation is the neutral choice that still ignores case.
        const icu::Locale& user = icu::Locale::getDefault();
        const bool isPosix = std::string_view(user.getVariant()) == "POSIX";
        std::unique_ptr<icu::Collator> made(
            icu::Collator::createInstance(isPosix ? icu::Locale::getRoot() : user, status));
        if (U_FAILURE(status)) {
            return std::unique_ptr<icu::Collator>();
        }
        made->setStrength(icu::Collator::SECONDARY);
        return made;
    }();
    return collator.get();
}

std::string collationKey(const std::string& name) {
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(name);
    const icu::Collator* collator = nameCollator();
    if (collator == nullptr) {
        std::string folded;
        icu::UnicodeString(text).foldCase().toUTF8String(folded);
        return folded;
    }
    std::string key(64, '\0');
    for (;;) {
        const std::int32_t needed =
            collator->getSortKey(text, reinterpret_cast<std::uint8_t*>(key.data()),
                                 static_cast<std::int32_t>(key.size()));
        if (needed <= static_cast<std::int32_t>(key.size())) {
            key.resize(needed > 0 ? static_cast<std::size_t>(needed - 1) : 0);
            return key;
        }
        key.resize(static_cast<std::size_t>(needed));
    }
}

} // namespace

FileBrowserViewModel::FileBrowserViewModel(Executor& executor, std::shared_ptr<OperationGate> gate)
    : executor_(executor), gate_(std::move(gate)),
      deletedFiles_(std::make_shared<DeletedFilesViewModel>()) {
    // A restore names an entry as much as an import does: one choice for both.
    longNamePolicyChanged_ = longNamePolicy.subscribe(
        [this] { deletedFiles_->setLongNamePolicy(longNamePolicy.get()); });
}

std::shared_ptr<DiskImage> FileBrowserViewModel::boundImage() const {
    return image_;
}

void FileBrowserViewModel::bind(DiskImageService& service, UndoRedoManager& undoRedoManager) {
    service_ = &service;
    undoRedoManager_ = &undoRedoManager;
    const std::shared_ptr<DiskImage> image = service.currentImage();
    image_ = image;
    // Entries of another image must never be pasted here: their clusters mean nothing.
    clearClipboard();
    resetDialogs();
    deletedFiles_->reset();
    currentPath = DiskPath::root();
    tree_ = DirectoryTree(DirectoryTree::listerOf(image));
    publishTree();
    selectedTreePath = DiskPath::root();
    loadDirectory();
}

void FileBrowserViewModel::unbind() {
    service_ = nullptr;
    undoRedoManager_ = nullptr;
    image_.reset();
    clearClipboard();
    resetDialogs();
    deletedFiles_->reset();
    currentPath = DiskPath::root();
    entries.set({});
    isEmpty = true;
    selectedEntries.set({});
    tree_ = DirectoryTree();
    publishTree();
    selectedTreePath = std::nullopt;
}

void FileBrowserViewModel::resetDialogs() {
    showDeleteConfirmation = false;
    showImportOverwriteConfirmation = false;
    showExportOverwriteConfirmation = false;
    showNewDirectoryDialog = false;
    showRenameDialog = false;
    showDeletedFiles = false;
    closeViewers();
    pendingOverwriteURLs.set({});
    duplicateFileNames.set({});
    exportDuplicateNames.set({});
    pendingImport_.reset();
    pendingExport_.reset();
    deleteTargets_.clear();
    renameTarget_.reset();
}

void FileBrowserViewModel::clearClipboard() {
    clipboard.set({});
    clipboardIsCut = false;
    clipboardSourcePath = DiskPath::root();
}

void FileBrowserViewModel::reportFailure(Text failure, const std::vector<BatchItemResult>& failed) {
    errorMessage = failureReport(failure, failed);
    showError = true;
}

// Listing -------------------------------------------------------------------------

void FileBrowserViewModel::loadDirectory() {
    if (!service_ || !boundImage()) {
        return;
    }
    try {
        std::vector<FileEntry> list = service_->listDirectory(currentPath);
        sortInPlace(list);
        isEmpty = list.empty();
        entries = std::move(list);
        selectedEntries.set({});
    } catch (const DiskImageError& error) {
        entries.set({});
        isEmpty = true;
        selectedEntries.set({});
        errorMessage = texts::loadDirectoryFailed(error.errorDescription());
        showError = true;
    }
}

DiskPath FileBrowserViewModel::nearestExistingDirectory(DiskPath path) const {
    const auto image = boundImage();
    while (image && !path.isRoot()) {
        try {
            PathResolver(*image).directory(path);
            return path;
        } catch (const DiskImageError& error) {
            // A directory that is there but damaged is the listing's to report.
            if (error.reason() != DiskImageError::Reason::directoryNotFound) {
                return path;
            }
        }
        path = path.parent();
    }
    return path;
}

bool FileBrowserViewModel::sortEntries(const FileEntry& a, const FileEntry& b) const {
    const DirectoryEntry& x = a.directoryEntry;
    const DirectoryEntry& y = b.directoryEntry;
    int order = 0;
    switch (sortKey.get()) {
    case SortKey::name: {
        const std::string kx = collationKey(x.displayName());
        const std::string ky = collationKey(y.displayName());
        order = kx < ky ? -1 : (ky < kx ? 1 : 0);
        break;
    }
    case SortKey::size:
        order = x.size < y.size ? -1 : (y.size < x.size ? 1 : 0);
        break;
    case SortKey::date:
        order = x.modifiedDate < y.modifiedDate ? -1 : (y.modifiedDate < x.modifiedDate ? 1 : 0);
        break;
    }
    return sortOrder.get() == SortOrder::ascending ? order < 0 : order > 0;
}

void FileBrowserViewModel::sortInPlace(std::vector<FileEntry>& list) const {
    if (sortKey.get() != SortKey::name) {
        std::stable_sort(list.begin(), list.end(), [this](const FileEntry& a, const FileEntry& b) {
            return sortEntries(a, b);
        });
        return;
    }
    // A key per entry, made once: comparing through the collator costs a conversion of
    // both names at each of the n log n comparisons.
    std::vector<std::string> keys;
    keys.reserve(list.size());
    for (const FileEntry& entry : list) {
        keys.push_back(collationKey(entry.directoryEntry.displayName()));
    }
    std::vector<std::size_t> order(list.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    const bool ascending = sortOrder.get() == SortOrder::ascending;
    std::stable_sort(order.begin(), order.end(), [&keys, ascending](std::size_t a, std::size_t b) {
        return ascending ? keys[a] < keys[b] : keys[b] < keys[a];
    });
    std::vector<FileEntry> sorted;
    sorted.reserve(list.size());
    for (std::size_t i : order) {
        sorted.push_back(std::move(list[i]));
    }
    list = std::move(sorted);
}

void FileBrowserViewModel::sort(SortKey key) {
    if (key != sortKey.get()) {
        sortKey = key;
        sortOrder = SortOrder::ascending;
    } else {
        sortOrder =
            sortOrder.get() == SortOrder::ascending ? SortOrder::descending : SortOrder::ascending;
    }
    entries.modify([this](std::vector<FileEntry>& list) { sortInPlace(list); });
}

// Navigation and selection ----------------------------------------------------------

void FileBrowserViewModel::navigateToDirectory(const FileEntry& entry) {
    if (!entry.directoryEntry.isDirectory()) {
        return;
    }
    // Its path, not its display name: two directories may display alike.
    navigateToPath(entry.path);
}

void FileBrowserViewModel::navigateToPath(const DiskPath& path) {
    // Work in progress was started for the directory shown; it must stay shown.
    if (gate_->isBusy || !isBound()) {
        return;
    }
    // A typed path is spelled as the listing spells it, so the crumbs and the entries'
    // paths match what the tree and the list show.
    const DiskPath shown = tree_.reveal(path).value_or(path);
    publishTree();
    const DiskPath left = currentPath.get();
    currentPath = shown;
    selectedTreePath = shown;
    loadDirectory();
    // Going up, the folder just left is selected, as a file manager does.
    if (left.components.size() > shown.components.size() &&
        std::equal(shown.components.begin(), shown.components.end(), left.components.begin())) {
        DiskPath child = shown.appending(left.components[shown.components.size()]);
        selectListed([&child](const FileEntry& entry) { return entry.path == child; });
    }
}

void FileBrowserViewModel::selectListed(const std::function<bool(const FileEntry&)>& wanted) {
    std::set<EntryId> ids;
    for (const FileEntry& entry : entries.get()) {
        if (wanted(entry)) {
            ids.insert(entry.id);
        }
    }
    if (!ids.empty()) {
        selectedEntries = std::move(ids);
    }
}

void FileBrowserViewModel::selectNamed(const std::vector<std::string>& names) {
    selectListed([&names](const FileEntry& entry) {
        return std::find(names.begin(), names.end(), entry.directoryEntry.displayName()) !=
               names.end();
    });
}

void FileBrowserViewModel::navigateUp() {
    if (currentPath.get().isRoot()) {
        return;
    }
    navigateToPath(currentPath.get().parent());
}

void FileBrowserViewModel::handleEnterKey() {
    const std::vector<FileEntry> selected = selectedFileEntries();
    if (selected.size() == 1 && selected.front().directoryEntry.isDirectory()) {
        navigateToDirectory(selected.front());
    }
}

void FileBrowserViewModel::selectAll() {
    std::set<EntryId> ids;
    for (const FileEntry& entry : entries.get()) {
        ids.insert(entry.id);
    }
    selectedEntries = std::move(ids);
}

void FileBrowserViewModel::setSelection(std::set<EntryId> ids) {
    selectedEntries = std::move(ids);
}

std::vector<FileEntry> FileBrowserViewModel::selectedFileEntries() const {
    std::vector<FileEntry> selected;
    for (const FileEntry& entry : entries.get()) {
        if (selectedEntries.get().count(entry.id) != 0) {
            selected.push_back(entry);
        }
    }
    return selected;
}

// The tree ---------------------------------------------------------------------------

void FileBrowserViewModel::publishTree() {
    directoryTree = tree_.roots();
}

void FileBrowserViewModel::expandTreeNode(const DiskPath& path) {
    // A read now could meet the volume half written by the work in progress.
    if (!gate_->isBusy && tree_.expand(path)) {
        publishTree();
    }
}

void FileBrowserViewModel::collapseTreeNode(const DiskPath& path) {
    if (tree_.collapse(path)) {
        publishTree();
    }
}

// Changes through dialogs -------------------------------------------------------------

void FileBrowserViewModel::afterChange() {
    // A change, an undo above all, may take away the directory on screen or one above it:
    // the browser goes to the nearest one still there, as a file manager does, not to an
    // alert about a path nobody typed.
    if (const DiskPath nearest = nearestExistingDirectory(currentPath.get());
        nearest != currentPath.get()) {
        currentPath = nearest;
        selectedTreePath = nearest;
    }
    loadDirectory();
    tree_.refresh();
    publishTree();
    volumeChanged_.emit();
}

void FileBrowserViewModel::requestDelete() {
    std::vector<FileEntry> targets = selectedFileEntries();
    if (targets.empty() || gate_->isBusy) {
        return;
    }
    std::vector<std::string> names = displayNames(targets);
    // What the dialog shows is what gets deleted, whatever the selection becomes.
    deleteTargets_ = std::move(targets);
    deleteTargetNames = std::move(names);
    showDeleteConfirmation = true;
}

void FileBrowserViewModel::cancelDelete() {
    showDeleteConfirmation = false;
    deleteTargets_.clear();
}

void FileBrowserViewModel::confirmDelete() {
    showDeleteConfirmation = false;
    std::vector<FileEntry> targets = std::exchange(deleteTargets_, {});
    if (!image_ || targets.empty() || !gate_->tryBegin()) {
        return;
    }
    const auto image = image_;
    std::weak_ptr<FileBrowserViewModel> weak = weak_from_this();
    runChange<BatchResult>(
        changeRun(texts::undoDelete), image,
        [image, targets] {
            // One batch, one save: a failed save leaves none of it half done. A file's
            // flag is ignored; a directory goes with its tree.
            return EntryDeletion(image).deleteEntries(targets, true);
        },
        [weak, targets](TaskOutcome<BatchResult> outcome) {
            const auto self = weak.lock();
            if (!self) {
                return;
            }
            self->afterChange();
            const std::vector<BatchItemResult> failed =
                outcome.value ? failedItems(outcome.value->items)
                              : allFailed(displayNames(targets), *outcome.error);
            if (!failed.empty()) {
                self->reportFailure(texts::deleteFailed, failed);
            }
        });
}

void FileBrowserViewModel::requestNewDirectory() {
    if (!gate_->isBusy && isBound()) {
        newDirectoryName = "";
        showNewDirectoryDialog = true;
    }
}

void FileBrowserViewModel::createNewDirectory() {
    if (!image_ || newDirectoryName.get().empty() || !gate_->tryBegin()) {
        return;
    }
    const auto image = image_;
    // Written by the background step, read once it has ended.
    const auto made = std::make_shared<std::string>();
    runChange<bool>(
        changeRun(texts::undoNewDirectory), image,
        [image, made, name = newDirectoryName.get(), in = currentPath.get(),
         policy = longNamePolicy.get()] {
            *made = EntryRename(image).createDirectory(name, in, policy);
            return true;
        },
        finishedChange(texts::createDirectoryFailed, [made](FileBrowserViewModel& self) {
            self.showNewDirectoryDialog = false;
            self.newDirectoryName = "";
            self.afterChange();
            self.selectNamed({*made});
        }));
}

std::function<void(TaskOutcome<bool>)>
FileBrowserViewModel::finishedChange(Text failure,
                                     std::function<void(FileBrowserViewModel&)> succeeded,
                                     std::function<void(FileBrowserViewModel&)> failed) {
    return [weak = weak_from_this(), failure, succeeded = std::move(succeeded),
            failed = std::move(failed)](TaskOutcome<bool> outcome) {
        const auto self = weak.lock();
        if (!self) {
            return;
        }
        if (outcome.succeeded()) {
            succeeded(*self);
            return;
        }
        self->errorMessage = failure(outcome.error->errorDescription());
        self->showError = true;
        if (failed) {
            failed(*self);
        }
    };
}

void FileBrowserViewModel::prepareRename() {
    const std::vector<FileEntry> selected = selectedFileEntries();
    if (selected.empty() || gate_->isBusy) {
        return;
    }
    renameTarget_ = selected.front();
    // The name the user knows it by, long or not, split as a new name would be.
    const auto [name, extension] =
        NewEntryName::split(selected.front().directoryEntry.displayName());
    renameName = name;
    renameExtension = extension;
    showRenameDialog = true;
}

void FileBrowserViewModel::renameSelectedEntry() {
    if (!image_ || !renameTarget_ || renameName.get().empty() || !gate_->tryBegin()) {
        return;
    }
    const auto image = image_;
    const auto renamed = std::make_shared<std::string>();
    runChange<bool>(
        changeRun(texts::undoRename), image,
        [image, renamed, target = *renameTarget_, name = typedRenameName(),
         policy = longNamePolicy.get()] {
            *renamed = EntryRename(image).rename(target, name, policy);
            return true;
        },
        finishedChange(texts::renameFailed, [renamed](FileBrowserViewModel& self) {
            self.showRenameDialog = false;
            self.renameTarget_.reset();
            self.afterChange();
            self.selectNamed({*renamed});
        }));
}

std::string FileBrowserViewModel::typedRenameName() const {
    return renameExtension.get().empty() ? renameName.get()
                                         : renameName.get() + "." + renameExtension.get();
}

std::optional<std::string> FileBrowserViewModel::storedShortName(const std::string& typed) const {
    // Read only while nothing changes the volume; a preview may wait, a read of a half
    // written directory may not happen.
    if (!image_ || typed.empty() || gate_->isBusy) {
        return std::nullopt;
    }
    return EntryRename(image_).storedShortName(typed, currentPath.get(), longNamePolicy.get());
}

std::optional<std::string> FileBrowserViewModel::newDirectoryStoredName() const {
    return storedShortName(newDirectoryName.get());
}

std::optional<std::string> FileBrowserViewModel::renameStoredName() const {
    return renameName.get().empty() ? std::nullopt : storedShortName(typedRenameName());
}

// Undo and redo -----------------------------------------------------------------------

bool FileBrowserViewModel::canUndo() const {
    const auto image = boundImage();
    return undoRedoManager_ && image && undoRedoManager_->canUndo(*image);
}

bool FileBrowserViewModel::canRedo() const {
    const auto image = boundImage();
    return undoRedoManager_ && image && undoRedoManager_->canRedo(*image);
}

std::string FileBrowserViewModel::undoStepName() const {
    return canUndo() ? undoRedoManager_->undoStack().back().operationName : std::string();
}

std::string FileBrowserViewModel::redoStepName() const {
    return canRedo() ? undoRedoManager_->redoStack().back().operationName : std::string();
}

void FileBrowserViewModel::undo() {
    // The history is the running step's to change until it ends: not even read meanwhile.
    if (!gate_->isBusy && canUndo()) {
        stepHistory(&UndoRedoManager::performUndo, texts::undoFailed);
    }
}

void FileBrowserViewModel::redo() {
    if (!gate_->isBusy && canRedo()) {
        stepHistory(&UndoRedoManager::performRedo, texts::redoFailed);
    }
}

void FileBrowserViewModel::stepHistory(HistoryStep step, Text failure) {
    const auto image = boundImage();
    if (!image || !gate_->tryBegin()) {
        return;
    }
    UndoRedoManager* history = undoRedoManager_;
    // A failed step puts the history back as it was, but the image was read again.
    const auto refresh = [](FileBrowserViewModel& self) { self.afterChange(); };
    // The step moves the history itself: it takes no step of its own.
    runChange<bool>(
        ChangeRun{executor_, gate_, nullptr, Text{""}}, image,
        [history, step, image] {
            (history->*step)(image);
            return true;
        },
        finishedChange(failure, refresh, refresh));
}

} // namespace tamberlane
