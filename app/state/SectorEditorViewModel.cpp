#include "app/state/SectorEditorViewModel.h"

#include "app/state/BackgroundChange.h"
#include "app/state/StateTexts.h"
#include "engine/base/HexText.h"
#include "engine/fat/ManualParameterValidation.h"
#include "engine/operations/ContentEdit.h"

#include <cstdio>

namespace tamberlane {

SectorEditorViewModel::SectorEditorViewModel(Executor& executor,
                                             std::shared_ptr<OperationGate> gate)
    : executor_(executor), gate_(std::move(gate)) {}

std::vector<BPBField> SectorEditorViewModel::parseBPBFields(ByteView sector) {
    if (sector.size() < 24) {
        return {};
    }
    struct Row {
        const char* id;
        Text label;
        int offset;
        int size;
    };
    static constexpr Row rows[] = {
        {"bytesPerSector", texts::bpbBytesPerSector, 11, 2},
        {"sectorsPerCluster", texts::bpbSectorsPerCluster, 13, 1},
        {"reservedSectors", texts::bpbReservedSectors, 14, 2},
        {"numberOfFATs", texts::bpbNumberOfFATs, 16, 1},
        {"rootEntryCount", texts::bpbRootEntryCount, 17, 2},
        {"totalSectors16", texts::bpbTotalSectors16, 19, 2},
        {"mediaDescriptor", texts::bpbMediaDescriptor, 21, 1},
        {"sectorsPerFAT", texts::bpbSectorsPerFAT, 22, 2},
    };
    std::vector<BPBField> fields;
    for (const Row& row : rows) {
        const auto at = static_cast<std::size_t>(row.offset);
        const unsigned value = row.size == 1 ? sector[at] : readU16LE(sector, at);
        std::string shown = std::to_string(value);
        if (std::string_view(row.id) == "mediaDescriptor") {
            shown = hexByte(static_cast<std::uint8_t>(value));
        }
        fields.push_back({row.id, row.label, std::move(shown), row.offset, row.size});
    }
    return fields;
}

void SectorEditorViewModel::fail(std::string message) {
    errorMessage = std::move(message);
    showError = true;
}

void SectorEditorViewModel::failOutOfRange() {
    fail(texts::lbaOutOfRange(totalSectors.get() - 1));
}

void SectorEditorViewModel::attach(const DiskImageService& service,
                                   UndoRedoManager* undoRedoManager) {
    binding_.attach(service, undoRedoManager);
    loadSector(0);
}

void SectorEditorViewModel::reattach(const DiskImageService& service,
                                     UndoRedoManager* undoRedoManager) {
    const std::int64_t lba = currentLBA;
    binding_.attach(service, undoRedoManager);
    const std::shared_ptr<DiskImage> image = binding_.image();
    loadSector(image && lba < image->layout().bpb.volumeSectorCount() ? lba : 0);
}

void SectorEditorViewModel::refreshWritable() {
    const std::shared_ptr<DiskImage> image = binding_.image();
    isReadOnly = !image || image->whyNotWritable().has_value();
}

void SectorEditorViewModel::showBytes(Bytes bytes) {
    // Flags first: a view redrawing for the bytes reads them along.
    isModified = bytes != loaded_;
    bpbFields = currentLBA.get() == 0 ? parseBPBFields(bytes) : std::vector<BPBField>{};
    hexLines = formatHexLines(bytes, 0);
    sectorData = std::move(bytes);
}

void SectorEditorViewModel::loadSector(std::int64_t lba) {
    const std::shared_ptr<DiskImage> image = binding_.image();
    // A read now could meet the volume half written by the work in progress.
    if (!image || gate_->isBusy) {
        return;
    }
    totalSectors = image->layout().bpb.volumeSectorCount();
    sectorSize = image->layout().bpb.bytesPerSector;
    refreshWritable();
    if (lba < 0 || lba >= totalSectors.get()) {
        failOutOfRange();
        return;
    }
    currentLBA = lba;
    lbaInput = std::to_string(lba);
    loaded_ = image->readSector(lba);
    cursor = 0;
    showBytes(loaded_);
}

std::optional<std::int64_t> SectorEditorViewModel::validateLBA(const std::string& text) {
    const std::optional<std::int64_t> value = parseStrictInteger(text);
    if (!value) {
        fail(texts::invalidNumber);
        return std::nullopt;
    }
    if (*value < 0 || *value >= totalSectors.get()) {
        failOutOfRange();
        return std::nullopt;
    }
    return value;
}

void SectorEditorViewModel::guardedLoad(std::int64_t lba) {
    if (!binding_.image() || lba == currentLBA.get() || gate_->isBusy) {
        return;
    }
    discard.request(isModified, [this, lba] { loadSector(lba); });
}

void SectorEditorViewModel::goToInput() {
    if (!binding_.image()) {
        return;
    }
    if (const std::optional<std::int64_t> lba = validateLBA(lbaInput)) {
        guardedLoad(*lba);
    }
}

void SectorEditorViewModel::showPrevious() {
    if (currentLBA.get() > 0) {
        guardedLoad(currentLBA.get() - 1);
    }
}

void SectorEditorViewModel::showNext() {
    if (currentLBA.get() < totalSectors.get() - 1) {
        guardedLoad(currentLBA.get() + 1);
    }
}

void SectorEditorViewModel::setCursor(std::int64_t halfByte) {
    const auto limit = static_cast<std::int64_t>(sectorData.get().size()) * 2;
    cursor = std::clamp<std::int64_t>(halfByte, 0, limit > 0 ? limit - 1 : 0);
}

void SectorEditorViewModel::setByte(std::int64_t offset, std::uint8_t value) {
    if (isReadOnly || offset < 0 || offset >= static_cast<std::int64_t>(sectorData.get().size())) {
        return;
    }
    Bytes bytes = sectorData.get();
    bytes[static_cast<std::size_t>(offset)] = value;
    showBytes(std::move(bytes));
}

bool SectorEditorViewModel::typeHexDigit(char digit) {
    int nibble = -1;
    if (digit >= '0' && digit <= '9') {
        nibble = digit - '0';
    } else if (digit >= 'A' && digit <= 'F') {
        nibble = digit - 'A' + 10;
    } else if (digit >= 'a' && digit <= 'f') {
        nibble = digit - 'a' + 10;
    }
    const std::int64_t at = cursor.get() / 2;
    if (nibble < 0 || isReadOnly || at >= static_cast<std::int64_t>(sectorData.get().size())) {
        return false;
    }
    const std::uint8_t old = sectorData.get()[static_cast<std::size_t>(at)];
    const bool high = cursor.get() % 2 == 0;
    const auto value =
        static_cast<std::uint8_t>(high ? (nibble << 4) | (old & 0x0F) : (old & 0xF0) | nibble);
    setByte(at, value);
    setCursor(cursor.get() + 1);
    return true;
}

void SectorEditorViewModel::saveSector() {
    if (isReadOnly) {
        fail(texts::imageReadOnly);
        return;
    }
    const std::shared_ptr<DiskImage> image =
        binding_.beginChange(*gate_, [this](std::string m) { fail(m); });
    if (!image) {
        return;
    }
    const std::shared_ptr<SectorEditorViewModel> self = shared_from_this();
    isSaving = true;
    Bytes saving = sectorData.get();
    runChange<bool>(
        binding_.changeRun(executor_, gate_, texts::undoSectorSave), image,
        [image, lba = currentLBA.get(), saving] {
            ContentEdit(image).writeRawSector(lba, saving);
            return true;
        },
        [self, saving](TaskOutcome<bool> outcome) {
            self->finishSave(saving, std::move(outcome));
        });
}

void SectorEditorViewModel::finishSave(const Bytes& saved, TaskOutcome<bool> outcome) {
    isSaving = false;
    if (!outcome.succeeded()) {
        fail(texts::sectorSaveFailed(outcome.error->errorDescription()));
        return;
    }
    loaded_ = saved;
    showBytes(sectorData.get());
    refreshWritable();
    sectorSaved_.emit();
}

} // namespace tamberlane
