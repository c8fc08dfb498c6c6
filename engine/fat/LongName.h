#pragma once

#include "engine/base/Bytes.h"

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Names written with long-name slots: the long name itself, the 8.3 alias every FAT driver
// sees, and the slots that tie the two together.
namespace tamberlane::LongName {

// The most UTF-16 units a long name may have.
inline constexpr std::size_t maxUnits = 255;

// `name` as its long-name slots store it: the characters FAT forbids become "_", trailing
// dots and blanks go (no driver finds them again). Throws nameTooLong past 255 units.
std::string stored(const std::string& name);
// Whether `name` is already its own 8.3 form, so that long-name slots would add nothing:
// upper case, at most 8 + 3 Shift-JIS bytes, only bytes a short name may hold.
bool isOwnShortName(const std::string& name);

// Whether a raw 8.3 name is in use where the alias is to go.
using KeyTaken = std::function<bool(ByteView name8, ByteView extension3)>;
// The 8.3 alias of a stored long name: the name upper-cased when that loses nothing and is
// free, else a basis of up to 6 bytes and "~N" with the first free N.
std::pair<Bytes, Bytes> alias(const std::string& name, const KeyTaken& taken);
// The byte an alias of `name` starts with, as the alias stores it.
std::uint8_t aliasFirstByte(const std::string& name);

// The slots that give the entry whose raw 8.3 name is `shortName` (11 bytes) the long name
// `name`, in on-disk order (the last part first); the entry's own slot follows them.
std::vector<Bytes> slots(const std::string& name, ByteView shortName);
// The long-name slots of `run` (as DirectoryTable::runBytes gives it) made to belong to
// the run's short slot again after its name changed.
void retie(std::vector<Bytes>& run);

} // namespace tamberlane::LongName
