// A 1 GiB FAT16 volume as mkfs.fat leaves it in a fully allocated file: what opening it,
// one import, and ten undo steps cost in time and in resident memory. The counters are
// kibibytes resident above what the process held before the open (rss_open) and above the
// open image (rss_undo).

#include "bench/BenchSupport.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/PathResolver.h"
#include "engine/operations/FileImport.h"
#include "engine/operations/UndoRedoManager.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;

struct BigVolume {
    bench::ScratchDir dir;
    fs::path image = dir.path / "one-gib.img";
    fs::path hostFile = dir.path / "new.bin";

    BigVolume() {
        const std::string command = "fallocate -l 1G '" + image.string() + "' && mkfs.fat -F 16 '" +
                                    image.string() + "' >/dev/null";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("mkfs.fat failed");
        }
        std::ofstream(hostFile, std::ios::binary) << std::string(64 * 1024, 'n');
    }
};

BigVolume& volume() {
    static BigVolume v;
    return v;
}

void BM_OpenAndListRoot_1GiB(benchmark::State& state) {
    std::int64_t grown = 0;
    for (auto _ : state) {
        const std::int64_t before = bench::statusKiB("VmRSS:");
        DiskImageService service;
        const auto image = service.open(volume().image);
        benchmark::DoNotOptimize(PathResolver(*image).list(DiskPath::root()));
        grown = bench::statusKiB("VmRSS:") - before;
    }
    state.counters["rss_open"] = static_cast<double>(grown);
}

void BM_ImportOneFileAndSave_1GiB(benchmark::State& state) {
    DiskImageService service;
    const auto image = service.open(volume().image);
    for (auto _ : state) {
        const BatchResult result =
            FileImport(image).importFiles({volume().hostFile}, DiskPath::root(), true);
        if (!result.allSucceeded()) {
            state.SkipWithError("import failed");
        }
    }
}

void BM_TenImportsUndone_1GiB(benchmark::State& state) {
    std::int64_t grown = 0;
    for (auto _ : state) {
        DiskImageService service;
        const auto image = service.open(volume().image);
        const std::int64_t open = bench::statusKiB("VmRSS:");
        UndoRedoManager history;
        for (int i = 0; i < 10; ++i) {
            const fs::path file = volume().dir.path / ("f" + std::to_string(i) + ".bin");
            std::ofstream(file, std::ios::binary) << std::string(64 * 1024, 'a' + i);
            history.saveSnapshot("import", image);
            FileImport(image).importFiles({file}, DiskPath::root(), true);
        }
        for (int i = 0; i < 10; ++i) {
            history.performUndo(image);
        }
        grown = bench::statusKiB("VmRSS:") - open;
    }
    state.counters["rss_undo"] = static_cast<double>(grown);
}

BENCHMARK(BM_OpenAndListRoot_1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ImportOneFileAndSave_1GiB)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_TenImportsUndone_1GiB)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace
} // namespace tamberlane
