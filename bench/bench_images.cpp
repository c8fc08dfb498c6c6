// Opening the images people collect rather than the ones this program makes: a 100 MB
// partitioned hard disk (a PC/AT table, two FAT16 volumes past 32 MB each).

#include "engine/fat/DiskImageService.h"
#include "engine/image/NewImage.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace {

using namespace tamberlane;

using bench::ScratchDir;

constexpr std::int64_t sectorSize = 512;

// An empty FAT16 volume of `sectors` 512-byte sectors, 4 sectors a cluster, its size in
// the 32-bit count.
void formatFAT16(Bytes& disk, std::int64_t firstSector, std::int64_t sectors) {
    const std::int64_t clusters = sectors / 4;
    const auto sectorsPerFAT = static_cast<std::uint16_t>((clusters + 2) * 2 / sectorSize + 1);
    bench::formatEmptyFAT16(disk, static_cast<std::size_t>(firstSector * sectorSize), 4,
                            sectorsPerFAT, sectors);
}

void addEntry(Bytes& disk, int index, std::uint8_t type, std::int64_t first, std::int64_t count) {
    const auto at = static_cast<std::size_t>(446 + 16 * index);
    disk[at + 4] = type;
    writeU32LE(disk, at + 8, static_cast<std::uint32_t>(first));
    writeU32LE(disk, at + 12, static_cast<std::uint32_t>(count));
}

std::filesystem::path partitionedImage(const ScratchDir& dir) {
    const std::int64_t total = 100 * 1024 * 1024 / sectorSize;
    const std::int64_t first = 120000;
    const std::int64_t second = total - 63 - first;
    Bytes disk(static_cast<std::size_t>(total * sectorSize), 0);
    addEntry(disk, 0, 0x06, 63, first);
    addEntry(disk, 1, 0x06, 63 + first, second);
    disk[510] = 0x55;
    disk[511] = 0xAA;
    formatFAT16(disk, 63, first);
    formatFAT16(disk, 63 + first, second);
    const auto path = dir.path / "hard.img";
    writeImageFile(path, disk);
    return path;
}

void BM_OpenPartitioned100MB(benchmark::State& state) {
    ScratchDir dir;
    const auto path = partitionedImage(dir);
    const auto partition = static_cast<int>(state.range(0));
    for (auto _ : state) {
        DiskImageService service;
        service.open(path, std::nullopt, {.partition = partition});
        benchmark::DoNotOptimize(service.listDirectory(DiskPath::root()));
    }
}
BENCHMARK(BM_OpenPartitioned100MB)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

void BM_ListPartitions100MB(benchmark::State& state) {
    ScratchDir dir;
    const auto path = partitionedImage(dir);
    for (auto _ : state) {
        benchmark::DoNotOptimize(DiskImageService::partitionsOf(path));
    }
}
BENCHMARK(BM_ListPartitions100MB)->Unit(benchmark::kMillisecond);

} // namespace
