#include "engine/fat/DirectoryEntryParser.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/JapanTime.h"
#include "engine/base/ShiftJIS.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/base/Translation.h"
#include "engine/fat/DirectorySlot.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/unistr.h>

#include <algorithm>
#include <atomic>
#include <memory>
#include <string_view>

namespace tamberlane {

EntryId newEntryId() {
    static std::atomic<EntryId> next{1};
    return next.fetch_add(1, std::memory_order_relaxed);
}

std::string DirectoryEntry::shortName() const {
    return extension_.empty() ? name : name + "." + extension_;
}

std::string DirectoryEntry::displayName() const {
    return longFileName ? *longFileName : shortName();
}

namespace DirectoryEntryParser {

namespace {

std::string decodeField(ByteView bytes) {
    std::string text = ShiftJISConverter::toUnicode(bytes);
    text.erase(std::remove(text.begin(), text.end(), ' '), text.end());
    return text;
}

bool isForbiddenIn83(UChar32 c) {
    static const std::u32string forbidden = U"\"*+,./:;<=>?[\\]| ";
    if (forbidden.find(static_cast<char32_t>(c)) != std::u32string::npos) {
        return true;
    }
    const int8_t type = u_charType(c);
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

} // namespace

DirectoryEntryParseResult parse(ByteView entryData) {
    if (entryData.size() < 32) {
        throw DiskImageError::headerParseFailure(translate(
            "ディレクトリエントリのデータサイズが不正です（%1$sバイト）", {entryData.size()}));
    }
    DirectoryEntryParseResult result;
    const DirectorySlot slot(entryData);
    if (slot.isEnd()) {
        result.kind = DirectoryEntryParseResult::Kind::endOfDirectory;
        return result;
    }
    if (slot.isDeleted() || slot.isLongName() || slot.isVolumeLabel()) {
        result.kind = DirectoryEntryParseResult::Kind::skip;
        return result;
    }
    DirectoryEntry& entry = result.entry;
    entry.rawName.assign(slot.name().begin(), slot.name().end());
    entry.rawExtension.assign(slot.extension().begin(), slot.extension().end());
    Bytes name = entry.rawName;
    if (name[0] == 0x05) {
        name[0] = 0xE5;
    }
    entry.name = decodeField(name);
    entry.extension_ = decodeField(entry.rawExtension);
    entry.attributes.rawValue = slot.attributes();
    entry.modifiedDate = decodeFATDateTime(slot.date(), slot.time());
    entry.startCluster = slot.startCluster();
    entry.size = slot.fileSize();
    entry.id = newEntryId();
    result.kind = DirectoryEntryParseResult::Kind::entry;
    return result;
}

Timestamp decodeFATDateTime(std::uint16_t date, std::uint16_t time) {
    const JapanTime local{((date >> 9) & 0x7F) + 1980, (date >> 5) & 0x0FU, date & 0x1FU,
                          (time >> 11) & 0x1F,         (time >> 5) & 0x3F,  (time & 0x1F) * 2};
    // A month or day of 0, or past the calendar's end, has no date.
    return fromJapanTime(local).value_or(Timestamp{});
}

std::uint16_t encodeFATTime(Timestamp date) {
    const JapanTime t = toJapanTime(date);
    return static_cast<std::uint16_t>((t.hour << 11) | (t.minute << 5) | (t.second / 2));
}

std::uint16_t encodeFATDate(Timestamp date) {
    const JapanTime t = toJapanTime(date);
    const int yearField = std::max(t.year - 1980, 0);
    return static_cast<std::uint16_t>(((yearField << 9) | (t.month << 5) | t.day) & 0xFFFF);
}

bool isValidShortNameByte(std::uint8_t byte) {
    static constexpr std::string_view forbidden = "\"*+,./:;<=>?[\\]| ";
    return byte >= 0x20 && byte != 0x7F &&
           forbidden.find(static_cast<char>(byte)) == forbidden.npos;
}

std::string sanitizeFor83(const std::string& text) {
    const icu::UnicodeString input = icu::UnicodeString::fromUTF8(text);
    icu::BreakIterator* characters = ShiftJISConverter::characterBreaks();
    if (characters == nullptr || input.isEmpty()) {
        return input.isEmpty() ? "_" : text;
    }
    characters->setText(input);
    icu::UnicodeString output;
    int32_t start = characters->first();
    for (int32_t end = characters->next(); end != icu::BreakIterator::DONE;
         start = end, end = characters->next()) {
        bool forbidden = false;
        for (int32_t i = start; i < end;) {
            const UChar32 c = input.char32At(i);
            forbidden = forbidden || isForbiddenIn83(c);
            i += U16_LENGTH(c);
        }
        if (forbidden) {
            output.append(u'_');
        } else {
            output.append(input, start, end - start);
        }
    }
    std::string result;
    output.toUTF8String(result);
    return result.empty() ? "_" : result;
}

Bytes truncateRespectingMultibyte(ByteView data, std::size_t maxBytes) {
    if (data.size() <= maxBytes) {
        return Bytes(data.begin(), data.end());
    }
    std::size_t i = 0;
    while (i < maxBytes) {
        const std::uint8_t b = data[i];
        if (isShiftJISLeadByte(b)) {
            if (i + 2 > maxBytes) {
                break;
            }
            i += 2;
        } else {
            i += 1;
        }
    }
    return Bytes(data.begin(),
                 data.begin() + static_cast<std::ptrdiff_t>(std::min(i, data.size())));
}

Bytes padOrTruncate(ByteView data, std::size_t length, std::uint8_t padByte) {
    Bytes out(data.begin(),
              data.begin() + static_cast<std::ptrdiff_t>(std::min(length, data.size())));
    out.resize(length, padByte);
    return out;
}

namespace {

// The code page maps a few characters that pass the check on text (U+00A5 to 0x5C,
// say) to bytes that a short name may not hold; 0x5C would even read as a separator.
void replaceBytesInvalidIn83(Bytes& encoded) {
    for (std::size_t i = 0; i < encoded.size(); ++i) {
        if (isShiftJISLeadByte(encoded[i]) && i + 1 < encoded.size()) {
            ++i;
        } else if (!isValidShortNameByte(encoded[i])) {
            encoded[i] = '_';
        }
    }
}

Bytes encodePart(const std::string& part, std::size_t maxBytes) {
    if (part.empty()) {
        return {};
    }
    std::string upper;
    icu::UnicodeString::fromUTF8(sanitizeFor83(part))
        .toUpper(icu::Locale::getRoot())
        .toUTF8String(upper);
    Bytes encoded = ShiftJISConverter::toShiftJIS(upper);
    replaceBytesInvalidIn83(encoded);
    return truncateRespectingMultibyte(encoded, maxBytes);
}

} // namespace

std::pair<Bytes, Bytes> convertTo83Name(const std::string& name, const std::string& extension) {
    Bytes nameBytes = encodePart(name, 8);
    Bytes extBytes = encodePart(extension, 3);
    if (!nameBytes.empty() && nameBytes[0] == 0xE5) {
        nameBytes[0] = 0x05;
    }
    return {padOrTruncate(nameBytes, 8, 0x20), padOrTruncate(extBytes, 3, 0x20)};
}

Bytes serialize(const DirectoryEntry& entry) {
    Bytes out(DirectorySlot::size, 0);
    const Bytes name = padOrTruncate(entry.rawName, 8, 0x20);
    const Bytes ext = padOrTruncate(entry.rawExtension, 3, 0x20);
    DirectorySlot::setShortName(out, name, ext);
    DirectorySlot::setAttributes(out, entry.attributes.rawValue);
    DirectorySlot::setTime(out, encodeFATTime(entry.modifiedDate));
    DirectorySlot::setDate(out, encodeFATDate(entry.modifiedDate));
    DirectorySlot::setStartCluster(out, entry.startCluster);
    DirectorySlot::setFileSize(out, entry.size);
    return out;
}

} // namespace DirectoryEntryParser

} // namespace tamberlane
