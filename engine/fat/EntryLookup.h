#pragma once

#include "engine/fat/DirectoryEntry.h"
#include "engine/fat/DiskPath.h"

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The one rule by which a typed or stored name picks an entry of a directory. Every
// resolver of a path component goes through findNamed, so that no two of them can pick
// different entries for the same name.
namespace tamberlane::EntryLookup {

// A name folded as ICU folds case by default: two names that differ only in case fold
// to the same text.
std::string foldCase(const std::string& name);
bool sameIgnoringCase(const std::string& a, const std::string& b);

// The raw 8.3 bytes of an entry as text that names it alone: printable ASCII stays, every
// other byte (both bytes of a double-byte character, a blank inside the name, "\") is
// written "\xHH"; the padding blanks are left out. Two entries whose names display alike
// (the two codes of one character, names differing only by blanks) differ here.
std::string rawForm(ByteView name8, ByteView extension3);

// The names an entry answers to.
struct EntryNames {
    std::string displayName;
    std::string shortName;
    std::string rawForm;
};
EntryNames namesOf(const DirectoryEntry& entry);

// How each entry of one directory is printed and put in paths: its display name, or its
// raw form when another entry of the directory displays alike or the name holds a "/"
// or a control character, so that whatever is printed names one entry and can be typed back.
std::vector<std::string> printedNames(const std::vector<DirectoryEntry>& entries);

// Which of `candidates` `name` picks: the one whose raw form is `name`, else the one
// whose display name is `name` exactly, else
// the one whose 8.3 alias is `name` exactly, else the one whose display name or alias
// equals `name` ignoring case. Nothing when none matches; several at the first step that
// matches at all throw ambiguousName, since picking one of them could delete the wrong
// file.
std::optional<std::size_t> findNamed(const std::vector<EntryNames>& candidates,
                                     const std::string& name);

enum class Wanted { anyEntry, directory };
// The entry of a directory's listing that `name` names (only subdirectories are
// candidates when a directory is wanted).
const DirectoryEntry* findEntry(const std::vector<DirectoryEntry>& entries, const std::string& name,
                                Wanted wanted = Wanted::anyEntry);
const FileEntry* findEntry(const std::vector<FileEntry>& entries, const std::string& name,
                           Wanted wanted = Wanted::anyEntry);

} // namespace tamberlane::EntryLookup
