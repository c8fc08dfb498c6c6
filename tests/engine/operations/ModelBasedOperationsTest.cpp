// Random sequences of every volume change, checked after each step against a model and
// against the FAT tools: the volume stays consistent, lists and reads as the model
// says, and the image file always equals the image in memory.

#include "engine/fat/FATParser.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"
#include "engine/operations/HostExport.h"
#include "engine/operations/UndoRedoManager.h"
#include "tests/support/FatTools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <variant>

namespace tamberlane::test {
namespace {

using Model = Tree;

bool isDir(const std::string& key) {
    return !key.empty() && key.back() == '/';
}

std::string parentOf(const std::string& key) {
    const std::string trimmed = isDir(key) ? key.substr(0, key.size() - 1) : key;
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? "" : trimmed.substr(0, slash + 1);
}

std::string leafOf(const std::string& key) {
    const std::string trimmed = isDir(key) ? key.substr(0, key.size() - 1) : key;
    const std::size_t slash = trimmed.rfind('/');
    return slash == std::string::npos ? trimmed : trimmed.substr(slash + 1);
}

// `key` is `top` itself or lies in the tree of directory `top`.
bool under(const std::string& key, const std::string& top) {
    return key == top || (isDir(top) && key.rfind(top, 0) == 0);
}

std::string upper(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return s;
}

// Names of the long-name runs: spaces, mixed case, more than 13 characters (two slots or
// three), and pairs that differ only in case.
std::string longFileName(std::size_t n) {
    static const std::vector<std::string> names = {"Folder 0",
                                                   "Folder 1",
                                                   "Report for August.txt",
                                                   "report FOR august.TXT",
                                                   "a+b=c; notes.text",
                                                   "Quarterly figures, final version.csv",
                                                   "readme.txt",
                                                   "README.TXT",
                                                   "Photo 2024-01-02.jpeg",
                                                   ".hidden config",
                                                   "x",
                                                   "Very long name that needs three slots.bin",
                                                   "Saved game 1.sav",
                                                   "saved GAME 1.SAV"};
    return names[n % names.size()];
}

// What a step is expected to end in: success (no value), an error of a kind, or, where
// the model cannot tell, either.
struct Outcome {
    enum Special { either };
    std::variant<DiskImageError::Kind, Special> value;
    Outcome(DiskImageError::Kind kind) : value(kind) {}
    Outcome(Special special) : value(special) {}
    bool operator==(const Outcome&) const = default;
};

void check(const std::optional<Outcome>& expected, const std::optional<DiskImageError>& error,
           const std::string& what) {
    if (expected == Outcome::either) {
        return;
    }
    ASSERT_EQ(expected.has_value(), error.has_value())
        << what << ": " << (error ? error->what() : "succeeded");
    if (expected) {
        EXPECT_EQ(std::get<DiskImageError::Kind>(expected->value), error->kind())
            << what << ": " << error->what();
    }
}

class ModelBasedOperationsTest : public ::testing::TestWithParam<VolumeKind> {
  protected:
    void run();
    // The runs with long names written compare names as listings do, ignoring case.
    bool longNames = false;
    LongNamePolicy policy() const {
        return longNames ? LongNamePolicy::always : LongNamePolicy::never;
    }
    std::string diskNameOf(const std::string& name) const { return longNames ? name : upper(name); }

    void SetUp() override {
        if (!fatToolsAvailable()) {
            GTEST_SKIP() << "mkfs.fat, fsck.fat or mtools missing";
        }
        volume = std::make_unique<Volume>(dir, GetParam());
        image = volume->open();
        bytesPerCluster = image->addressing().bytesPerCluster();
        initialFree = image->fatTable().freeClusterCount();
    }

    std::int64_t clustersUsed(const Model& m) const {
        std::int64_t used = 0;
        for (const auto& [key, bytes] : m) {
            used += isDir(key) ? directoryClusters(key)
                               : (static_cast<std::int64_t>(bytes.size()) + bytesPerCluster - 1) /
                                     bytesPerCluster;
        }
        return used;
    }
    std::int64_t freeClusters(const Model& m) const { return initialFree - clustersUsed(m); }
    // Long names fill a directory unevenly (a run needs consecutive free slots), so
    // there the clusters a directory has grown to are read from the volume.
    std::int64_t directoryClusters(const std::string& key) const {
        if (!longNames || !model.contains(key)) {
            return 1;
        }
        const FileEntry entry =
            listedEntry(*image, DiskPath::fromString(parentOf(key)), leafOf(key));
        return static_cast<std::int64_t>(
            FATParser::getClusterChain(entry.directoryEntry.startCluster, image->fatTable())
                .size());
    }

    std::int64_t slotsOf(const std::string& dirKey) const {
        return dirKey.empty() ? image->layout().bpb.rootEntryCount : bytesPerCluster / 32 - 2;
    }
    std::vector<std::string> childrenOf(const Model& m, const std::string& dirKey) const {
        std::vector<std::string> out;
        for (const auto& [key, bytes] : m) {
            if (parentOf(key) == dirKey) {
                out.push_back(key);
            }
        }
        return out;
    }
    std::optional<std::string> childNamed(const Model& m, const std::string& dirKey,
                                          const std::string& name) const {
        for (const std::string& key : childrenOf(m, dirKey)) {
            if (longNames ? upper(leafOf(key)) == upper(name) : leafOf(key) == name) {
                return key;
            }
        }
        return std::nullopt;
    }
    std::vector<std::string> keys(const Model& m, int which) const { // 0 files, 1 dirs, 2 all
        std::vector<std::string> out;
        for (const auto& [key, bytes] : m) {
            if (which == 2 || (which == 1) == isDir(key)) {
                out.push_back(key);
            }
        }
        return out;
    }
    FileEntry entryFor(const std::string& key) {
        return listedEntry(*image, DiskPath::fromString(parentOf(key)), leafOf(key));
    }

    // Reading back every file and the FAT tools take most of the time on the large
    // volumes: there they run every few steps (damage stays until a check finds it).
    void verify(const std::string& step, bool full) {
        SCOPED_TRACE(step);
        ASSERT_TRUE(image->data() == readFile(volume->path())) << "image file differs from memory";
        if (full) {
            ASSERT_EQ(engineTree(*image), model) << "our listing differs from the model";
            ASSERT_TRUE(fsckAccepts(volume->path()));
            ASSERT_EQ(mtoolsTree(volume->path()), model) << "mtools sees another volume";
        }
    }

    TempDir dir;
    TempDir hostDir;
    std::unique_ptr<Volume> volume;
    std::shared_ptr<DiskImage> image;
    std::int64_t bytesPerCluster = 0;
    std::int64_t initialFree = 0;
    Model model;
};

void ModelBasedOperationsTest::run() {
    const unsigned seed =
        4242u + static_cast<unsigned>(GetParam().name.size()) * 31u + (longNames ? 7u : 0u);
    std::mt19937 rng(seed);
    SCOPED_TRACE("seed " + std::to_string(seed));
    const auto pick = [&rng](std::size_t n) {
        return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng);
    };
    UndoRedoManager undo;
    std::vector<Model> undoModels;
    std::vector<Model> redoModels;
    const auto snapshot = [&](const std::string& name) {
        undo.saveSnapshot(name, image);
        undoModels.push_back(model);
        if (undoModels.size() > UndoRedoManager::maxSnapshots) {
            undoModels.erase(undoModels.begin());
        }
        redoModels.clear();
    };
    const auto randomSize = [&]() -> std::size_t {
        const std::size_t bpc = static_cast<std::size_t>(bytesPerCluster);
        switch (pick(7)) {
        case 0:
            return 0;
        case 1:
            return bpc;
        case 2:
            return 3 * bpc;
        case 3:
            return bpc + 1;
        case 4:
            return 1 + pick(bpc * 2);
        case 5:
            return static_cast<std::size_t>(freeClusters(model) * bytesPerCluster) + pick(2);
        default:
            return pick(bpc * 12);
        }
    };
    const auto dirsPlusRoot = [&]() {
        std::vector<std::string> dirs = keys(model, 1);
        dirs.push_back("");
        return dirs;
    };
    // Predicts one import into `target` on model `m` (applied when it succeeds).
    const auto expectImport = [&](Model& m, const std::string& target, const std::string& hostName,
                                  const Bytes& data, bool overwrite) -> std::optional<Outcome> {
        const std::string diskName = diskNameOf(hostName);
        const auto existing = childNamed(m, target, diskName);
        if (existing && (isDir(*existing) || !overwrite)) {
            return DiskImageError::Kind::encodingError;
        }
        // The replaced file's clusters count as free; a refusal keeps it.
        Model next = m;
        if (existing) {
            next.erase(*existing);
        }
        const std::int64_t spare =
            freeClusters(next) * bytesPerCluster - static_cast<std::int64_t>(data.size());
        if (spare < 0) {
            return DiskImageError::Kind::diskFull;
        }
        if (!longNames && !existing &&
            static_cast<std::int64_t>(childrenOf(next, target).size()) >= slotsOf(target)) {
            return DiskImageError::Kind::diskFull;
        }
        // A replaced file keeps its entry, and with it the name it was listed under.
        next[existing.value_or(target + diskName)] = data;
        m = std::move(next);
        // The directory may have to grow into the cluster the data needs: the volume
        // tells afterwards whether the file is there.
        if (longNames && !existing && !target.empty() && spare < bytesPerCluster) {
            return Outcome::either;
        }
        return std::nullopt;
    };

    const int steps = GetParam().fatBits == 16 ? 40 : 50;
    int hostCounter = 0;
    std::map<std::string, int> performed;
    for (int step = 0; step < steps; ++step) {
        const std::size_t action = pick(100);
        std::string what;
        if (action < 30) { // import, one file or a batch
            const std::vector<std::string> dirs = dirsPlusRoot();
            const std::string target = dirs[pick(dirs.size())];
            const std::size_t count = pick(4) == 0 ? 2 + pick(3) : 1;
            const bool overwrite = pick(2) == 0;
            std::vector<std::filesystem::path> hosts;
            Model expected = model;
            std::vector<std::optional<Outcome>> outcomes;
            // The second of a batch's host names that shorten alike always fails.
            std::set<std::string> asked;
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t n = pick(14);
                std::string name = n < 2 ? "d" + std::to_string(n) : "f" + std::to_string(n);
                if (n % 3 == 0) {
                    name += ".bin";
                }
                if (longNames) {
                    name = longFileName(n);
                }
                const auto host = hostDir / std::to_string(hostCounter++) / name;
                std::filesystem::create_directories(host.parent_path());
                const Bytes data =
                    patternBytes(randomSize(), static_cast<std::uint8_t>(hostCounter));
                writeFile(host, data);
                hosts.push_back(host);
                outcomes.push_back(asked.insert(upper(name)).second
                                       ? expectImport(expected, target, name, data, overwrite)
                                       : DiskImageError::Kind::encodingError);
            }
            what = "import " + std::to_string(count) + " into /" + target;
            snapshot("インポート");
            if (count == 1) {
                try {
                    FileImport(image).importFile(hosts[0], DiskPath::fromString(target), overwrite,
                                                 {}, policy());
                    check(outcomes[0], std::nullopt, what);
                } catch (const DiskImageError& error) {
                    check(outcomes[0], error, what);
                }
            } else {
                BatchOptions options;
                options.overwrite = overwrite;
                options.longNames = policy();
                const BatchResult result =
                    FileImport(image).importFiles(hosts, DiskPath::fromString(target), options);
                ASSERT_EQ(result.items.size(), count);
                for (std::size_t i = 0; i < count; ++i) {
                    check(outcomes[i], result.items[i].error, what + " #" + std::to_string(i));
                }
            }
            model = expected;
            // Where either outcome was right, the volume tells which one it was.
            for (std::size_t i = 0; i < count; ++i) {
                const std::string key = target + diskNameOf(hosts[i].filename().string());
                if (outcomes[i] == Outcome::either && !engineTree(*image).contains(key)) {
                    model.erase(key);
                }
            }
        } else if (action < 40) { // export
            const std::vector<std::string> files = keys(model, 0);
            if (files.empty()) {
                continue;
            }
            const std::string key = files[pick(files.size())];
            what = "export " + key;
            const auto out = hostDir / "exported";
            exportFileTo(*image, entryFor(key), out, ExistingHostFile::overwrite);
            EXPECT_EQ(readFile(out), model[key]) << what;
        } else if (action < 55) { // delete one or several entries (trees included)
            const std::vector<std::string> all = keys(model, 2);
            if (all.empty()) {
                continue;
            }
            std::vector<std::string> victims{all[pick(all.size())]};
            const std::string other = all[pick(all.size())];
            if (pick(3) == 0 && other != victims[0] && parentOf(other) == parentOf(victims[0])) {
                victims.push_back(other);
            }
            what = "delete " + victims[0] + (victims.size() > 1 ? " and " + victims[1] : "");
            std::vector<FileEntry> entries;
            for (const std::string& v : victims) {
                entries.push_back(entryFor(v));
            }
            snapshot("削除");
            if (entries.size() == 1) {
                EntryDeletion(image).deleteEntry(entries[0], true);
            } else {
                EXPECT_TRUE(EntryDeletion(image).deleteEntries(entries, true).allSucceeded())
                    << what;
            }
            for (const std::string& v : victims) {
                for (auto it = model.begin(); it != model.end();) {
                    it = under(it->first, v) ? model.erase(it) : std::next(it);
                }
            }
        } else if (action < 67) { // rename
            const std::vector<std::string> all = keys(model, 2);
            if (all.empty()) {
                continue;
            }
            const std::string key = all[pick(all.size())];
            std::string newName = "r" + std::to_string(pick(6));
            const std::string newExt = isDir(key) ? "" : (pick(2) == 0 ? "txt" : "");
            if (longNames) {
                newName = pick(2) == 0 ? "Renamed " + newName + " with a longer name" : newName;
            }
            const std::string typed = newExt.empty() ? newName : newName + "." + newExt;
            const std::string newLeaf = diskNameOf(typed);
            what = "rename " + key + " to " + newLeaf;
            const auto named = childNamed(model, parentOf(key), newLeaf);
            // With long names an entry may take its own name in another case.
            const bool clash = named && !(longNames && *named == key);
            // A longer name may need a run of slots only a grown directory has.
            const bool mayBeFull = longNames && freeClusters(model) < 1 && !parentOf(key).empty();
            snapshot("名前変更");
            try {
                EntryRename(image).rename(entryFor(key), typed, policy());
                EXPECT_FALSE(clash) << what;
                Model renamed;
                const std::string newKey = parentOf(key) + newLeaf + (isDir(key) ? "/" : "");
                for (auto& [k, bytes] : model) {
                    renamed[under(k, key) ? newKey + k.substr(key.size()) : k] = bytes;
                }
                model = renamed;
            } catch (const DiskImageError& error) {
                if (mayBeFull && error.kind() == DiskImageError::Kind::diskFull) {
                    continue;
                }
                EXPECT_TRUE(clash) << what << ": " << error.what();
                EXPECT_EQ(error.kind(), DiskImageError::Kind::encodingError);
            }
        } else if (action < 80) { // new directory (at most two levels deep)
            std::vector<std::string> dirs;
            for (const std::string& d : dirsPlusRoot()) {
                if (std::count(d.begin(), d.end(), '/') < 2) {
                    dirs.push_back(d);
                }
            }
            const std::string target = dirs[pick(dirs.size())];
            const std::string name =
                longNames ? longFileName(pick(4)) : "d" + std::to_string(pick(4));
            const std::string key = target + diskNameOf(name) + "/";
            what = "mkdir " + key;
            std::optional<Outcome> expected;
            if (childNamed(model, target, diskNameOf(name))) {
                expected = DiskImageError::Kind::encodingError;
            } else if (freeClusters(model) < 1 ||
                       (!longNames && static_cast<std::int64_t>(childrenOf(model, target).size()) >=
                                          slotsOf(target))) {
                expected = DiskImageError::Kind::diskFull;
            } else if (longNames && freeClusters(model) < 2 && !target.empty()) {
                expected = Outcome::either;
            }
            snapshot("ディレクトリ作成");
            try {
                EntryRename(image).createDirectory(name, DiskPath::fromString(target), policy());
                check(expected, std::nullopt, what);
                model[key] = {};
            } catch (const DiskImageError& error) {
                check(expected, error, what);
            }
        } else if (action < 92) { // undo
            what = "undo";
            undo.performUndo(image);
            if (!undoModels.empty()) {
                redoModels.push_back(model);
                model = undoModels.back();
                undoModels.pop_back();
            }
        } else { // redo
            what = "redo";
            undo.performRedo(image);
            if (!redoModels.empty()) {
                undoModels.push_back(model);
                model = redoModels.back();
                redoModels.pop_back();
            }
        }
        const bool full = GetParam().sizeKiB < 2000 || step % 5 == 4;
        ASSERT_NO_FATAL_FAILURE(verify("step " + std::to_string(step) + ": " + what, full));
        ++performed[what.substr(0, what.find(' '))];
    }
    ASSERT_NO_FATAL_FAILURE(verify("after the last step", true));
    // A sequence that never reached an operation would prove nothing.
    for (const char* kind : {"import", "export", "delete", "rename", "mkdir", "undo"}) {
        EXPECT_GT(performed[kind], 0) << kind;
    }
}

TEST_P(ModelBasedOperationsTest, RandomSequencesKeepTheVolumeConsistentAndMatchingTheModel) {
    run();
}

INSTANTIATE_TEST_SUITE_P(EveryFatTypeAndSize, ModelBasedOperationsTest,
                         ::testing::ValuesIn(allVolumeKinds()),
                         [](const auto& info) { return info.param.name; });

class ModelBasedLongNamesTest : public ModelBasedOperationsTest {};

TEST_P(ModelBasedLongNamesTest, RandomSequencesWithLongNamesKeepTheVolumeConsistent) {
    longNames = true;
    run();
}

// The floppy volumes: the names, not the sizes, are what this run varies.
INSTANTIATE_TEST_SUITE_P(Floppies, ModelBasedLongNamesTest,
                         ::testing::Values(allVolumeKinds()[0], allVolumeKinds()[1]),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace tamberlane::test
