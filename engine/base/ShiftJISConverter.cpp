#include "engine/base/ShiftJISConverter.h"

#include "engine/base/ShiftJIS.h"

#include <unicode/brkiter.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>

#include <memory>

namespace tamberlane::ShiftJISConverter {

namespace {

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

// ICU converters are not thread-safe; each thread keeps its own.
UConverter* converter() {
    thread_local ConverterPtr conv = [] {
        UErrorCode status = U_ZERO_ERROR;
        ConverterPtr c(ucnv_open("windows-31j", &status));
        if (U_FAILURE(status)) {
            return ConverterPtr();
        }
        ucnv_setToUCallBack(c.get(), UCNV_TO_U_CALLBACK_STOP, nullptr, nullptr, nullptr, &status);
        ucnv_setFromUCallBack(c.get(), UCNV_FROM_U_CALLBACK_STOP, nullptr, nullptr, nullptr,
                              &status);
        // Fallbacks let the characters Linux input methods produce (such as U+301C)
        // encode to their CP932 codes.
        ucnv_setFallback(c.get(), true);
        return c;
    }();
    return conv.get();
}

struct BreakIteratorHolder {
    std::unique_ptr<icu::BreakIterator> iterator;
    BreakIteratorHolder() {
        UErrorCode status = U_ZERO_ERROR;
        iterator.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status)) {
            iterator.reset();
        }
    }
};

const char* const replacementCharacter = "\xEF\xBF\xBD";

} // namespace

icu::BreakIterator* characterBreaks() {
    thread_local BreakIteratorHolder holder;
    return holder.iterator.get();
}

std::optional<std::string> decodeStrict(ByteView data) {
    UConverter* conv = converter();
    if (conv == nullptr) {
        return std::nullopt;
    }
    ucnv_reset(conv);
    std::u16string units(data.size() + 1, u'\0');
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length = ucnv_toUChars(conv, units.data(), static_cast<int32_t>(units.size()),
                                         reinterpret_cast<const char*>(data.data()),
                                         static_cast<int32_t>(data.size()), &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    std::string out;
    icu::UnicodeString(false, units.data(), length).toUTF8String(out);
    return out;
}

std::optional<Bytes> encodeStrict(const std::string& character) {
    UConverter* conv = converter();
    if (conv == nullptr) {
        return std::nullopt;
    }
    ucnv_reset(conv);
    const icu::UnicodeString text = icu::UnicodeString::fromUTF8(character);
    if (text.isBogus()) {
        return std::nullopt;
    }
    // Any character is at most a few scalars; CP932 uses at most two bytes per scalar.
    Bytes out(static_cast<std::size_t>(text.length()) * 2 + 4, 0);
    UErrorCode status = U_ZERO_ERROR;
    const int32_t length =
        ucnv_fromUChars(conv, reinterpret_cast<char*>(out.data()), static_cast<int32_t>(out.size()),
                        text.getBuffer(), text.length(), &status);
    if (U_FAILURE(status)) {
        return std::nullopt;
    }
    out.resize(static_cast<std::size_t>(length));
    return out;
}

std::string convertByteByByte(ByteView data) {
    std::string out;
    std::size_t i = 0;
    while (i < data.size()) {
        const std::size_t width = isShiftJISLeadByte(data[i]) && i + 1 < data.size() ? 2 : 1;
        const auto decoded = decodeStrict(data.subspan(i, width));
        out += decoded ? *decoded : replacementCharacter;
        i += width;
    }
    return out;
}

std::string toUnicode(ByteView data) {
    if (data.empty()) {
        return {};
    }
    if (auto decoded = decodeStrict(data)) {
        return *decoded;
    }
    return convertByteByByte(data);
}

Bytes toShiftJIS(const std::string& text) {
    Bytes out;
    if (text.empty()) {
        return out;
    }
    const icu::UnicodeString unicode = icu::UnicodeString::fromUTF8(text);
    icu::BreakIterator* characters = characterBreaks();
    if (characters == nullptr) {
        return out;
    }
    characters->setText(unicode);
    int32_t start = characters->first();
    for (int32_t end = characters->next(); end != icu::BreakIterator::DONE;
         start = end, end = characters->next()) {
        std::string character;
        unicode.tempSubStringBetween(start, end).toUTF8String(character);
        if (const auto encoded = encodeStrict(character)) {
            out.insert(out.end(), encoded->begin(), encoded->end());
        } else {
            out.push_back(0x5F);
        }
    }
    return out;
}

} // namespace tamberlane::ShiftJISConverter
