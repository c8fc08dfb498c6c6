#pragma once

#include "engine/base/Bytes.h"

#include <cstddef>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tamberlane {
class DirectoryTable;
}

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

// What a new or renamed entry is called: the 8.3 name every driver sees and, where the
// name needs one, the long name written in front of it.
struct Planned {
    // As typed or as the host calls it, for messages.
    std::string given;
    std::optional<std::string> longName;
    Bytes name83;
    Bytes ext83;
    // Planned where long names are written.
    bool withLongNames = false;

    // The names the entry will be known by; a live entry listed or aliased as any of them
    // is the same file to the user.
    std::vector<std::string> names() const;
    // The name a listing shows for the entry once it is written.
    std::string listedName() const;
    // The slots that store the entry: its long-name slots, then `shortSlot` named here.
    std::vector<Bytes> slots(Bytes shortSlot) const;
    // How a clash message names it: as given, or where only 8.3 names are written, as
    // name and extension with the full stop between them even when the extension is empty.
    std::string clashName() const;
};
// Names `given` for `table`. Without `longNames`, the 8.3 name it shortens to; with them,
// a long name unless the name is its own 8.3 form, and an alias no other entry holds
// (`self`, the run being renamed, is not in the way). Throws for "." and ".." and for a
// long name past 255 units.
Planned plan(const std::string& given, const DirectoryTable& table, bool longNames,
             std::optional<std::size_t> self = std::nullopt);

} // namespace tamberlane::NewEntryName
