#pragma once

#include "app/state/DiscardGuard.h"
#include "app/state/Executor.h"
#include "app/state/ImageBinding.h"
#include "app/state/Observable.h"
#include "app/state/OperationGate.h"
#include "engine/base/Bytes.h"
#include "engine/base/HexLines.h"
#include "engine/base/Signal.h"
#include "engine/fat/DiskImageService.h"
#include "engine/operations/ContentEdit.h"
#include "engine/operations/UndoRedoManager.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tamberlane {

// One decoded boot-sector field, for the table shown with sector 0.
struct BPBField {
    std::string id;
    std::string label;
    std::string value;
    int offset = 0;
    int size = 0;

    bool operator==(const BPBField&) const = default;
};

// One raw sector of the image it was opened on, by its number from the start of the
// volume, as a hex dump that can be typed over and written back.
class SectorEditorViewModel : public std::enable_shared_from_this<SectorEditorViewModel> {
  public:
    SectorEditorViewModel(Executor& executor, std::shared_ptr<OperationGate> gate);

    Observable<std::int64_t> currentLBA{0};
    Observable<std::string> lbaInput{"0"};
    Observable<Bytes> sectorData;
    Observable<std::vector<HexLine>> hexLines;
    Observable<bool> isModified{false};
    Observable<bool> isReadOnly{false};
    Observable<std::int64_t> totalSectors{0};
    Observable<bool> showBPBView{false};
    Observable<std::vector<BPBField>> bpbFields;
    Observable<std::string> errorMessage;
    Observable<bool> showError{false};
    Observable<std::int64_t> sectorSize{512};
    // Where the next typed hex digit goes, in half-bytes from the start of the sector.
    Observable<std::int64_t> cursor{0};
    // A save runs in the background: the window stays, and shows no other sector, until
    // it has ended.
    Observable<bool> isSaving{false};
    DiscardGuard discard;

    // Belongs from now on to the service's current image; shows sector 0.
    void attach(const DiskImageService& service, UndoRedoManager* undoRedoManager);
    // The same image opened again (its boot parameters changed): the editor stays on its
    // sector. It took no bytes meanwhile, being read-only while the layout was stale.
    void reattach(const DiskImageService& service, UndoRedoManager* undoRedoManager);
    // Whether the image may be written now: a refused file or volume, or one the user kept
    // read-only, makes the editor read-only.
    void refreshWritable();
    // The image went away: nothing is read or written from now on.
    void detach() { binding_.detach(); }
    bool isAttached() const { return binding_.image() != nullptr; }
    // What the image holds at `currentLBA`, as last loaded or saved: the view marks the
    // bytes that differ.
    const Bytes& loadedBytes() const { return loaded_; }

    // Shows sector `lba` now, whatever was typed over the shown one.
    void loadSector(std::int64_t lba);
    // The window's navigation: each asks before throwing unsaved bytes away.
    void goToInput();
    void showPrevious();
    void showNext();
    std::optional<std::int64_t> validateLBA(const std::string& text);

    // Puts `digit` (0-9, A-F, a-f) into the half-byte at the cursor and moves it on.
    // False, and nothing changes, for any other character or on a read-only image.
    bool typeHexDigit(char digit);
    void setCursor(std::int64_t halfByte);
    void setByte(std::int64_t offset, std::uint8_t value);

    // Writes the shown bytes back at `currentLBA` and saves the image file, in the
    // background; bytes typed meanwhile stay as typed, and modified.
    void saveSector();

    // Emitted after a save: the volume may have changed under the listing, or no longer
    // be what the image's layout says (its boot parameters).
    Signal<>& sectorSaved() { return sectorSaved_; }

    static std::vector<BPBField> parseBPBFields(ByteView sector);

  private:
    void fail(std::string message);
    void failOutOfRange();
    void showBytes(Bytes bytes);
    void guardedLoad(std::int64_t lba);
    void finishSave(const Bytes& saved, TaskOutcome<bool> outcome);

    Executor& executor_;
    std::shared_ptr<OperationGate> gate_;
    ImageBinding binding_;
    // What the image holds at `currentLBA`, as last loaded or saved.
    Bytes loaded_;
    Signal<> sectorSaved_;
};

} // namespace tamberlane
