// A check of a 1 GiB FAT16 volume holding 20,000 files in 1,000 directories, beside the
// time `fsck.fat -n` takes on the same file (counter fsck_ms, one run). The volume is made
// sparse: mkfs.fat -C, then directory slots and FAT entries written straight into it.

#include "bench/BenchSupport.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/VolumeCheck.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;

constexpr int topDirectories = 10;
constexpr int directories = 1000;
constexpr int filesPerDirectory = 20;

Bytes slot(const std::string& name11, std::uint8_t attributes, std::uint16_t start,
           std::uint32_t size) {
    Bytes s(32, 0);
    std::copy(name11.begin(), name11.end(), s.begin());
    s[11] = attributes;
    writeU16LE(s, 24, 0x5A21);
    writeU16LE(s, 26, start);
    writeU32LE(s, 28, size);
    return s;
}

std::string name11(const std::string& base, const std::string& extension) {
    std::string out = base;
    out.resize(8, ' ');
    std::string ext = extension;
    ext.resize(3, ' ');
    return out + ext;
}

struct FilledVolume {
    bench::ScratchDir dir;
    fs::path image = dir.path / "filled.img";

    FilledVolume() {
        const std::string command = "mkfs.fat -C -F 16 '" + image.string() + "' 1048576 >/dev/null";
        if (std::system(command.c_str()) != 0) {
            throw std::runtime_error("mkfs.fat failed");
        }
        std::fstream f(image, std::ios::in | std::ios::out | std::ios::binary);
        Bytes boot(512);
        f.read(reinterpret_cast<char*>(boot.data()), 512);
        const std::int64_t sector = readU16LE(boot, 11);
        const std::int64_t perCluster = boot[13];
        const std::int64_t reserved = readU16LE(boot, 14);
        const std::int64_t fats = boot[16];
        const std::int64_t rootEntries = readU16LE(boot, 17);
        const std::int64_t perFat = readU16LE(boot, 22);
        const std::int64_t rootStart = (reserved + fats * perFat) * sector;
        const std::int64_t dataStart = rootStart + rootEntries * 32;
        const std::int64_t clusterBytes = sector * perCluster;
        const auto clusterAt = [&](std::uint16_t c) { return dataStart + (c - 2) * clusterBytes; };

        std::vector<std::uint16_t> fat(static_cast<std::size_t>(perFat * sector / 2), 0);
        fat[0] = 0xFFF8;
        fat[1] = 0xFFFF;
        std::uint16_t next = 2;
        const auto allocate = [&] {
            fat[next] = 0xFFFF;
            return next++;
        };
        const auto writeAt = [&](std::int64_t offset, const Bytes& bytes) {
            f.seekp(offset);
            f.write(reinterpret_cast<const char*>(bytes.data()),
                    static_cast<std::streamsize>(bytes.size()));
        };
        // Each directory: ".", "..", its files, then (top level only) its subdirectories.
        const auto fillDirectory =
            [&](std::uint16_t self, std::uint16_t parent,
                const std::vector<std::pair<std::string, std::uint16_t>>& subs) {
                Bytes slots = slot(".          ", 0x10, self, 0);
                const Bytes dotdot = slot("..         ", 0x10, parent, 0);
                slots.insert(slots.end(), dotdot.begin(), dotdot.end());
                for (int i = 0; i < filesPerDirectory; ++i) {
                    const Bytes s =
                        slot(name11("FILE" + std::to_string(i), "DAT"), 0x20, allocate(), 1000);
                    slots.insert(slots.end(), s.begin(), s.end());
                }
                for (const auto& [name, cluster] : subs) {
                    const Bytes s = slot(name, 0x10, cluster, 0);
                    slots.insert(slots.end(), s.begin(), s.end());
                }
                writeAt(clusterAt(self), slots);
            };
        Bytes root;
        int made = 0;
        for (int t = 0; t < topDirectories; ++t) {
            const std::uint16_t top = allocate();
            ++made;
            const Bytes s = slot(name11("TOP" + std::to_string(t), ""), 0x10, top, 0);
            root.insert(root.end(), s.begin(), s.end());
            std::vector<std::pair<std::string, std::uint16_t>> subs;
            const int count = (directories - topDirectories) / topDirectories;
            for (int d = 0; d < count; ++d, ++made) {
                const std::uint16_t sub = allocate();
                fillDirectory(sub, top, {});
                subs.emplace_back(name11("SUB" + std::to_string(d), ""), sub);
            }
            fillDirectory(top, 0, subs);
        }
        writeAt(rootStart, root);
        Bytes table(fat.size() * 2);
        for (std::size_t i = 0; i < fat.size(); ++i) {
            writeU16LE(table, i * 2, fat[i]);
        }
        for (std::int64_t copy = 0; copy < fats; ++copy) {
            writeAt((reserved + copy * perFat) * sector, table);
        }
    }
};

FilledVolume& volume() {
    static FilledVolume v;
    return v;
}

void BM_Check_1GiB_20000Files(benchmark::State& state) {
    DiskImageService service;
    const auto image = service.open(volume().image);
    std::size_t problems = 0;
    for (auto _ : state) {
        const VolumeCheckResult result = checkVolume(*image);
        problems = result.problems.size();
        benchmark::DoNotOptimize(result);
    }
    const auto start = std::chrono::steady_clock::now();
    const std::string command = "fsck.fat -n '" + volume().image.string() + "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    const auto elapsed = std::chrono::steady_clock::now() - start;
    state.counters["problems"] = static_cast<double>(problems);
    state.counters["fsck_ms"] = std::chrono::duration<double, std::milli>(elapsed).count();
    state.counters["fsck_status"] = status;
}
BENCHMARK(BM_Check_1GiB_20000Files)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tamberlane
