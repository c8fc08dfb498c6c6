// Random sequences of every volume change, checked after each step against a model and
// against the FAT tools: the volume stays consistent, lists and reads as the model
// says, and the image file always equals the image in memory.

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

class ModelBasedOperationsTest : public ::testing::TestWithParam<VolumeKind> {
  protected:
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
            used += isDir(key) ? 1
                               : (static_cast<std::int64_t>(bytes.size()) + bytesPerCluster - 1) /
                                     bytesPerCluster;
        }
        return used;
    }
    std::int64_t freeClusters(const Model& m) const { return initialFree - clustersUsed(m); }

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
            if (leafOf(key) == name) {
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

TEST_P(ModelBasedOperationsTest, RandomSequencesKeepTheVolumeConsistentAndMatchingTheModel) {
    const unsigned seed = 4242u + static_cast<unsigned>(GetParam().name.size()) * 31u;
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
                                  const Bytes& data,
                                  bool overwrite) -> std::optional<DiskImageError::Kind> {
        const std::string diskName = upper(hostName);
        const auto existing = childNamed(m, target, diskName);
        if (existing && (isDir(*existing) || !overwrite)) {
            return DiskImageError::Kind::encodingError;
        }
        // The replaced file's clusters count as free; a refusal keeps it.
        Model next = m;
        if (existing) {
            next.erase(*existing);
        }
        if (static_cast<std::int64_t>(data.size()) > freeClusters(next) * bytesPerCluster) {
            return DiskImageError::Kind::diskFull;
        }
        if (!existing &&
            static_cast<std::int64_t>(childrenOf(next, target).size()) >= slotsOf(target)) {
            return DiskImageError::Kind::diskFull;
        }
        next[target + diskName] = data;
        m = std::move(next);
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
            std::vector<std::optional<DiskImageError::Kind>> outcomes;
            // The second of a batch's host names that shorten alike always fails.
            std::set<std::string> asked;
            for (std::size_t i = 0; i < count; ++i) {
                const std::size_t n = pick(14);
                std::string name = n < 2 ? "d" + std::to_string(n) : "f" + std::to_string(n);
                if (n % 3 == 0) {
                    name += ".bin";
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
                    FileImport(image).importFile(hosts[0], DiskPath::fromString(target), overwrite);
                    EXPECT_FALSE(outcomes[0].has_value()) << what;
                } catch (const DiskImageError& error) {
                    ASSERT_TRUE(outcomes[0].has_value()) << what << ": " << error.what();
                    EXPECT_EQ(error.kind(), *outcomes[0]) << what << ": " << error.what();
                }
            } else {
                const BatchResult result =
                    FileImport(image).importFiles(hosts, DiskPath::fromString(target), overwrite);
                ASSERT_EQ(result.items.size(), count);
                for (std::size_t i = 0; i < count; ++i) {
                    ASSERT_EQ(result.items[i].succeeded(), !outcomes[i].has_value())
                        << what << " #" << i;
                    if (outcomes[i]) {
                        EXPECT_EQ(result.items[i].error->kind(), *outcomes[i]) << what << " #" << i;
                    }
                }
            }
            model = expected;
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
            const std::string newName = "r" + std::to_string(pick(6));
            const std::string newExt = isDir(key) ? "" : (pick(2) == 0 ? "txt" : "");
            const std::string newLeaf = upper(newExt.empty() ? newName : newName + "." + newExt);
            what = "rename " + key + " to " + newLeaf;
            const bool clash = childNamed(model, parentOf(key), newLeaf).has_value();
            snapshot("名前変更");
            try {
                EntryRename(image).rename(entryFor(key),
                                          newExt.empty() ? newName : newName + "." + newExt);
                EXPECT_FALSE(clash) << what;
                Model renamed;
                const std::string newKey = parentOf(key) + newLeaf + (isDir(key) ? "/" : "");
                for (auto& [k, bytes] : model) {
                    renamed[under(k, key) ? newKey + k.substr(key.size()) : k] = bytes;
                }
                model = renamed;
            } catch (const DiskImageError& error) {
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
            const std::string name = "d" + std::to_string(pick(4));
            const std::string key = target + upper(name) + "/";
            what = "mkdir " + key;
            std::optional<DiskImageError::Kind> expected;
            if (childNamed(model, target, upper(name))) {
                expected = DiskImageError::Kind::encodingError;
            } else if (freeClusters(model) < 1 ||
                       static_cast<std::int64_t>(childrenOf(model, target).size()) >=
                           slotsOf(target)) {
                expected = DiskImageError::Kind::diskFull;
            }
            snapshot("ディレクトリ作成");
            try {
                EntryRename(image).createDirectory(name, DiskPath::fromString(target));
                EXPECT_FALSE(expected.has_value()) << what;
                model[key] = {};
            } catch (const DiskImageError& error) {
                ASSERT_TRUE(expected.has_value()) << what << ": " << error.what();
                EXPECT_EQ(error.kind(), *expected) << what;
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

INSTANTIATE_TEST_SUITE_P(EveryFatTypeAndSize, ModelBasedOperationsTest,
                         ::testing::ValuesIn(allVolumeKinds()),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace tamberlane::test
