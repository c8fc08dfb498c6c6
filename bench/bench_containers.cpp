// Container costs the user waits for: opening, creating, converting and saving.

#include "engine/fat/DiskImageService.h"
#include "engine/fat/NewImageFile.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace tamberlane;

using bench::ScratchDir;

std::filesystem::path newImageFile(const ScratchDir& dir, NewImageFormat format, DiskSize size,
                                   const std::string& name) {
    const auto path = dir.path / (name + "." + fileExtension(format));
    writeImageFile(path, createNewImage({format, size}));
    return path;
}

void openAndListRoot(benchmark::State& state, NewImageFormat format, DiskSize size) {
    ScratchDir dir;
    const auto path = newImageFile(dir, format, size, "open");
    for (auto _ : state) {
        DiskImageService service;
        service.open(path);
        benchmark::DoNotOptimize(service.listDirectory(DiskPath::root()));
    }
}

void BM_OpenAndListRoot_NHD_40MB(benchmark::State& state) {
    openAndListRoot(state, NewImageFormat::nhd, DiskSize::mb40);
}
BENCHMARK(BM_OpenAndListRoot_NHD_40MB)->Unit(benchmark::kMillisecond);

void BM_OpenAndListRoot_D88_1_2MB(benchmark::State& state) {
    openAndListRoot(state, NewImageFormat::d88, DiskSize::mb1_2);
}
BENCHMARK(BM_OpenAndListRoot_D88_1_2MB)->Unit(benchmark::kMillisecond);

void BM_CreateNewImage(benchmark::State& state) {
    const auto size = static_cast<DiskSize>(state.range(0));
    state.SetLabel(rawValue(size));
    for (auto _ : state) {
        benchmark::DoNotOptimize(createNewImage({NewImageFormat::bin, size}));
    }
}
BENCHMARK(BM_CreateNewImage)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// Building the bytes, reading them back and writing them to a file, as the conversion does.
void BM_Convert_HDI_to_NHD_40MB(benchmark::State& state) {
    ScratchDir dir;
    const auto source = newImageFile(dir, NewImageFormat::hdi, DiskSize::mb40, "source");
    DiskImageService service;
    const auto image = service.open(source);
    const auto target = dir.path / "target.nhd";
    for (auto _ : state) {
        convertImage(*image, ConvertFormat::nhd, target, ExistingTarget::replace);
    }
}
BENCHMARK(BM_Convert_HDI_to_NHD_40MB)->Unit(benchmark::kMillisecond);

// An HDI of nearly 1 GiB, the most an open reads (8 heads, 32 sectors of 512 bytes, 8191
// cylinders), holding an empty FAT16 volume, written sparse: only the header, the boot
// sector and the FATs take blocks.
std::filesystem::path sparseHDI1GiB(const ScratchDir& dir) {
    constexpr std::int64_t header = 4096;
    constexpr std::int64_t cylinders = 8191;
    constexpr std::int64_t sectors = cylinders * 8 * 32;
    constexpr std::int64_t sectorsPerFAT = 256;
    Bytes start(static_cast<std::size_t>(header + (1 + 2 * sectorsPerFAT) * 512), 0);
    writeU32LE(start, 8, header);
    writeU32LE(start, 12, static_cast<std::uint32_t>(sectors * 512));
    writeU32LE(start, 16, 512);
    writeU32LE(start, 20, 32);
    writeU32LE(start, 24, 8);
    writeU32LE(start, 28, cylinders);
    bench::formatEmptyFAT16(start, header, 64, sectorsPerFAT, sectors);
    const auto path = dir.path / "big.hdi";
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(start.data()),
               static_cast<std::streamsize>(start.size()));
    std::filesystem::resize_file(path, header + sectors * 512);
    return path;
}

std::int64_t peakRSSKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

// Forgets the peak so far (the open read the whole file), so that the next peak is the
// conversion's own.
void resetPeakRSS() {
    std::ofstream("/proc/self/clear_refs") << "5";
}

// The conversion of a big sparse disk: what it holds in memory beyond the open image and
// how long it takes. "peakKiB" is the peak resident size while converting, "addedKiB" what
// that peak is above the resident size before it.
void BM_Convert_HDI_to_NHD_1GiB_Sparse(benchmark::State& state) {
    ScratchDir dir;
    const auto source = sparseHDI1GiB(dir);
    DiskImageService service;
    const auto image = service.open(source);
    const auto target = dir.path / "target.nhd";
    std::int64_t peak = 0;
    std::int64_t added = 0;
    for (auto _ : state) {
        std::filesystem::remove(target);
        resetPeakRSS();
        const std::int64_t before = bench::statusKiB("VmRSS:");
        convertImage(*image, ConvertFormat::nhd, target, ExistingTarget::replace);
        peak = std::max(peak, peakRSSKiB());
        added = std::max(added, peakRSSKiB() - before);
    }
    state.counters["peakKiB"] = static_cast<double>(peak);
    state.counters["addedKiB"] = static_cast<double>(added);
}
BENCHMARK(BM_Convert_HDI_to_NHD_1GiB_Sparse)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_Save_BIN_40MB(benchmark::State& state) {
    ScratchDir dir;
    const auto path = newImageFile(dir, NewImageFormat::bin, DiskSize::mb40, "save");
    DiskImageService service;
    const auto image = service.open(path);
    image->writeCluster(2, Bytes(512, 0x42));
    for (auto _ : state) {
        image->saveToFile();
    }
}
BENCHMARK(BM_Save_BIN_40MB)->Unit(benchmark::kMillisecond);

} // namespace
