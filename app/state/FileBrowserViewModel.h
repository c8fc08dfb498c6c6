#pragma once

#include "app/state/BackgroundChange.h"
#include "app/state/DeletedFilesViewModel.h"
#include "app/state/DirectoryTree.h"
#include "app/state/DragCopies.h"
#include "app/state/DragOutFolders.h"
#include "app/state/Executor.h"
#include "app/state/HexViewerViewModel.h"
#include "app/state/Observable.h"
#include "app/state/OperationGate.h"
#include "app/state/TextEditorViewModel.h"
#include "engine/base/Signal.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/DiskPath.h"
#include "engine/fat/LongNamePolicy.h"
#include "engine/operations/BatchRunner.h"
#include "engine/operations/HostExport.h"
#include "engine/operations/UndoRedoManager.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <set>
#include <stop_token>
#include <string>
#include <vector>

namespace tamberlane {

enum class SortKey { name, size, date };
enum class SortOrder { ascending, descending };

// The state behind the file list, the tree, the toolbar and the file dialogs, and every
// user-level file operation on the bound image.
class FileBrowserViewModel : public std::enable_shared_from_this<FileBrowserViewModel> {
  public:
    FileBrowserViewModel(Executor& executor, std::shared_ptr<OperationGate> gate);

    Observable<std::vector<FileEntry>> entries;
    Observable<DiskPath> currentPath;
    Observable<std::set<EntryId>> selectedEntries;
    // What the sidebar's tree holds (see DirectoryTree).
    Observable<std::vector<DirectoryTreeNode>> directoryTree;
    // The tree row of the current directory, spelled as the tree spells it.
    Observable<std::optional<DiskPath>> selectedTreePath;
    Observable<SortKey> sortKey{SortKey::name};
    Observable<SortOrder> sortOrder{SortOrder::ascending};
    Observable<bool> isEmpty{true};
    Observable<bool> isOperationInProgress{false};
    Observable<std::string> operationFileName;
    Observable<double> operationProgress{0.0};
    Observable<bool> showDeleteConfirmation{false};
    Observable<bool> showImportOverwriteConfirmation{false};
    Observable<std::vector<std::filesystem::path>> pendingOverwriteURLs;
    // One line per clash: the host name, and the volume's name when it differs.
    Observable<std::vector<std::string>> duplicateFileNames;
    Observable<bool> showExportOverwriteConfirmation{false};
    Observable<std::vector<std::string>> exportDuplicateNames;
    Observable<std::vector<std::string>> deleteTargetNames;
    Observable<bool> showNewDirectoryDialog{false};
    Observable<std::string> newDirectoryName;
    Observable<bool> showRenameDialog{false};
    Observable<std::string> renameName;
    Observable<std::string> renameExtension;
    // When imported files, new folders and renamed entries get long names.
    Observable<LongNamePolicy> longNamePolicy{LongNamePolicy::automatic};
    Observable<bool> showDeletedFiles{false};
    Observable<bool> showTextEditor{false};
    Observable<bool> showBinaryAlert{false};
    Observable<std::shared_ptr<TextEditorViewModel>> textEditorVM;
    Observable<bool> showHexViewer{false};
    Observable<std::shared_ptr<HexViewerViewModel>> hexViewerVM;
    Observable<std::vector<FileEntry>> clipboard;
    Observable<bool> clipboardIsCut{false};
    Observable<DiskPath> clipboardSourcePath;
    Observable<bool> showError{false};
    Observable<std::string> errorMessage;

    const std::shared_ptr<DeletedFilesViewModel>& deletedFilesVM() const { return deletedFiles_; }
    const std::shared_ptr<OperationGate>& gate() const { return gate_; }

    // Emitted after every change of the volume, so the capacity shown can follow.
    Signal<>& volumeChanged() { return volumeChanged_; }
    // Emitted with a line that says a piece of work finished (a toast, not an alert).
    Signal<const std::string&>& notice() { return notice_; }

    // Binds to the service's current image: root path, a fresh clipboard, reload.
    void bind(DiskImageService& service, UndoRedoManager& undoRedoManager);
    void unbind();
    bool isBound() const { return image_ != nullptr; }

    void loadDirectory();
    void navigateToDirectory(const FileEntry& entry);
    void navigateToPath(const DiskPath& path);
    void navigateUp();
    void handleEnterKey();
    void selectAll();
    void setSelection(std::set<EntryId> ids);
    std::vector<FileEntry> selectedFileEntries() const;

    void sort(SortKey key);
    bool sortEntries(const FileEntry& a, const FileEntry& b) const;
    // `path` or, where it is gone, its nearest ancestor still on the volume.
    DiskPath nearestExistingDirectory(DiskPath path) const;
    // The user opened or closed a row of the tree. Refused while work runs on the image.
    void expandTreeNode(const DiskPath& path);
    void collapseTreeNode(const DiskPath& path);

    void requestDelete();
    void confirmDelete();
    void cancelDelete();
    void requestNewDirectory();
    void createNewDirectory();
    void prepareRename();
    void renameSelectedEntry();
    // Where new names are written as 8.3 only, the name the typed one would be stored as
    // in the current directory; nothing where a long name is written or nothing is typed.
    std::optional<std::string> newDirectoryStoredName() const;
    std::optional<std::string> renameStoredName() const;

    void copySelectedEntries();
    void cutSelectedEntries();
    void pasteEntries();

    void importFiles(const std::vector<std::filesystem::path>& from, bool overwrite = false);
    void confirmImportOverwrite();
    void cancelImportOverwrite();

    // Exports the selection into `folder`; asks once when names exist there already.
    void exportSelectedFiles(const std::filesystem::path& folder);
    void confirmExportOverwrite();
    void skipExistingOnExport();
    void cancelExportOverwrite();
    // Exports one file to exactly the path chosen in a save dialog, in the background.
    void exportFileAs(const FileEntry& entry, const std::filesystem::path& destination);
    // For dragging files out of the list: copies of `entries` (directories left out) in a
    // new folder of their own, written in the background like any export. Nothing when the
    // image is busy or no folder can be made. The folders go with this object.
    std::shared_ptr<const DragCopies> copyForDrag(std::vector<FileEntry> entries);

    // Asks the running import, export or paste to stop.
    void cancelOperation();

    void undo();
    void redo();
    bool canUndo() const;
    bool canRedo() const;
    // What an undo would take back and a redo do again, as their steps are named; empty
    // when there is nothing to take back or do again.
    std::string undoStepName() const;
    std::string redoStepName() const;

    // The first selected file in a new editor; a binary file raises the alert that
    // offers the hex viewer instead, a failed read the browser's error alert.
    void openTextEditor();
    void openHexViewer();
    // Asks first while the editor holds unsaved edits.
    void requestCloseTextEditor();
    void closeHexViewer();
    // Whether closing the text editor now would lose edits.
    bool hasUnsavedEdits() const;

    // The volume was changed by someone else (the sector editor): list it afresh.
    void reloadAfterChange() { afterChange(); }

    void openDeletedFiles();
    void reloadDeletedFiles();
    // Restores the deleted-files window's chosen entry into the bound image.
    void restoreDeletedEntry();

  private:
    struct ImportRequest {
        std::vector<std::filesystem::path> files;
        DiskPath target;
    };
    struct ExportRequest {
        std::vector<FileEntry> targets;
        std::filesystem::path folder;
    };

    std::shared_ptr<DiskImage> boundImage() const;
    bool beginOperation();
    void endOperation();
    ProgressCallback progressReporter(std::vector<std::string> itemNames);
    // How this window's changes run (see runChange), with `undoName` as their undo step.
    ChangeRun changeRun(Text undoName) {
        return ChangeRun{executor_, gate_, undoRedoManager_, undoName};
    }
    void afterChange();
    void publishTree();
    void reportFailure(Text failure, const std::vector<BatchItemResult>& failed);
    void runImport(ImportRequest request, bool overwrite);
    void finishImport(const ImportRequest& request, const BatchResult& result, bool overwrite);
    // False when other work holds the image. `then` gets the result (null when the export
    // threw) on the main thread, whether or not this object is still there.
    bool runExport(ExportRequest request, ExistingHostFile existing,
                   std::function<void(const ExportResult*)> then = nullptr);
    void sortInPlace(std::vector<FileEntry>& list) const;
    // Selects the listed entries `wanted` accepts; keeps the selection when there are none.
    void selectListed(const std::function<bool(const FileEntry&)>& wanted);
    // After a change: the entries it made, as they are listed now.
    void selectNamed(const std::vector<std::string>& names);
    std::string typedRenameName() const;
    std::optional<std::string> storedShortName(const std::string& typed) const;
    using HistoryStep = void (UndoRedoManager::*)(const std::shared_ptr<DiskImage>&);
    void stepHistory(HistoryStep step, Text failure);
    // The end of a change run in the background: a success handed to `succeeded`, a
    // failure shown after `failurePrefix` and then handed to `failed` if given; nothing
    // once this object is gone.
    std::function<void(TaskOutcome<bool>)>
    finishedChange(Text failure, std::function<void(FileBrowserViewModel&)> succeeded,
                   std::function<void(FileBrowserViewModel&)> failed = nullptr);
    void fillClipboard(bool isCut);
    void clearClipboard();
    void resetDialogs();
    // Shuts the viewers and the editor; they stay attached to nothing.
    void closeViewers();
    std::optional<FileEntry> firstSelectedFile() const;
    void openTextEditorOn(const FileEntry& entry);

    Executor& executor_;
    std::shared_ptr<OperationGate> gate_;
    DiskImageService* service_ = nullptr;
    UndoRedoManager* undoRedoManager_ = nullptr;
    std::shared_ptr<DiskImage> image_;
    std::shared_ptr<DeletedFilesViewModel> deletedFiles_;
    DirectoryTree tree_;
    std::optional<ImportRequest> pendingImport_;
    std::optional<ExportRequest> pendingExport_;
    std::vector<FileEntry> deleteTargets_;
    std::optional<FileEntry> renameTarget_;
    std::stop_source stop_;
    Subscription textEditorSaved_;
    Subscription longNamePolicyChanged_;
    Signal<> volumeChanged_;
    Signal<const std::string&> notice_;
    DragOutFolders dragFolders_;
};

} // namespace tamberlane
