// Container headers whose fields overflow the arithmetic or point everywhere at once: each
// must end in a clear error (or a clean open), never a crash or a huge allocation. How
// long they take is the fuzzing targets' business.

#include "ContainerTestSupport.h"

#include "engine/fat/DiskImageService.h"
#include "engine/image/formats/FDIFormat.h"

#include <gtest/gtest.h>

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
        {"D88FirstTrackAtTheEnd", "a.d88",
         d88([](Bytes& b) { writeU32LE(b, 0x20, static_cast<std::uint32_t>(b.size() - 10)); }),
         Kind::headerParseFailure, "トラックデータが不足しています"},
        {"FDIGeometryBeyond32Bits", "a.fdi", fdiHeader(4096, 255, 256, 65535),
         Kind::headerParseFailure, "FDIのディスク容量が大きすぎます: 17523199180800バイト"},
        {"FDIWithoutHeaderIsHeaderless", "a.fdi", fdiHeader(300, 8, 2, 80), Kind::invalidFileSize,
         ""},
        {"NFDHeaderSizeBeyondFile", "a.nfd",
         nfd([](Bytes& b) { writeU32LE(b, 0x110, 0xFFFFFFFF); }), Kind::headerParseFailure,
         "NFDヘッダサイズが不正です: 4294967295"},
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
        {"NHDGeometryBeyond32Bits", "a.nhd", nhdHeader(255, 256, 65535, 512),
         Kind::headerParseFailure, "NHDのディスク容量が大きすぎます: 2190399897600バイト"},
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

TEST_P(ContainerHeader, EndsInItsOwnErrorOrOpensCleanly) {
    const ReaderCase& c = GetParam();
    // A hostile header is also opened as disk 1 of a multi-disk file.
    std::vector<std::optional<int>> disks{std::nullopt};
    if (!c.kind) {
        disks.push_back(0);
    }
    for (const std::optional<int> disk : disks) {
        try {
            DiskImageService::parseImage(c.fileName, PagedBytes(c.bytes), false, {.disk = disk});
            EXPECT_FALSE(c.kind) << "opened";
        } catch (const DiskImageError& e) {
            EXPECT_EQ(e.kind(), c.kind.value_or(e.kind())) << e.what();
            if (!c.text.empty()) {
                EXPECT_EQ(e.text(), c.text);
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(EveryReader, ContainerHeader, ::testing::ValuesIn(readerCases()),
                         [](const auto& info) { return info.param.name; });

// A file that ends inside its header says which header and how much of it was missing,
// whichever container's reader found it.
TEST(ContainerHeaderCutShort, NamesTheContainerAndTheBytesMissing) {
    const struct {
        const char* fileName;
        std::size_t size;
        const char* text;
    } cases[] = {
        {"a.d88", 100,
         "D88ヘッダに必要なデータが不足しています（必要: 688バイト、実際: 100バイト）"},
        {"a.hdi", 20, "HDIヘッダに必要なデータが不足しています（必要: 32バイト、実際: 20バイト）"},
        {"a.nhd", 295,
         "NHDヘッダに必要なデータが不足しています（必要: 296バイト、実際: 295バイト）"},
        {"a.nfd", 0x11F, "NFDヘッダに必要なデータが不足しています"},
        {"a.dim", 10, "DIMヘッダに必要なデータが不足しています（必要: 256バイト、実際: 10バイト）"},
        {"a.dcu", 0,
         "DCP/DCUヘッダに必要なデータが不足しています（必要: 163バイト、実際: 0バイト）"},
    };
    for (const auto& c : cases) {
        try {
            DiskImageService::parseImage(c.fileName, PagedBytes(Bytes(c.size, 0)), true);
            ADD_FAILURE() << c.fileName << " opened";
        } catch (const DiskImageError& e) {
            EXPECT_EQ(e.kind(), Kind::headerParseFailure) << c.fileName;
            EXPECT_EQ(e.text(), c.text) << c.fileName;
        }
    }
    // An FDI header is read only once the file has passed the header test; its own check
    // still names the container that asked.
    try {
        parseFDIStyleGeometry(ImageFileReader(Bytes(31, 0)), "FDI");
        ADD_FAILURE() << "read";
    } catch (const DiskImageError& e) {
        EXPECT_EQ(e.text(),
                  "FDIヘッダに必要なデータが不足しています（必要: 32バイト、実際: 31バイト）");
    }
}

} // namespace
} // namespace tamberlane::test
