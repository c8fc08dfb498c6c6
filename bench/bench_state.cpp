// The browser's work as the windows see it: listing and sorting a large directory, and a
// paste of a whole tree. Every change includes writing the image file.

#include "app/state/ApplicationState.h"
#include "engine/fat/NewImageFile.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <unistd.h>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;

struct Workspace {
    fs::path root =
        fs::temp_directory_path() / ("tamberlane-state-bench-" + std::to_string(getpid()));
    fs::path bigDirectoryImage = root / "big.hdi";
    fs::path treeImage = root / "tree.hdi";

    Workspace() {
        fs::create_directories(root / "empty");
        fs::create_directories(root / "small");
        // 4,000 entries in /BIG of a 40 MB disk, alternating sizes and names that collide in case.
        std::vector<fs::path> empties;
        for (int i = 0; i < 4000; ++i) {
            empties.push_back(root / "empty" / ((i % 2 == 0 ? "f" : "G") + std::to_string(i)));
            write(empties.back(), std::string(static_cast<std::size_t>(i % 5), 'x'));
        }
        makeImage(bigDirectoryImage, "BIG", empties, DiskSize::mb40);
        std::vector<fs::path> small;
        for (int i = 0; i < 500; ++i) {
            small.push_back(root / "small" / ("f" + std::to_string(i) + ".bin"));
            write(small.back(), std::string(4096, static_cast<char>(i)));
        }
        makeImage(treeImage, "TREE", small, DiskSize::mb10);
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static void write(const fs::path& path, const std::string& bytes) {
        std::ofstream(path, std::ios::binary) << bytes;
    }
    static void makeImage(const fs::path& path, const std::string& directory,
                          const std::vector<fs::path>& files, DiskSize size) {
        writeImageFile(path, createNewImage({NewImageFormat::hdi, size, FATType::fat12}));
        DiskImageService service;
        const std::shared_ptr<DiskImage> image = service.open(path);
        EntryRename(image).createDirectory(directory, DiskPath::root());
        EntryRename(image).createDirectory("DEST", DiskPath::root());
        const BatchResult result =
            FileImport(image).importFiles(files, DiskPath::root().appending(directory), false);
        for (const BatchItemResult& item : result.items) {
            if (!item.succeeded()) {
                std::fprintf(stderr, "%s: %s\n", item.name.c_str(), item.error->what());
                std::abort();
            }
        }
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

void BM_BindAndListFourThousandEntriesByName(benchmark::State& state) {
    SynchronousExecutor executor;
    ApplicationState app(executor);
    for (auto _ : state) {
        app.image().openDiskImage(workspace().bigDirectoryImage);
        app.browser().navigateToPath(DiskPath::root().appending("BIG"));
        if (app.browser().entries.get().size() != 4000) {
            state.SkipWithError("listing incomplete");
        }
    }
}

void sortBench(benchmark::State& state, SortKey key) {
    SynchronousExecutor executor;
    ApplicationState app(executor);
    app.image().openDiskImage(workspace().bigDirectoryImage);
    app.browser().navigateToPath(DiskPath::root().appending("BIG"));
    for (auto _ : state) {
        app.browser().sort(key);
    }
}
void BM_SortFourThousandByName(benchmark::State& s) {
    sortBench(s, SortKey::name);
}
void BM_SortFourThousandBySize(benchmark::State& s) {
    sortBench(s, SortKey::size);
}
void BM_SortFourThousandByDate(benchmark::State& s) {
    sortBench(s, SortKey::date);
}

void BM_PasteFiveHundredFileTree(benchmark::State& state) {
    const fs::path copy = workspace().root / "paste.hdi";
    for (auto _ : state) {
        state.PauseTiming();
        fs::copy_file(workspace().treeImage, copy, fs::copy_options::overwrite_existing);
        SynchronousExecutor executor;
        ApplicationState app(executor);
        app.image().openDiskImage(copy);
        std::set<EntryId> tree;
        for (const FileEntry& e : app.browser().entries.get()) {
            if (e.directoryEntry.displayName() == "TREE") {
                tree.insert(e.id);
            }
        }
        app.browser().setSelection(tree);
        app.browser().copySelectedEntries();
        app.browser().navigateToPath(DiskPath::root().appending("DEST"));
        state.ResumeTiming();
        app.browser().pasteEntries();
        state.PauseTiming();
        if (app.browser().showError) {
            state.SkipWithError(app.browser().errorMessage.get().c_str());
        }
        state.ResumeTiming();
    }
}

BENCHMARK(BM_BindAndListFourThousandEntriesByName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortFourThousandByName)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortFourThousandBySize)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortFourThousandByDate)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PasteFiveHundredFileTree)->Unit(benchmark::kMillisecond)->Iterations(5);

} // namespace
} // namespace tamberlane
