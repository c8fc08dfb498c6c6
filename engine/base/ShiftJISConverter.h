#pragma once

#include "engine/base/Bytes.h"

#include <unicode/brkiter.h>

#include <optional>
#include <string>

namespace tamberlane {

// Text on the volume is code page 932. Strings in the engine are UTF-8.
namespace ShiftJISConverter {

// Never fails: bytes that do not decode become U+FFFD, one per bad byte or pair.
std::string toUnicode(ByteView data);
// Never fails: a user-perceived character without a CP932 form becomes "_".
Bytes toShiftJIS(const std::string& text);
// The fallback of toUnicode: decodes pair by pair so a bad pair never shifts the rest.
std::string convertByteByByte(ByteView data);

// Whole-buffer decode that reports failure instead of substituting.
std::optional<std::string> decodeStrict(ByteView data);
// One character (any number of scalars, UTF-8) encoded strictly.
std::optional<Bytes> encodeStrict(const std::string& character);

// This thread's user-perceived-character iterator, or null when ICU has none. Made once:
// building one loads ICU's break rules, which would dominate encoding a short name.
// One walk at a time: setText starts over for every caller.
icu::BreakIterator* characterBreaks();

} // namespace ShiftJISConverter

} // namespace tamberlane
