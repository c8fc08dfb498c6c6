#pragma once

#include "engine/base/Bytes.h"

#include <string>
#include <utility>

// How a name typed or taken from a host file becomes the name of a new or renamed entry,
// and how a clash with an existing entry is named.
namespace tamberlane::NewEntryName {

// A name split at its last full stop, as every command splits a host file name or a new
// name; a leading full stop starts the name, not an extension (".profile" has none), and
// "." and ".." stay whole.
std::pair<std::string, std::string> split(const std::string& fileName);
// Throws for "." and "..", which no new or renamed entry may be called.
void refuseReserved(const std::string& name, const std::string& extension);
// The raw 8.3 key of a name; an empty name part becomes "_" (blanks are no name).
std::pair<Bytes, Bytes> shortNameKey(const std::string& name, const std::string& extension);
// How a listing shows an entry of this raw key that has no long name.
std::string listedShortName(ByteView name83, ByteView ext83);
// The existing entry's name for a clash message: empty when it is `name` in other case.
std::string nameIfOther(const std::string& entryName, const std::string& name);

} // namespace tamberlane::NewEntryName
