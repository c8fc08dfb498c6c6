#include "app/state/TextEditorViewModel.h"

#include "app/state/BackgroundChange.h"
#include "app/state/StateTexts.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/operations/ContentEdit.h"

#include <algorithm>

namespace tamberlane {

TextEditorViewModel::TextEditorViewModel(Executor& executor, std::shared_ptr<OperationGate> gate)
    : executor_(executor), gate_(std::move(gate)) {}

bool TextEditorViewModel::isBinaryData(ByteView data) {
    if (data.empty()) {
        return false;
    }
    const ByteView head = data.first(std::min<std::size_t>(data.size(), 8192));
    std::size_t controls = 0;
    for (const std::uint8_t byte : head) {
        if (byte == 0x00) {
            return true;
        }
        if (byte < 0x20 && byte != 0x09 && byte != 0x0A && byte != 0x0D) {
            ++controls;
        }
    }
    // More than one in ten; exactly one in ten is still text.
    return controls * 10 > head.size();
}

std::string TextEditorViewModel::decodeText(ByteView data) {
    const std::string decoded = ShiftJISConverter::toUnicode(data);
    std::string out;
    out.reserve(decoded.size());
    for (std::size_t i = 0; i < decoded.size(); ++i) {
        if (decoded[i] == '\r') {
            out += '\n';
            if (i + 1 < decoded.size() && decoded[i + 1] == '\n') {
                ++i;
            }
        } else {
            out += decoded[i];
        }
    }
    return out;
}

Bytes TextEditorViewModel::encodeText(const std::string& text) {
    std::string withCRLF;
    withCRLF.reserve(text.size() + text.size() / 16);
    for (const char c : text) {
        if (c == '\n') {
            withCRLF += '\r';
        }
        withCRLF += c;
    }
    return ShiftJISConverter::toShiftJIS(withCRLF);
}

void TextEditorViewModel::fail(std::string message) {
    errorMessage = std::move(message);
    showError = true;
}

TextEditorViewModel::OpenResult TextEditorViewModel::openFile(const FileEntry& entry,
                                                              const DiskImageService& service,
                                                              UndoRedoManager* undoRedoManager) {
    entry_ = entry;
    fileName = entry.directoryEntry.displayName();
    binding_.attach(service, undoRedoManager);
    const std::shared_ptr<DiskImage> image = binding_.image();
    if (!image) {
        fail(texts::noImageOpen);
        return OpenResult::failed;
    }
    Bytes bytes;
    try {
        bytes = DirectoryReader::readFile(*image, entry.directoryEntry);
    } catch (const DiskImageError& error) {
        fail(texts::fileReadFailed(error.errorDescription()));
        return OpenResult::failed;
    }
    if (isBinaryData(bytes)) {
        return OpenResult::binary;
    }
    const std::string decoded = ShiftJISConverter::toUnicode(bytes);
    // A save writes the text back as Shift-JIS: bytes that do not decode, or decode to a
    // character whose Shift-JIS form is another byte sequence (the duplicated NEC and IBM
    // characters), would be changed by a save that reports success.
    const bool survivesSave = ShiftJISConverter::toShiftJIS(decoded) == bytes;
    text = decodeText(bytes);
    originalText_ = text.get();
    isModified = false;
    readOnlyReason = survivesSave ? std::string() : texts::textNotShiftJIS.str();
    survivesSave_ = survivesSave;
    refreshWritable();
    return OpenResult::text;
}

void TextEditorViewModel::refreshWritable() {
    const std::shared_ptr<DiskImage> image = binding_.image();
    isReadOnly = !survivesSave_ || !image || image->whyNotWritable().has_value();
}

void TextEditorViewModel::setText(std::string newText) {
    isModified = newText != originalText_;
    text = std::move(newText);
}

void TextEditorViewModel::save() {
    if (!entry_ || isReadOnly) {
        return;
    }
    const std::shared_ptr<DiskImage> image =
        binding_.beginChange(*gate_, [this](std::string m) { fail(m); });
    if (!image) {
        return;
    }
    const std::shared_ptr<TextEditorViewModel> self = shared_from_this();
    isSaving = true;
    std::string saving = text.get();
    Bytes encoded = encodeText(saving);
    runChange<FileEntry>(
        binding_.changeRun(executor_, gate_, texts::undoTextSave), image,
        [image, entry = *entry_, encoded = std::move(encoded)] {
            // One change: the old contents stay, in memory and in the file, unless the new
            // ones were written.
            return ContentEdit(image).replaceFileContents(entry, encoded);
        },
        [self, saving = std::move(saving)](TaskOutcome<FileEntry> outcome) {
            self->finishSave(saving, std::move(outcome));
        });
}

void TextEditorViewModel::finishSave(const std::string& saved, TaskOutcome<FileEntry> outcome) {
    isSaving = false;
    if (!outcome.succeeded()) {
        fail(texts::textSaveFailed(outcome.error->errorDescription()));
        return;
    }
    entry_ = std::move(*outcome.value);
    originalText_ = saved;
    isModified = text.get() != originalText_;
    showSaveSuccess = true;
    saved_.emit();
}

} // namespace tamberlane
