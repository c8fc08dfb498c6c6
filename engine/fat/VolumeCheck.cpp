#include "engine/fat/VolumeCheck.h"
#include "engine/fat/VolumeCheckParts.h"

#include "engine/base/Translation.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/FATParser.h"
#include "engine/fat/LFNParser.h"

#include <algorithm>
#include <unordered_map>
#include <unordered_set>

namespace tamberlane {

namespace {

constexpr Text dirtyNote = N_("ボリュームに正しく取り外されなかった印が付いています");
constexpr Text inferredNote =
    N_("ブートセクタにパラメータがないため、メディアバイトから推定しました");

std::string childPath(const std::string& parent, const std::string& name) {
    return parent == "/" ? "/" + name : parent + "/" + name;
}

bool isDotName(ByteView name11, std::size_t dots) {
    for (std::size_t i = 0; i < 11; ++i) {
        if (name11[i] != (i < dots ? '.' : ' ')) {
            return false;
        }
    }
    return true;
}

bool isShiftJISLead(std::uint8_t byte) {
    return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
}

// Only what no system writes: control characters, a leading space, the separators of
// paths. Lower case and the punctuation some systems allow are left alone.
bool nameIsInvalid(ByteView name11) {
    if (name11[0] == ' ') {
        return true;
    }
    for (std::size_t i = 0; i < 11; ++i) {
        const std::uint8_t b = name11[i];
        if (i == 0 && b == DirectorySlot::stoodForDeletedMark) {
            continue;
        }
        if (b < 0x20 || b == 0x7F) {
            return true;
        }
        // A trail byte of Shift-JIS may be any of these.
        if (isShiftJISLead(b) && i + 1 < 11 && i != 7) {
            ++i;
            continue;
        }
        if (b == '/' || b == '\\' || b == '*' || b == '?' || b == '"' || b == '<' || b == '>' ||
            b == '|' || b == ':') {
            return true;
        }
    }
    return false;
}

struct Chain {
    std::vector<std::uint16_t> clusters;
    std::optional<ProblemKind> fault;
    // The cluster the fault is at (or the value past the volume, for chainOutOfRange).
    std::uint32_t at = 0;
};

struct Directory {
    std::string path;
    std::vector<SlotPlace> places;        // its entry in its parent, long-name slots first
    std::optional<std::uint16_t> cluster; // absent: the root
    std::uint16_t parentCluster = 0;      // 0: the root
    int parent = -1;                      // index into the walk's directories
};

// One reading of the directory tree against one FAT copy. It owns the record of which
// entry reached each cluster first, so cross-links and lost chains come out of the same
// pass as the entries' own problems.
class Scan {
  public:
    Scan(const DiskImage& image, const std::vector<std::uint16_t>& fat)
        : image_(image), fat_(fat), n_(fat.size()), owner_(fat.size(), -1), seen_(fat.size(), -1) {
        const FATTable& table = image.fatTable();
        eocMin_ = table.fatType == FATType::fat12 ? 0xFF8 : 0xFFF8;
        bad_ = table.badValue();
        maxLink_ = table.maxLinkValue();
        clusterBytes_ = image.addressing().bytesPerCluster();
    }

    void run() {
        directories_.push_back({"/", {SlotPlace{}}, std::nullopt, 0, -1});
        owners_.push_back({"/", {}, true});
        for (std::size_t d = 0; d < directories_.size(); ++d) {
            readDirectory(d);
        }
        findLostChains();
    }

    std::vector<VolumeProblem> problems;
    // Entries whose chain is whole and fits their size: how far this copy agrees.
    std::int64_t consistentChains = 0;

    const std::vector<std::int32_t>& owners() const { return owner_; }
    std::vector<std::string> ownerPaths() const {
        std::vector<std::string> paths;
        for (const Owner& o : owners_) {
            paths.push_back(o.path);
        }
        return paths;
    }

  private:
    VolumeProblem& add(ProblemKind kind, std::vector<std::string> paths, FixKind fix,
                       std::vector<std::uint32_t> clusters = {}, std::int64_t bytes = 0,
                       std::vector<SlotPlace> slots = {}) {
        VolumeProblem p;
        p.kind = kind;
        p.paths = std::move(paths);
        p.clusters = std::move(clusters);
        p.bytes = bytes;
        p.fix = fix;
        p.slots = std::move(slots);
        problems.push_back(std::move(p));
        return problems.back();
    }

    void claim(std::int32_t me, std::uint16_t cluster) {
        const std::int32_t other = owner_[cluster];
        if (other == -1) {
            owner_[cluster] = me;
            return;
        }
        const auto key = static_cast<std::uint64_t>(std::min(other, me)) << 32 |
                         static_cast<std::uint32_t>(std::max(other, me));
        const auto [it, fresh] = crossLinks_.try_emplace(key, problems.size());
        if (fresh) {
            // Each file gets its own copy of the clusters. Where a directory is one of the
            // two, which of them the clusters belong to is not known (a directory reached
            // through a file's clusters was never read): that is reported only.
            const Owner& first = owners_[static_cast<std::size_t>(other)];
            const Owner& second = owners_[static_cast<std::size_t>(me)];
            const bool files = !first.isDirectory && !second.isDirectory;
            add(ProblemKind::crossLink, {first.path, second.path},
                files ? FixKind::copySharedClusters : FixKind::none, {}, 0,
                files ? std::vector<SlotPlace>{second.place} : std::vector<SlotPlace>{});
        }
        problems[it->second].clusters.push_back(cluster);
    }

    // Follows a chain as far as it holds, each cluster at most once.
    Chain walk(std::int32_t me, std::uint16_t start) {
        Chain chain;
        std::uint32_t c = start;
        while (true) {
            const std::uint16_t v = fat_[c];
            if (v == 0) {
                chain.fault = ProblemKind::chainIntoFree;
                chain.at = c;
                break;
            }
            if (v == bad_) {
                chain.fault = ProblemKind::chainIntoReserved;
                chain.at = c;
                break;
            }
            if (seen_[c] == me) {
                chain.fault = ProblemKind::chainLoop;
                chain.at = c;
                break;
            }
            seen_[c] = me;
            claim(me, static_cast<std::uint16_t>(c));
            chain.clusters.push_back(static_cast<std::uint16_t>(c));
            if (v >= eocMin_) {
                break;
            }
            if (v == 1 || v > maxLink_) {
                chain.fault = ProblemKind::chainIntoReserved;
                chain.at = c;
                break;
            }
            if (v >= n_) {
                chain.fault = ProblemKind::chainOutOfRange;
                chain.at = v;
                break;
            }
            c = v;
        }
        return chain;
    }

    bool startInRange(std::uint16_t start) const { return start >= 2 && start < n_; }

    std::int32_t newOwner(const std::string& path, SlotPlace place, bool isDirectory) {
        owners_.push_back({path, place, isDirectory});
        return static_cast<std::int32_t>(owners_.size() - 1);
    }

    void checkFile(const std::string& path, SlotPlace place, std::uint16_t start,
                   std::uint32_t size) {
        const std::int64_t needed =
            clusterBytes_ > 0 ? (size + clusterBytes_ - 1) / clusterBytes_ : 0;
        if (start == 0) {
            if (size > 0) {
                add(ProblemKind::chainShorterThanSize, {path}, FixKind::cutSize, {}, size, {place});
            }
            return;
        }
        if (!startInRange(start)) {
            add(ProblemKind::invalidStartCluster, {path}, FixKind::cutSize, {start}, size, {place});
            return;
        }
        const std::int32_t me = newOwner(path, place, false);
        const Chain chain = walk(me, start);
        const auto length = static_cast<std::int64_t>(chain.clusters.size());
        if (size == 0) {
            // The clusters are kept (as a file of their own) rather than freed.
            add(ProblemKind::invalidStartCluster, {path}, FixKind::cutChain, {start}, 0, {place});
            return;
        }
        if (chain.fault) {
            add(*chain.fault, {path}, length >= needed ? FixKind::cutChain : FixKind::cutSize,
                {chain.at}, size, {place});
            return;
        }
        if (length > needed) {
            add(ProblemKind::chainLongerThanSize, {path}, FixKind::cutChain,
                {chain.clusters.begin(), chain.clusters.end()}, size, {place});
        } else if (length < needed) {
            add(ProblemKind::chainShorterThanSize, {path}, FixKind::cutSize,
                {chain.clusters.begin(), chain.clusters.end()}, size, {place});
        } else {
            ++consistentChains;
        }
    }

    bool isAncestor(std::size_t dir, std::uint16_t cluster, std::string& ancestorPath) const {
        for (int d = static_cast<int>(dir); d >= 0;
             d = directories_[static_cast<std::size_t>(d)].parent) {
            const Directory& a = directories_[static_cast<std::size_t>(d)];
            if (a.cluster.value_or(0) == cluster) {
                ancestorPath = a.path;
                return true;
            }
        }
        return false;
    }

    // The slots of a directory: the root's fixed sectors, or the clusters of its chain.
    Bytes slotsOf(std::size_t d, std::int32_t me) {
        const Directory dir = directories_[d];
        const VolumeAddressing& at = image_.addressing();
        Bytes bytes;
        if (!dir.cluster) {
            const std::int64_t sectors = at.rootDirectorySectors();
            const std::int64_t first = at.rootDirectoryStartSector();
            for (std::int64_t s = 0; s < sectors; ++s) {
                const Bytes sector = image_.readSector(first + s);
                bytes.insert(bytes.end(), sector.begin(), sector.end());
            }
            bytes.resize(std::min<std::size_t>(bytes.size(),
                                               std::size_t{image_.layout().bpb.rootEntryCount} *
                                                   DirectorySlot::size));
            return bytes;
        }
        const Chain chain = walk(me, *dir.cluster);
        dirChain_ = chain.clusters;
        if (chain.fault) {
            // With no cluster of its own there is nothing to keep: the entry goes (marked
            // deleted, so undelete still sees it), its slots with it.
            const bool empty = chain.clusters.empty();
            add(*chain.fault, {dir.path}, empty ? FixKind::markDeleted : FixKind::cutChain,
                {chain.at}, 0, empty ? dir.places : std::vector<SlotPlace>{dir.places.back()});
        } else {
            ++consistentChains;
        }
        const std::size_t limit = DirectorySlot::maxPerDirectory * DirectorySlot::size;
        for (std::uint16_t c : chain.clusters) {
            if (bytes.size() >= limit) {
                break;
            }
            const Bytes cluster = image_.readCluster(c);
            bytes.insert(bytes.end(), cluster.begin(), cluster.end());
        }
        return bytes;
    }

    // Where the slot at `offset` of the directory slotsOf last read lies.
    SlotPlace placeOf(std::size_t offset, bool isRoot) const {
        const VolumeAddressing& at = image_.addressing();
        const auto sectorSize = static_cast<std::size_t>(image_.layout().bpb.bytesPerSector);
        if (isRoot) {
            return {at.rootDirectoryStartSector() + static_cast<std::int64_t>(offset / sectorSize),
                    static_cast<std::uint32_t>(offset % sectorSize)};
        }
        const auto perCluster = static_cast<std::size_t>(clusterBytes_);
        const std::uint16_t cluster = dirChain_[offset / perCluster];
        const std::size_t within = offset % perCluster;
        return {at.firstSectorOfCluster(cluster) + static_cast<std::int64_t>(within / sectorSize),
                static_cast<std::uint32_t>(within % sectorSize)};
    }

    // Whether "." or ".." may be written at slot `index`: it holds nothing, or a dot
    // entry gone wrong; never an entry of the directory's own.
    static bool mayHoldDot(ByteView bytes, std::size_t index) {
        if (bytes.size() < (index + 1) * DirectorySlot::size) {
            return false;
        }
        const DirectorySlot slot(bytes.subspan(index * DirectorySlot::size, DirectorySlot::size));
        return slot.isEnd() || slot.isDeleted() ||
               (!slot.isLongName() && isDotName(slot.shortName(), index + 1));
    }

    struct PendingLongName {
        std::vector<LFNFragment> fragments;
        std::vector<SlotPlace> places;
        std::size_t slots = 0;
        int expected = 0; // the order number the next slot must carry
        bool broken = false;
    };

    void readDirectory(std::size_t d) {
        const std::int32_t me =
            d == 0 ? 0 : newOwner(directories_[d].path, directories_[d].places.back(), true);
        const Bytes bytes = slotsOf(d, me);
        const Directory dir = directories_[d];
        if (bytes.empty()) {
            return;
        }
        const bool isRoot = !dir.cluster;

        std::unordered_set<std::string> names;
        PendingLongName pending;
        bool ended = false;
        const auto orphan = [&] {
            if (pending.slots > 0) {
                add(ProblemKind::orphanLongName, {dir.path}, FixKind::removeLongNameSlots, {},
                    static_cast<std::int64_t>(pending.slots), pending.places);
            }
            pending = {};
        };
        bool sawDot = false;
        bool sawDotDot = false;
        for (std::size_t o = 0, index = 0; o + DirectorySlot::size <= bytes.size();
             o += DirectorySlot::size, ++index) {
            const DirectorySlot slot(ByteView(bytes).subspan(o, DirectorySlot::size));
            const SlotPlace place = placeOf(o, isRoot);
            if (slot.isEnd()) {
                if (!ended) {
                    orphan();
                }
                ended = true;
                continue;
            }
            if (slot.isDeleted()) {
                if (!ended) {
                    orphan();
                }
                continue;
            }
            if (ended) {
                if (!slot.isLongName()) {
                    const auto parsed = DirectoryEntryParser::parse(slot.bytes());
                    add(ProblemKind::entryAfterEnd, {childPath(dir.path, parsed.entry.shortName())},
                        FixKind::markDeleted, {}, 0, {place});
                }
                continue;
            }
            if (slot.isLongName()) {
                readLongNameSlot(slot, pending, orphan);
                pending.places.push_back(place);
                continue;
            }
            if (slot.isVolumeLabel() && !slot.isDirectory()) {
                orphan();
                continue;
            }
            const ByteView name11 = slot.shortName();
            if (!isRoot && index < 2 && isDotName(name11, index + 1)) {
                const std::uint16_t want = index == 0 ? *dir.cluster : dir.parentCluster;
                if (slot.isDirectory() && slot.startCluster() == want) {
                    (index == 0 ? sawDot : sawDotDot) = true;
                }
                orphan();
                continue;
            }
            // A label that is also a directory is named like any entry.
            Bytes raw(slot.bytes().begin(), slot.bytes().end());
            raw[DirectorySlot::attributesOffset] &= ~FileAttributes::volumeLabel;
            auto parsed = DirectoryEntryParser::parse(raw);
            DirectoryEntry& entry = parsed.entry;
            std::vector<SlotPlace> places;
            if (pending.slots > 0) {
                const std::uint8_t sum = LFNParser::calculateChecksum(name11);
                const bool sumsAgree =
                    std::all_of(pending.fragments.begin(), pending.fragments.end(),
                                [&](const LFNFragment& f) { return f.checksum == sum; });
                if (pending.broken || pending.expected != 0) {
                    orphan();
                } else if (!sumsAgree) {
                    add(ProblemKind::longNameChecksum, {childPath(dir.path, entry.shortName())},
                        FixKind::removeLongNameSlots, {}, 0, pending.places);
                } else {
                    std::vector<LFNFragment> inOrder(pending.fragments.rbegin(),
                                                     pending.fragments.rend());
                    entry.longFileName = LFNParser::assembleLFN(inOrder);
                    places = pending.places;
                }
                pending = {};
            }
            const std::string path = childPath(dir.path, entry.displayName());
            places.push_back(place);
            checkEntry(d, slot, places, path, names);
        }
        if (!ended) {
            orphan();
        }
        if (!isRoot && (!sawDot || !sawDotDot)) {
            // A directory whose cluster a save would not keep cannot be mended in place.
            const bool mendable = image_.clusterIsStorable(*dir.cluster) && mayHoldDot(bytes, 0) &&
                                  mayHoldDot(bytes, 1);
            for (const auto& [saw, kind] : {std::pair{sawDot, ProblemKind::badDotEntry},
                                            std::pair{sawDotDot, ProblemKind::badDotDotEntry}}) {
                if (saw) {
                    continue;
                }
                VolumeProblem& p =
                    add(kind, {dir.path}, mendable ? FixKind::mendDotEntries : FixKind::none);
                if (mendable) {
                    p.slots = {placeOf(0, false), placeOf(DirectorySlot::size, false)};
                    p.directoryCluster = *dir.cluster;
                    p.parentCluster = dir.parentCluster;
                }
            }
        }
    }

    template <typename Orphan>
    void readLongNameSlot(const DirectorySlot& slot, PendingLongName& pending, Orphan&& orphan) {
        const std::optional<LFNFragment> fragment = LFNParser::parseLFNEntry(slot.bytes());
        const std::uint8_t order = slot.firstByte();
        const int number = order & 0x1F;
        if ((order & DirectorySlot::lastLongNameSlot) != 0) {
            orphan();
            pending.expected = number - 1;
            pending.broken = number == 0 || number > 20 || !fragment;
        } else if (pending.slots == 0 || number != pending.expected || !fragment ||
                   (!pending.fragments.empty() &&
                    fragment->checksum != pending.fragments.front().checksum)) {
            orphan();
            pending.broken = true;
            pending.expected = number - 1;
        } else {
            pending.expected = number - 1;
        }
        if (fragment) {
            pending.fragments.push_back(*fragment);
        }
        ++pending.slots;
    }

    // `places`: the entry's long-name slots, then its own.
    void checkEntry(std::size_t d, const DirectorySlot& slot, const std::vector<SlotPlace>& places,
                    const std::string& path, std::unordered_set<std::string>& names) {
        const SlotPlace place = places.back();
        const ByteView name11 = slot.shortName();
        if (nameIsInvalid(name11) || isDotName(name11, 1) || isDotName(name11, 2)) {
            add(ProblemKind::invalidName, {path}, FixKind::none);
        }
        if (!names.emplace(name11.begin(), name11.end()).second) {
            add(ProblemKind::duplicateName, {path}, FixKind::none);
        }
        const std::uint8_t attributes = slot.attributes();
        if (slot.isDirectory() && (attributes & FileAttributes::volumeLabel) != 0) {
            add(ProblemKind::invalidAttributes, {path}, FixKind::none, {}, attributes);
            return;
        }
        const std::uint16_t start = slot.startCluster();
        if (!slot.isDirectory()) {
            checkFile(path, place, start, slot.fileSize());
            return;
        }
        if (isDotName(name11, 1) || isDotName(name11, 2)) {
            return;
        }
        if (!startInRange(start)) {
            add(ProblemKind::invalidStartCluster, {path}, FixKind::none, {start});
            return;
        }
        std::string ancestor;
        if (isAncestor(d, start, ancestor)) {
            add(ProblemKind::directoryCycle, {path, ancestor}, FixKind::markDeleted, {start}, 0,
                places);
            return;
        }
        const std::int32_t holder = owner_[start];
        if (holder != -1) {
            // Read once only: a directory reached twice would list (and claim) its whole
            // tree again.
            const std::int32_t me = newOwner(path, place, true);
            walk(me, start);
            return;
        }
        directories_.push_back(
            {path, places, start, directories_[d].cluster.value_or(0), static_cast<int>(d)});
    }

    void findLostChains() {
        std::vector<bool> lost(n_, false);
        std::vector<bool> pointedTo(n_, false);
        for (std::size_t c = 2; c < n_; ++c) {
            lost[c] = owner_[c] == -1 && fat_[c] != 0 && fat_[c] != bad_;
        }
        for (std::size_t c = 2; c < n_; ++c) {
            if (lost[c] && fat_[c] < n_ && fat_[c] >= 2 && lost[fat_[c]]) {
                pointedTo[fat_[c]] = true;
            }
        }
        std::vector<bool> taken(n_, false);
        const auto collect = [&](std::size_t head) {
            std::vector<std::uint32_t> clusters;
            for (std::size_t c = head; c >= 2 && c < n_ && lost[c] && !taken[c]; c = fat_[c]) {
                taken[c] = true;
                clusters.push_back(static_cast<std::uint32_t>(c));
            }
            const auto bytes = static_cast<std::int64_t>(clusters.size()) * clusterBytes_;
            add(ProblemKind::lostChain, {}, FixKind::recoverLostChain, std::move(clusters), bytes);
        };
        for (std::size_t c = 2; c < n_; ++c) {
            if (lost[c] && !pointedTo[c]) {
                collect(c);
            }
        }
        // What is left is rings with no way in.
        for (std::size_t c = 2; c < n_; ++c) {
            if (lost[c] && !taken[c]) {
                collect(c);
            }
        }
    }

    const DiskImage& image_;
    const std::vector<std::uint16_t>& fat_;
    std::size_t n_;
    std::uint32_t eocMin_ = 0;
    std::uint16_t bad_ = 0;
    std::uint16_t maxLink_ = 0;
    std::int64_t clusterBytes_ = 0;
    // Per cluster: the entry (index into owners_) that reached it first, and the last
    // one that walked it (a chain that meets its own mark has looped).
    std::vector<std::int32_t> owner_;
    std::vector<std::int32_t> seen_;
    struct Owner {
        std::string path;
        SlotPlace place;
        bool isDirectory = false;
    };
    std::vector<Owner> owners_;
    // The chain of the directory slotsOf read last, for the places of its slots.
    std::vector<std::uint16_t> dirChain_;
    std::vector<Directory> directories_;
    std::unordered_map<std::uint64_t, std::size_t> crossLinks_;
};

// Every copy of the FAT decoded as the first is; a copy cut short by the file's end reads
// as zeros past it.
std::vector<std::vector<std::uint16_t>> decodeCopies(const DiskImage& image) {
    const FatArea area = image.addressing().fatArea();
    const PagedBytes& data = image.data();
    const std::int64_t start = image.addressing().sectorStart(0);
    const std::size_t entries = image.fatTable().entries().size();
    std::vector<std::vector<std::uint16_t>> copies;
    for (std::int64_t i = 0; i < area.copies(); ++i) {
        Bytes bytes(static_cast<std::size_t>(std::max<std::int64_t>(0, area.bytesPerCopy())), 0);
        const std::int64_t at = start + area.copyOffset(i);
        const std::int64_t inData =
            std::clamp<std::int64_t>(static_cast<std::int64_t>(data.size()) - at, 0,
                                     static_cast<std::int64_t>(bytes.size()));
        if (at >= 0 && inData > 0) {
            data.copyTo(static_cast<std::size_t>(at),
                        std::span<std::uint8_t>(bytes).first(static_cast<std::size_t>(inData)));
        }
        copies.push_back(FATParser::decodeFAT(bytes, static_cast<std::int64_t>(entries),
                                              image.fatTable().fatType));
    }
    return copies;
}

} // namespace

VolumeCheckResult checkVolume(const DiskImage& image) {
    VolumeCheckResult result;
    const std::vector<std::vector<std::uint16_t>> copies = decodeCopies(image);
    std::vector<std::uint16_t> first = image.fatTable().entries();
    if (copies.empty() || image.addressing().bytesPerCluster() <= 0 || first.size() < 2) {
        return result;
    }

    // Each distinct copy is read against the directories; the one most of their chains
    // agree with is the one the rest of the check believes. With nothing to tell them
    // apart (an empty volume), a copy that still starts with the media byte is the sound one:
    // a zeroed copy must never be written over the others.
    const auto startsWithMediaByte = [&image](const std::vector<std::uint16_t>& copy) {
        return (copy[0] & 0xFF) == image.layout().bpb.mediaDescriptor;
    };
    std::optional<Scan> best;
    std::size_t bestCopy = 0;
    std::vector<const std::vector<std::uint16_t>*> distinct;
    for (std::size_t i = 0; i < copies.size(); ++i) {
        if (std::any_of(distinct.begin(), distinct.end(),
                        [&](const auto* seen) { return *seen == copies[i]; })) {
            continue;
        }
        distinct.push_back(&copies[i]);
        Scan scan(image, copies[i]);
        scan.run();
        const bool sameChains = best && scan.consistentChains == best->consistentChains;
        const bool media = startsWithMediaByte(copies[i]);
        const bool bestMedia = best && startsWithMediaByte(copies[bestCopy]);
        if (!best || scan.consistentChains > best->consistentChains ||
            (sameChains && media && !bestMedia) ||
            (sameChains && media == bestMedia && scan.problems.size() < best->problems.size())) {
            best.emplace(std::move(scan));
            bestCopy = i;
        }
    }
    const std::vector<std::uint16_t>& fat = copies[bestCopy];
    const bool bytesDiffer =
        !image.addressing().fatArea().copiesAgree(image.data(), image.addressing().sectorStart(0));
    if (distinct.size() > 1 || bytesDiffer) {
        VolumeProblem p;
        p.kind = ProblemKind::fatCopiesDiffer;
        for (std::size_t c = 0; c < fat.size(); ++c) {
            if (std::any_of(copies.begin(), copies.end(),
                            [&](const auto& copy) { return copy[c] != fat[c]; })) {
                p.clusters.push_back(static_cast<std::uint32_t>(c));
            }
        }
        p.agreeingCopy = static_cast<int>(bestCopy) + 1;
        p.fix = FixKind::writeAgreeingFatCopy;
        result.problems.push_back(std::move(p));
    }
    checkBootSector(image, fat, result);
    result.problems.insert(result.problems.end(), best->problems.begin(), best->problems.end());
    addSectorProblems(image, best->owners(), best->ownerPaths(), fat, result);

    if (image.fatTable().fatType == FATType::fat16 && (fat[1] & 0x8000) == 0) {
        result.notes.push_back({dirtyNote});
    }
    if (image.layout().parametersInferred) {
        result.notes.push_back({inferredNote});
    }
    return result;
}

} // namespace tamberlane
