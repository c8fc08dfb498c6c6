#include "engine/fat/EntryLookup.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/ShiftJIS.h"

#include <algorithm>
#include <unordered_map>

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

std::string rawForm(ByteView name8, ByteView extension3) {
    static constexpr char hex[] = "0123456789ABCDEF";
    const auto field = [](ByteView bytes) {
        std::size_t length = bytes.size();
        while (length > 0 && bytes[length - 1] == 0x20) {
            --length;
        }
        std::string out;
        for (std::size_t i = 0; i < length; ++i) {
            const std::uint8_t b = bytes[i];
            const bool lead = isShiftJISLeadByte(b) && i + 1 < length;
            if (!lead && b > 0x20 && b < 0x7F && b != '\\' && b != '/') {
                out += static_cast<char>(b);
                continue;
            }
            for (std::size_t k = 0; k < (lead ? 2U : 1U); ++k) {
                out += "\\x";
                out += hex[bytes[i + k] >> 4];
                out += hex[bytes[i + k] & 0x0F];
            }
            i += lead ? 1 : 0;
        }
        return out;
    };
    const std::string ext = field(extension3);
    return ext.empty() ? field(name8) : field(name8) + "." + ext;
}

EntryNames namesOf(const DirectoryEntry& entry) {
    return EntryNames{entry.displayName(), entry.shortName(),
                      rawForm(entry.rawName, entry.rawExtension)};
}

std::vector<std::string> printedNames(const std::vector<DirectoryEntry>& entries) {
    std::vector<std::string> raw;
    std::unordered_map<std::string, int> displays;
    std::unordered_map<std::string, int> raws;
    for (const DirectoryEntry& entry : entries) {
        raw.push_back(rawForm(entry.rawName, entry.rawExtension));
        ++displays[entry.displayName()];
        ++raws[raw.back()];
    }
    std::vector<std::string> out;
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const std::string display = entries[i].displayName();
        // A "/" would split the path; a control character would drive a terminal.
        const bool unprintable = std::any_of(display.begin(), display.end(), [](char c) {
            return static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '/';
        });
        // A raw form is matched first: a display name that is another entry's raw form
        // would name that entry.
        const bool shadowed = raws[display] > (raw[i] == display ? 1 : 0);
        out.push_back(displays[display] > 1 || unprintable || shadowed ? raw[i] : display);
    }
    return out;
}

std::optional<std::size_t> findNamed(const std::vector<EntryNames>& candidates,
                                     const std::string& name) {
    std::vector<std::size_t> found =
        matching(candidates, [&](const EntryNames& c) { return c.rawForm == name; });
    if (found.empty()) {
        found = matching(candidates, [&](const EntryNames& c) { return c.displayName == name; });
    }
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
