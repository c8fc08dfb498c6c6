#include "engine/operations/VolumeRepair.h"

#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DirectoryTable.h"
#include "engine/fat/FileAttributes.h"
#include "engine/operations/VolumeTransaction.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <limits>
#include <set>
#include <unordered_set>

namespace tamberlane {

namespace {

bool isChosen(const std::vector<VolumeProblem>& chosen, const VolumeProblem& problem) {
    return std::find(chosen.begin(), chosen.end(), problem) != chosen.end();
}

// The steps of one repair, in an order where none undoes another: the FAT copies first
// (every later write goes through the agreeing one), then chains, then the copies of
// shared clusters, then slots, and last what is left unowned, gathered into FOUND.000.
class Repair {
  public:
    Repair(DiskImage& image, ImageJournal& journal) : image_(image), journal_(journal) {
        clusterBytes_ = image.addressing().bytesPerCluster();
    }

    // `chosen`: every problem the user chose, report-only ones included: a slot the check
    // could not mend while another entry held it may be mended once that entry is gone.
    void run(const std::vector<const VolumeProblem*>& fixes,
             const std::vector<VolumeProblem>& chosen) {
        for (const VolumeProblem* p : fixes) {
            if (p->fix == FixKind::writeAgreeingFatCopy && p->agreeingCopy) {
                image_.adoptFatCopy(*p->agreeingCopy - 1);
            }
        }
        makeRoom(fixes);
        for (const VolumeProblem* p : fixes) {
            if (p->fix == FixKind::cutChain || p->fix == FixKind::cutSize) {
                mendChain(*p);
            }
        }
        std::set<std::vector<std::string>> crossLinks;
        std::set<std::uint32_t> lost(tails_.begin(), tails_.end());
        for (const VolumeProblem* p : fixes) {
            if (p->fix == FixKind::copySharedClusters) {
                crossLinks.insert(p->paths);
            }
            if (p->fix == FixKind::recoverLostChain) {
                lost.insert(p->clusters.begin(), p->clusters.end());
            }
        }
        if (!crossLinks.empty()) {
            // Cut chains may share fewer clusters than before: what is shared now is copied.
            for (const VolumeProblem& p : recheck().problems) {
                if (p.kind == ProblemKind::crossLink && p.fix == FixKind::copySharedClusters &&
                    crossLinks.contains(p.paths)) {
                    copyShared(p);
                }
            }
        }
        for (const VolumeProblem* p : fixes) {
            mendSlots(*p);
        }
        std::set<std::pair<ProblemKind, std::vector<std::string>>> slotProblems;
        for (const VolumeProblem& p : chosen) {
            if (p.fix == FixKind::none || p.fix == FixKind::mendDotEntries) {
                slotProblems.emplace(p.kind, p.paths);
            }
        }
        if (!slotProblems.empty()) {
            for (const VolumeProblem& p : recheck().problems) {
                if (p.fix == FixKind::mendDotEntries && slotProblems.contains({p.kind, p.paths})) {
                    mendSlots(p);
                }
            }
        }
        if (!lost.empty()) {
            std::vector<std::vector<std::uint32_t>> chains;
            for (const VolumeProblem& p : recheck().problems) {
                if (p.kind == ProblemKind::lostChain &&
                    std::any_of(p.clusters.begin(), p.clusters.end(),
                                [&](std::uint32_t c) { return lost.contains(c); })) {
                    chains.push_back(p.clusters);
                }
            }
            recover(chains);
        }
    }

  private:
    FATTable& fat() { return image_.fatTable(); }

    VolumeCheckResult recheck() {
        journal_.writeFAT();
        return checkVolume(image_);
    }

    // The whole repair is refused before it starts when the volume cannot hold what it
    // adds: copies of shared clusters, and FOUND.000 with an entry per chain it keeps.
    void makeRoom(const std::vector<const VolumeProblem*>& fixes) {
        std::int64_t copies = 0;
        std::int64_t kept = 0;
        for (const VolumeProblem* p : fixes) {
            if (p->fix == FixKind::copySharedClusters) {
                copies += static_cast<std::int64_t>(p->clusters.size());
            } else if (p->fix == FixKind::recoverLostChain || p->fix == FixKind::cutChain) {
                ++kept;
            }
        }
        const std::int64_t directoryBytes = (kept + 2) * DirectorySlot::size;
        const std::int64_t found =
            kept > 0 ? (directoryBytes + clusterBytes_ - 1) / clusterBytes_ : 0;
        const std::int64_t needed = copies + found;
        const std::int64_t available = fat().freeClusterCount();
        if (needed > available) {
            throw DiskImageError::diskFull(needed * clusterBytes_, available * clusterBytes_);
        }
    }

    std::uint16_t endOfChain() { return fat().endOfChainValue(); }

    // The clusters of a chain as far as it holds: each once, a cluster whose value is
    // reserved or past the volume included (its value is what gets mended), a free or bad
    // one not.
    std::vector<std::uint16_t> walk(std::uint16_t start) {
        const std::vector<std::uint16_t>& entries = fat().entries();
        const std::size_t n = entries.size();
        std::vector<std::uint16_t> chain;
        std::unordered_set<std::uint16_t> seen;
        const std::uint16_t eocMin = fat().fatType == FATType::fat12 ? 0xFF8 : 0xFFF8;
        for (std::uint32_t c = start; c >= 2 && c < n;) {
            const std::uint16_t v = entries[c];
            if (v == 0 || v == fat().badValue() ||
                !seen.insert(static_cast<std::uint16_t>(c)).second) {
                break;
            }
            chain.push_back(static_cast<std::uint16_t>(c));
            if (v >= eocMin || v == 1 || v > fat().maxLinkValue()) {
                break;
            }
            c = v;
        }
        return chain;
    }

    Bytes slotAt(SlotPlace place) {
        const Bytes sector = image_.readSector(place.sector);
        return Bytes(sector.begin() + place.offset,
                     sector.begin() + place.offset + DirectorySlot::size);
    }

    template <typename Change> void editSlot(SlotPlace place, Change&& change) {
        Bytes sector = image_.readSector(place.sector);
        if (place.offset + DirectorySlot::size > sector.size()) {
            return;
        }
        change(DirectorySlot::Mutable(sector).subspan(place.offset, DirectorySlot::size));
        journal_.writeSector(place.sector, sector);
    }

    // Ends the chain at `keep` clusters; what followed stays linked, ends where it held,
    // and is kept in FOUND.000.
    void endChainAt(const std::vector<std::uint16_t>& chain, std::size_t keep) {
        if (keep > 0) {
            fat().setEntry(chain[keep - 1], endOfChain());
        }
        if (keep < chain.size()) {
            fat().setEntry(chain.back(), endOfChain());
            tails_.push_back(chain[keep]);
        }
    }

    void mendChain(const VolumeProblem& p) {
        if (p.slots.empty()) {
            return;
        }
        const SlotPlace place = p.slots.back();
        const Bytes bytes = slotAt(place);
        const DirectorySlot slot(bytes);
        const std::vector<std::uint16_t> chain = walk(slot.startCluster());
        if (slot.isDirectory()) {
            // A directory has no size to cut to: its chain ends where it held.
            if (!chain.empty()) {
                fat().setEntry(chain.back(), endOfChain());
            }
            return;
        }
        const std::uint32_t size = slot.fileSize();
        const auto needed = static_cast<std::size_t>((size + clusterBytes_ - 1) / clusterBytes_);
        if (p.fix == FixKind::cutChain && chain.size() >= needed) {
            endChainAt(chain, needed);
            if (needed == 0) {
                editSlot(place,
                         [](DirectorySlot::Mutable s) { DirectorySlot::setStartCluster(s, 0); });
            }
            return;
        }
        endChainAt(chain, chain.size());
        const std::uint32_t held = static_cast<std::uint32_t>(
            std::min<std::int64_t>(size, static_cast<std::int64_t>(chain.size()) * clusterBytes_));
        editSlot(place, [&](DirectorySlot::Mutable s) {
            DirectorySlot::setFileSize(s, held);
            if (chain.empty()) {
                DirectorySlot::setStartCluster(s, 0);
            }
        });
    }

    // The file the copies go to gets a cluster of its own for each one it shares, with the
    // same bytes; its chain is relinked through them.
    void copyShared(const VolumeProblem& p) {
        if (p.slots.empty()) {
            return;
        }
        const SlotPlace place = p.slots.back();
        const std::uint16_t start = DirectorySlot(slotAt(place)).startCluster();
        std::vector<std::uint16_t> chain = walk(start);
        if (chain.empty()) {
            return;
        }
        const std::set<std::uint32_t> shared(p.clusters.begin(), p.clusters.end());
        const std::uint16_t lastValue = fat().entry(chain.back());
        for (std::uint16_t& c : chain) {
            if (!shared.contains(c)) {
                continue;
            }
            std::vector<std::uint16_t> fresh;
            try {
                fresh = fat().allocate(1);
            } catch (const DiskImageError&) {
                throw DiskImageError::diskFull(static_cast<std::int64_t>(shared.size()) *
                                                   clusterBytes_,
                                               fat().freeClusterCount() * clusterBytes_);
            }
            journal_.writeCluster(fresh.front(), image_.readCluster(c));
            c = fresh.front();
        }
        for (std::size_t i = 0; i + 1 < chain.size(); ++i) {
            fat().setEntry(chain[i], chain[i + 1]);
        }
        fat().setEntry(chain.back(), lastValue);
        if (chain.front() != start) {
            editSlot(place, [&](DirectorySlot::Mutable s) {
                DirectorySlot::setStartCluster(s, chain.front());
            });
        }
    }

    void mendSlots(const VolumeProblem& p) {
        switch (p.fix) {
        case FixKind::markDeleted:
        case FixKind::removeLongNameSlots:
            for (const SlotPlace place : p.slots) {
                editSlot(place, [](DirectorySlot::Mutable s) {
                    DirectorySlot::setFirstByte(s, DirectorySlot::deletedMark);
                });
            }
            break;
        case FixKind::mendDotEntries:
            if (p.slots.size() == 2) {
                editSlot(p.slots[0], [&](DirectorySlot::Mutable s) {
                    DirectorySlot::setDotEntry(s, 1, p.directoryCluster);
                });
                editSlot(p.slots[1], [&](DirectorySlot::Mutable s) {
                    DirectorySlot::setDotEntry(s, 2, p.parentCluster);
                });
            }
            break;
        default:
            break;
        }
    }

    // Each chain becomes FOUND.000/FILEnnnn.CHK, numbered on from what FOUND.000 holds.
    void recover(const std::vector<std::vector<std::uint32_t>>& chains) {
        if (chains.empty()) {
            return;
        }
        for (const auto& chain : chains) {
            // A chain gathered up to a cluster someone else holds must not run into it.
            fat().setEntry(chain.back(), endOfChain());
        }
        DirectoryTable& found = foundDirectory();
        // A size is 32 bits: a longer chain is kept as several files.
        const std::size_t perFile = static_cast<std::size_t>(
            std::numeric_limits<std::uint32_t>::max() / static_cast<std::uint64_t>(clusterBytes_));
        int number = 0;
        for (const auto& chain : chains) {
            for (std::size_t from = 0; from < chain.size(); from += perFile) {
                const std::size_t count = std::min(perFile, chain.size() - from);
                if (from + count < chain.size()) {
                    fat().setEntry(chain[from + count - 1], endOfChain());
                }
                Bytes name(11, ' ');
                do {
                    char digits[8];
                    std::snprintf(digits, sizeof digits, "%04d", number++ % 10000);
                    const std::string text = std::string("FILE") + digits + "CHK";
                    std::copy(text.begin(), text.end(), name.begin());
                } while (found.holdsKey(ByteView(name).first(8), ByteView(name).subspan(8)) &&
                         number < 10000);
                found.add({newSlot(
                    name, FileAttributes::archive, static_cast<std::uint16_t>(chain[from]),
                    static_cast<std::uint32_t>(static_cast<std::int64_t>(count) * clusterBytes_))});
            }
        }
    }

    // FOUND.000, or the first FOUND.nnn whose name no file or broken directory holds.
    DirectoryTable& foundDirectory() {
        root_.emplace(DirectoryTable::of(image_, std::nullopt));
        Bytes name = {'F', 'O', 'U', 'N', 'D', ' ', ' ', ' ', '0', '0', '0'};
        for (int number = 0; number < 1000; ++number) {
            name[8] = static_cast<std::uint8_t>('0' + number / 100);
            name[9] = static_cast<std::uint8_t>('0' + number / 10 % 10);
            name[10] = static_cast<std::uint8_t>('0' + number % 10);
            if (!root_->holdsKey(ByteView(name).first(8), ByteView(name).subspan(8))) {
                break;
            }
            for (std::size_t run = 0; run < root_->runCount(); ++run) {
                const DirectorySlot slot(root_->slotBytes(run));
                if (!(*root_)[run].removed && slot.isDirectory() &&
                    std::equal(name.begin(), name.end(), slot.shortName().begin()) &&
                    !walk(slot.startCluster()).empty()) {
                    found_.emplace(DirectoryTable::of(image_, slot.startCluster()));
                    return *found_;
                }
            }
        }
        const std::uint16_t cluster = fat().allocate(1).front();
        Bytes contents(static_cast<std::size_t>(clusterBytes_), 0);
        DirectorySlot::setDotEntry(DirectorySlot::Mutable(contents).first(DirectorySlot::size), 1,
                                   cluster);
        DirectorySlot::setDotEntry(
            DirectorySlot::Mutable(contents).subspan(DirectorySlot::size, DirectorySlot::size), 2,
            0);
        journal_.writeCluster(cluster, contents);
        root_->add({newSlot(name, FileAttributes::directory, cluster, 0)});
        found_.emplace(DirectoryTable::of(image_, cluster));
        return *found_;
    }

    // A new entry's slot, dated now.
    static Bytes newSlot(ByteView name11, std::uint8_t attributes, std::uint16_t start,
                         std::uint32_t size) {
        Bytes slot(DirectorySlot::size, 0);
        const DirectorySlot::Mutable s(slot);
        DirectorySlot::setShortName(s, name11.first(8), name11.subspan(8));
        DirectorySlot::setAttributes(s, attributes);
        const auto now = std::chrono::floor<std::chrono::seconds>(std::chrono::system_clock::now());
        DirectorySlot::setTime(s, DirectoryEntryParser::encodeFATTime(now));
        DirectorySlot::setDate(s, DirectoryEntryParser::encodeFATDate(now));
        DirectorySlot::setStartCluster(s, start);
        DirectorySlot::setFileSize(s, size);
        return slot;
    }

    DiskImage& image_;
    ImageJournal& journal_;
    std::int64_t clusterBytes_ = 0;
    // The first clusters of what cut chains left over, to be kept in FOUND.000.
    std::vector<std::uint32_t> tails_;
    std::optional<DirectoryTable> root_;
    std::optional<DirectoryTable> found_;
};

} // namespace

std::vector<VolumeProblem> withRequiredFixes(const VolumeCheckResult& check,
                                             std::vector<VolumeProblem> chosen) {
    const bool anyFix = std::any_of(chosen.begin(), chosen.end(),
                                    [](const VolumeProblem& p) { return p.fix != FixKind::none; });
    for (const VolumeProblem& p : check.problems) {
        if (anyFix && p.fix == FixKind::writeAgreeingFatCopy && !isChosen(chosen, p)) {
            chosen.insert(chosen.begin(), p);
        }
    }
    return chosen;
}

VolumeRepairResult repairVolume(DiskImage& image, const std::vector<VolumeProblem>& chosen) {
    if (std::optional<DiskImageError> refusal = image.whyNotRepairable()) {
        throw *refusal;
    }
    VolumeRepairResult result;
    const VolumeCheckResult before = checkVolume(image);
    std::vector<const VolumeProblem*> fixes;
    for (const VolumeProblem& p : before.problems) {
        if (p.fix != FixKind::none && isChosen(chosen, p)) {
            fixes.push_back(&p);
            result.fixed.push_back(p);
        }
    }
    if (fixes.empty()) {
        result.after = before;
        return result;
    }
    {
        VolumeTransaction transaction(image);
        Repair(image, transaction.journal()).run(fixes, chosen);
        transaction.commit(FATWrite::yes);
    }
    result.after = checkVolume(image);
    return result;
}

} // namespace tamberlane
