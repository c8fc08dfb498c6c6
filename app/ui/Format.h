#pragma once

#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/FileAttributes.h"

#include <QFont>
#include <QString>

#include <cstdint>
#include <string>

namespace tamberlane::ui {

// "demo.img — Tamberlane" while an image is open, "Tamberlane" alone otherwise.
QString mainWindowTitle(bool isImageOpen, const std::string& imageFileName);
// 1,200,000
QString groupedNumber(std::int64_t value);
// Tokyo time, whatever the host's zone: FAT timestamps carry no zone of their own.
QString fileDate(Timestamp timestamp);
// "R A" for 0x21; empty for 0x00.
QString attributeLetters(FileAttributes attributes);
// The capacity panel's size: one fractional digit at most, "1,200 KB", "1.5 KB".
QString capacityKilobytes(std::int64_t bytes);
// The image information's size: whole kilobytes, "1,232 KB".
QString wholeKilobytes(std::int64_t bytes);
QString fromUtf8(const std::string& text);
// Fixed-width text with Japanese in it: half-width characters take one cell, kanji two.
QFont monospaceFont();

} // namespace tamberlane::ui
