#include "engine/fat/EntryLookup.h"

#include "engine/base/DiskImageError.h"

#include <unicode/uchar.h>
#include <unicode/unistr.h>

namespace tamberlane::EntryLookup {

namespace {

// The candidates matching at the first step of the rule where any match.
template <typename Matches>
std::vector<std::size_t> matching(const std::vector<EntryNames>& candidates, Matches matches) {
    std::vector<std::size_t> found;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        if (matches(candidates[i])) {
            found.push_back(i);
        }
    }
    return found;
}

template <typename Entry, typename Names>
const Entry* findIn(const std::vector<Entry>& entries, const std::string& name, Wanted wanted,
                    Names names) {
    std::vector<const Entry*> kept;
    std::vector<EntryNames> candidates;
    for (const Entry& entry : entries) {
        const DirectoryEntry& e = names(entry);
        if (wanted == Wanted::directory && !e.isDirectory()) {
            continue;
        }
        kept.push_back(&entry);
        candidates.push_back(namesOf(e));
    }
    const std::optional<std::size_t> found = findNamed(candidates, name);
    return found ? kept[*found] : nullptr;
}

} // namespace

std::string foldCase(const std::string& name) {
    std::string out;
    icu::UnicodeString::fromUTF8(name).foldCase(U_FOLD_CASE_DEFAULT).toUTF8String(out);
    return out;
}

bool sameIgnoringCase(const std::string& a, const std::string& b) {
    return icu::UnicodeString::fromUTF8(a).caseCompare(icu::UnicodeString::fromUTF8(b),
                                                       U_FOLD_CASE_DEFAULT) == 0;
}

EntryNames namesOf(const DirectoryEntry& entry) {
    return EntryNames{entry.displayName(), entry.shortName()};
}

std::optional<std::size_t> findNamed(const std::vector<EntryNames>& candidates,
                                     const std::string& name) {
    std::vector<std::size_t> found =
        matching(candidates, [&](const EntryNames& c) { return c.displayName == name; });
    if (found.empty()) {
        found = matching(candidates, [&](const EntryNames& c) { return c.shortName == name; });
    }
    if (found.empty()) {
        const std::string folded = foldCase(name);
        found = matching(candidates, [&](const EntryNames& c) {
            return foldCase(c.displayName) == folded || foldCase(c.shortName) == folded;
        });
    }
    if (found.size() > 1) {
        throw DiskImageError::ambiguousName(name);
    }
    return found.empty() ? std::nullopt : std::optional<std::size_t>(found.front());
}

const DirectoryEntry* findEntry(const std::vector<DirectoryEntry>& entries, const std::string& name,
                                Wanted wanted) {
    return findIn(entries, name, wanted,
                  [](const DirectoryEntry& e) -> const DirectoryEntry& { return e; });
}

const FileEntry* findEntry(const std::vector<FileEntry>& entries, const std::string& name,
                           Wanted wanted) {
    return findIn(entries, name, wanted,
                  [](const FileEntry& e) -> const DirectoryEntry& { return e.directoryEntry; });
}

} // namespace tamberlane::EntryLookup
