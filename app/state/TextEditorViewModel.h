#pragma once

#include "app/state/DiscardGuard.h"
#include "app/state/Executor.h"
#include "app/state/ImageBinding.h"
#include "app/state/Observable.h"
#include "app/state/OperationGate.h"
#include "engine/base/Bytes.h"
#include "engine/base/Signal.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/DiskPath.h"
#include "engine/operations/UndoRedoManager.h"

#include <memory>
#include <optional>
#include <string>

namespace tamberlane {

// One Shift-JIS text file of the volume, edited with LF line ends and written back with
// CR LF into the image it was read from.
class TextEditorViewModel : public std::enable_shared_from_this<TextEditorViewModel> {
  public:
    enum class OpenResult { text, binary, failed };

    TextEditorViewModel(Executor& executor, std::shared_ptr<OperationGate> gate);

    Observable<std::string> text;
    Observable<bool> isModified{false};
    Observable<std::string> fileName;
    Observable<bool> showError{false};
    Observable<std::string> errorMessage;
    Observable<bool> showSaveSuccess{false};
    // A save runs in the background; the window stays until it has ended.
    Observable<bool> isSaving{false};
    // Save is off: the image may not be written, or the bytes would not survive a save.
    Observable<bool> isReadOnly{false};
    // Why, when the reason is the file rather than the image; empty otherwise.
    Observable<std::string> readOnlyReason;
    DiscardGuard discard;

    // Reads the file from the service's current image, which the editor then belongs to.
    // `undoRedoManager` may be null (no undo step is taken then).
    OpenResult openFile(const FileEntry& entry, const DiskImageService& service,
                        UndoRedoManager* undoRedoManager);
    // The window's edit: `isModified` follows whether the text differs from the last
    // loaded or saved one.
    void setText(std::string newText);
    // The window's own record of whether its text changed since the last load or save, so
    // that a keystroke need not hand over the whole text; it hands it over with setText
    // before a save.
    void markEdited(bool edited) { isModified = edited; }
    // Saves in the background; the text typed meanwhile stays as typed, and modified.
    void save();
    // Whether the image may be written now (a refused file or volume, or one the user
    // kept read-only, makes the editor read-only).
    void refreshWritable();
    // The image went away: the editor writes nowhere from now on.
    void detach() { binding_.detach(); }

    const std::optional<FileEntry>& entry() const { return entry_; }
    const std::string& originalText() const { return originalText_; }

    // Emitted after a save changed the volume.
    Signal<>& saved() { return saved_; }

    // NUL anywhere in the first 8 KiB, or more than one control byte in ten there.
    static bool isBinaryData(ByteView data);
    // CR LF and lone CR become LF.
    static std::string decodeText(ByteView data);
    // LF becomes CR LF; a character without a Shift-JIS form becomes "_".
    static Bytes encodeText(const std::string& text);

  private:
    void fail(std::string message);
    void finishSave(const std::string& saved, TaskOutcome<FileEntry> outcome);

    Executor& executor_;
    std::shared_ptr<OperationGate> gate_;
    ImageBinding binding_;
    std::optional<FileEntry> entry_;
    std::string originalText_;
    // Whether a save gives back the bytes read; false makes the editor read-only for good.
    bool survivesSave_ = true;
    Signal<> saved_;
};

} // namespace tamberlane
