// Container headers that are cut short, overflow or point everywhere at once: each must
// end quickly in a clear error (or a clean open), never a crash, a hang or a huge
// allocation. The refusals users see are checked byte for byte.

#include "ContainerTestSupport.h"

#include "engine/fat/DiskImageService.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstring>

namespace tamberlane::test {
namespace {

using Kind = DiskImageError::Kind;

Bytes fdiHeader(std::uint32_t bps, std::uint32_t spt, std::uint32_t heads, std::uint32_t cyl,
                std::size_t size = 4096 + 2048) {
    Bytes b(size, 0);
    writeU32LE(b, 8, 4096);
    writeU32LE(b, 16, bps);
    writeU32LE(b, 20, spt);
    writeU32LE(b, 24, heads);
    writeU32LE(b, 28, cyl);
    return b;
}

Bytes nhdHeader(std::uint32_t spt, std::uint32_t heads, std::uint32_t cyl, std::uint32_t bps) {
    Bytes b(296 + 1024, 0);
    std::memcpy(b.data(), "T98HDDIMAGE.R0", 14);
    writeU32LE(b, 0x110, 296);
    writeU32LE(b, 0x118, spt);
    writeU32LE(b, 0x11C, heads);
    writeU32LE(b, 0x120, cyl);
    writeU32LE(b, 0x124, bps);
    return b;
}

// A new 640 KB NFD with `edit` applied.
Bytes nfd(const std::function<void(Bytes&)>& edit) {
    Bytes b = createNewImage({NewImageFormat::nfd, DiskSize::kb640});
    edit(b);
    return b;
}

// A new 640 KB D88 with `edit` applied.
Bytes d88(const std::function<void(Bytes&)>& edit) {
    Bytes b = createNewImage({NewImageFormat::d88, DiskSize::kb640});
    edit(b);
    return b;
}

struct ReaderCase {
    std::string name;
    std::string fileName;
    Bytes bytes;
    std::optional<Kind> kind = std::nullopt; // none: the open may also succeed
    std::string text = "";                   // empty: any text of that kind
};

std::vector<ReaderCase> readerCases() {
    std::vector<ReaderCase> cases = {
        {"D88Short", "a.d88", Bytes(100, 0), Kind::headerParseFailure,
         "D88ヘッダに必要なデータが不足しています（必要: 688バイト、実際: 100バイト）"},
        {"D88UnknownType", "a.d88", d88([](Bytes& b) { b[0x1B] = 0x30; }), Kind::headerParseFailure,
         "不明なD88ディスクタイプです: 0x30"},
        {"D88FirstTrackAtTheEnd", "a.d88",
         d88([](Bytes& b) { writeU32LE(b, 0x20, static_cast<std::uint32_t>(b.size() - 10)); }),
         Kind::headerParseFailure, "トラックデータが不足しています"},
        {"D88SectorCountZero", "a.d88", d88([](Bytes& b) { writeU16LE(b, 688 + 4, 0); }),
         Kind::headerParseFailure, "セクタ数が0です"},
        {"D88SectorCountBeyondAByte", "a.d88", d88([](Bytes& b) { writeU16LE(b, 688 + 4, 300); }),
         Kind::headerParseFailure, "セクタ数が不正です: 300"},
        {"FDIGeometryBeyond32Bits", "a.fdi", fdiHeader(4096, 255, 256, 65535),
         Kind::headerParseFailure, "FDIのディスク容量が大きすぎます: 17523199180800バイト"},
        {"FDIWithoutHeaderIsHeaderless", "a.fdi", fdiHeader(300, 8, 2, 80), Kind::invalidFileSize,
         ""},
        {"HDIShort", "a.hdi", Bytes(20, 0), Kind::headerParseFailure,
         "HDIヘッダに必要なデータが不足しています（必要: 32バイト、実際: 20バイト）"},
        {"NFDShort", "a.nfd", Bytes(100, 0), Kind::headerParseFailure,
         "NFDヘッダに必要なデータが不足しています"},
        {"NFDBinarySignature", "a.nfd", nfd([](Bytes& b) { b[0] = 0x82; }),
         Kind::headerParseFailure, "NFDシグネチャが不正です: "},
        {"NFDHeaderSizeZero", "a.nfd", nfd([](Bytes& b) { writeU32LE(b, 0x110, 0); }),
         Kind::headerParseFailure, "NFDヘッダサイズが不正です: 0"},
        {"NFDHeaderSizeBeyondFile", "a.nfd",
         nfd([](Bytes& b) { writeU32LE(b, 0x110, 0xFFFFFFFF); }), Kind::headerParseFailure,
         "NFDヘッダサイズが不正です: 4294967295"},
        {"NFDNoSectors", "a.nfd", nfd([](Bytes& b) { b[0x120] = 0xFF; }), Kind::headerParseFailure,
         "NFDのセクタ数が0です"},
        {"NFDSizeCodeShiftingPast63Bits", "a.nfd", nfd([](Bytes& b) { b[0x123] = 60; }),
         Kind::headerParseFailure, "NFDのセクタサイズコードが不正です: 60"},
        {"NFDGeometryBeyond32Bits", "a.nfd", nfd([](Bytes& b) {
             b[0x115] = 1;
             for (std::size_t t = 0; t < 164; ++t) {
                 std::fill_n(b.begin() + 0x120 + t * 416, 26 * 16, 0x01);
             }
             b[0x123] = 24;
         }),
         Kind::headerParseFailure, "NFDのディスク容量が大きすぎます: 9156870275072バイト"},
        {"NHDShort", "a.nhd", Bytes(200, 0), Kind::headerParseFailure,
         "NHDヘッダに必要なデータが不足しています（必要: 296バイト、実際: 200バイト）"},
        {"NHDCylinders", "a.nhd", nhdHeader(0, 0, 70000, 0), Kind::headerParseFailure,
         "NHDヘッダのシリンダ数が不正です: 70000"},
        {"NHDGeometryBeyond32Bits", "a.nhd", nhdHeader(255, 256, 65535, 512),
         Kind::headerParseFailure, "NHDのディスク容量が大きすぎます: 2190399897600バイト"},
        {"THDNotWholeCylinders", "a.thd", Bytes(1000, 0), Kind::headerParseFailure,
         "THDファイルサイズが不正です: 1000バイト（33792バイト単位でなければなりません）"},
        {"DIMShort", "a.dim", Bytes(10, 0), Kind::headerParseFailure,
         "DIMヘッダに必要なデータが不足しています（必要: 256バイト、実際: 10バイト）"},
        {"DCPShort", "a.dcp", Bytes(162, 0), Kind::headerParseFailure,
         "DCP/DCUヘッダに必要なデータが不足しています（必要: 163バイト、実際: 162バイト）"},
        {"DCUMediaType", "a.DCU", Bytes(256, 0xAB), Kind::headerParseFailure,
         "DCP/DCUのメディアタイプが不正です: 0xAB"},
    };
    // Headers that point everywhere at once: nothing may be allocated from an unchecked
    // field.
    cases.push_back({"D88EveryTrackAtTheSameRecords", "h.d88", d88([](Bytes& b) {
                         for (int t = 0; t < 164; ++t) {
                             writeU32LE(b, 0x20 + 4 * t, 688);
                         }
                         writeU16LE(b, 688 + 4, 255);
                     })});
    cases.push_back({"D88OffsetsPastTheEnd", "h.d88", d88([](Bytes& b) {
                         for (int t = 1; t < 164; ++t) {
                             writeU32LE(b, 0x20 + 4 * t, 0xFFFFFFF0u);
                         }
                     })});
    cases.push_back({"D88HugeDataSizes", "h.d88", d88([](Bytes& b) {
                         for (std::size_t at = 688; at + 16 < b.size(); at += 528) {
                             writeU16LE(b, at + 14, 0xFFFF);
                         }
                     })});
    cases.push_back(
        {"D88DiskSizeMax", "h.d88", d88([](Bytes& b) { writeU32LE(b, 0x1C, 0xFFFFFFFF); })});
    cases.push_back({"NFDEveryEntryFull", "h.nfd", nfd([](Bytes& b) {
                         b[0x115] = 255;
                         std::fill(b.begin() + 0x120, b.begin() + 0x10BA0, 0x07);
                     })});
    cases.push_back({"NHDMaximalFields", "h.nhd", nhdHeader(255, 256, 65535, 4096)});
    cases.push_back({"NHDZeroFields", "h.nhd", nhdHeader(0, 0, 0, 0)});
    cases.push_back({"HDIZeroFields", "h.hdi", fdiHeader(0, 0, 0, 0)});
    cases.push_back({"NFDNoHeads", "h.nfd", nfd([](Bytes& b) { b[0x115] = 0; })});
    cases.push_back({"HDIHeaderSizePastTheFile", "h.hdi", [] {
                         Bytes b = fdiHeader(512, 17, 4, 153);
                         writeU32LE(b, 8, 0xFFFFFFFF);
                         return b;
                     }()});
    cases.push_back({"FDIHeaderSizeAtTheLastByte", "h.fdi", [] {
                         Bytes b = fdiHeader(512, 8, 2, 80);
                         writeU32LE(b, 8, static_cast<std::uint32_t>(b.size()));
                         return b;
                     }()});
    return cases;
}

void PrintTo(const ReaderCase& c, std::ostream* os) {
    *os << c.name;
}

class ContainerHeader : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ContainerHeader, EndsInItsOwnErrorQuickly) {
    const ReaderCase& c = GetParam();
    // A hostile header is also opened as disk 1 of a multi-disk file.
    std::vector<std::optional<int>> disks{std::nullopt};
    if (!c.kind) {
        disks.push_back(0);
    }
    for (const std::optional<int> disk : disks) {
        const auto started = std::chrono::steady_clock::now();
        try {
            DiskImageService::parseImage(c.fileName, PagedBytes(c.bytes), false, disk);
            EXPECT_FALSE(c.kind) << "opened";
        } catch (const DiskImageError& e) {
            EXPECT_EQ(e.kind(), c.kind.value_or(e.kind())) << e.what();
            if (!c.text.empty()) {
                EXPECT_EQ(e.text(), c.text);
            }
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
    }
}

INSTANTIATE_TEST_SUITE_P(EveryReader, ContainerHeader, ::testing::ValuesIn(readerCases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
} // namespace tamberlane::test
