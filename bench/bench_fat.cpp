#include "engine/base/ShiftJISConverter.h"
#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/FATParser.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

using namespace tamberlane;

constexpr std::size_t floppyBytes = 1474560;
constexpr std::size_t rootOffset = 19 * 512; // 1 reserved sector, 2 FATs of 9 sectors
constexpr std::size_t dataOffset = 33 * 512;

void put16(Bytes& b, std::size_t at, std::uint16_t v) {
    b[at] = static_cast<std::uint8_t>(v & 0xFF);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}

void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    put16(b, at, static_cast<std::uint16_t>(v & 0xFFFF));
    put16(b, at + 2, static_cast<std::uint16_t>(v >> 16));
}

// A 1.44 MB FAT12 volume; `fat12` links are written into both FATs.
Bytes floppy() {
    Bytes v(floppyBytes, 0);
    v[0] = 0xEB;
    v[1] = 0x3C;
    v[2] = 0x90;
    put16(v, 11, 512);
    v[13] = 1;
    put16(v, 14, 1);
    v[16] = 2;
    put16(v, 17, 224);
    put16(v, 19, 2880);
    v[21] = 0xF0;
    put16(v, 22, 9);
    v[510] = 0x55;
    v[511] = 0xAA;
    return v;
}

void setFAT12(Bytes& v, std::uint16_t cluster, std::uint16_t value) {
    for (std::size_t copy = 0; copy < 2; ++copy) {
        const std::size_t o = 512 + copy * 9 * 512 + cluster * 3 / 2;
        if (cluster % 2 == 0) {
            v[o] = static_cast<std::uint8_t>(value & 0xFF);
            v[o + 1] = static_cast<std::uint8_t>((v[o + 1] & 0xF0) | (value >> 8));
        } else {
            v[o] = static_cast<std::uint8_t>((v[o] & 0x0F) | ((value & 0x0F) << 4));
            v[o + 1] = static_cast<std::uint8_t>(value >> 4);
        }
    }
}

// Short names like the ones found on Japanese disks: katakana, kanji and ASCII.
Bytes shortName(std::size_t i) {
    static const Bytes kana = {0x83, 0x65, 0x83, 0x58, 0x83, 0x67}; // テスト
    static const Bytes kanji = {0x8A, 0xBF, 0x8E, 0x9A};            // 漢字
    Bytes name;
    if (i % 3 == 0) {
        name = kana;
    } else if (i % 3 == 1) {
        name = kanji;
    }
    const std::string digits = std::to_string(i % 100);
    name.insert(name.end(), digits.begin(), digits.end());
    name.resize(8, 0x20);
    name.insert(name.end(), {'T', 'X', 'T'});
    return name;
}

void putEntry(Bytes& v, std::size_t at, const Bytes& name11, std::uint8_t attributes,
              std::uint16_t start, std::uint32_t size) {
    std::copy(name11.begin(), name11.end(), v.begin() + static_cast<std::ptrdiff_t>(at));
    v[at + 11] = attributes;
    put16(v, at + 22, 0x6000);
    put16(v, at + 24, 0x5A21);
    put16(v, at + 26, start);
    put32(v, at + 28, size);
}

std::filesystem::path writeTemporary(const Bytes& bytes) {
    char pattern[] = "/tmp/tamberlane-bench-XXXXXX.img";
    const int fd = mkstemps(pattern, 4);
    if (fd < 0) {
        std::abort();
    }
    close(fd);
    std::ofstream out(pattern, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    return pattern;
}

void BM_DecodeFAT16_65536(benchmark::State& state) {
    Bytes fat(65536 * 2);
    for (std::size_t i = 0; i < 65536; ++i) {
        put16(fat, i * 2, static_cast<std::uint16_t>((i + 1) & 0xFFFF));
    }
    for (auto _ : state) {
        benchmark::DoNotOptimize(FATParser::decodeFAT16(fat, 65536));
    }
}
BENCHMARK(BM_DecodeFAT16_65536);

void BM_SerializeFAT16_65536(benchmark::State& state) {
    std::vector<std::uint16_t> entries(65536);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        entries[i] = static_cast<std::uint16_t>((i + 1) & 0xFFFF);
    }
    const FATTable table(entries, FATType::fat16);
    for (auto _ : state) {
        benchmark::DoNotOptimize(table.serializeFAT16());
    }
}
BENCHMARK(BM_SerializeFAT16_65536);

void BM_ShiftJISDecode_10000ShortNames(benchmark::State& state) {
    std::vector<Bytes> names;
    for (std::size_t i = 0; i < 10000; ++i) {
        names.push_back(shortName(i));
    }
    for (auto _ : state) {
        for (const Bytes& name : names) {
            benchmark::DoNotOptimize(ShiftJISConverter::toUnicode(ByteView(name).first(8)));
            benchmark::DoNotOptimize(ShiftJISConverter::toUnicode(ByteView(name).subspan(8, 3)));
        }
    }
}
BENCHMARK(BM_ShiftJISDecode_10000ShortNames)->Unit(benchmark::kMillisecond);

void BM_ListDirectory_4000Entries(benchmark::State& state) {
    constexpr std::size_t count = 4000;
    constexpr std::uint16_t clusters = count * 32 / 512; // 250
    Bytes v = floppy();
    putEntry(v, rootOffset, Bytes{'B', 'I', 'G', ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' '}, 0x10, 2,
             0);
    for (std::uint16_t c = 2; c < 2 + clusters; ++c) {
        setFAT12(v, c, c + 1 < 2 + clusters ? c + 1 : 0xFFF);
    }
    for (std::size_t i = 0; i < count; ++i) {
        putEntry(v, dataOffset + i * 32, shortName(i), 0x20, 0, 0);
    }
    const auto path = writeTemporary(v);
    DiskImageService service;
    service.open(path);
    const DiskPath big = DiskPath::fromString("/BIG");
    for (auto _ : state) {
        benchmark::DoNotOptimize(service.listDirectory(big));
    }
    service.close();
    std::filesystem::remove(path);
}
BENCHMARK(BM_ListDirectory_4000Entries)->Unit(benchmark::kMillisecond);

void BM_OpenFloppyAndListRoot(benchmark::State& state) {
    Bytes v = floppy();
    for (std::size_t i = 0; i < 100; ++i) {
        putEntry(v, rootOffset + i * 32, shortName(i), 0x20, static_cast<std::uint16_t>(2 + i),
                 100);
        setFAT12(v, static_cast<std::uint16_t>(2 + i), 0xFFF);
    }
    const auto path = writeTemporary(v);
    for (auto _ : state) {
        DiskImageService service;
        service.open(path);
        benchmark::DoNotOptimize(service.listDirectory(DiskPath::root()));
    }
    std::filesystem::remove(path);
}
BENCHMARK(BM_OpenFloppyAndListRoot)->Unit(benchmark::kMillisecond);

} // namespace
