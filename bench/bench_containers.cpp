// Container costs the user waits for: opening, creating, converting and saving.

#include "engine/fat/DiskImageService.h"
#include "engine/fat/NewImageFile.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

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
        writeImageFile(target, convertImage(*image, ConvertFormat::nhd), ExistingTarget::replace);
    }
}
BENCHMARK(BM_Convert_HDI_to_NHD_40MB)->Unit(benchmark::kMillisecond);

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
