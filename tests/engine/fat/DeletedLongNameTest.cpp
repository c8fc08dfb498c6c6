// Catches a long name read back from deleted slots that no longer hold it whole, and an
// alias given back the wrong first byte.

#include "engine/fat/DeletedLongName.h"
#include "engine/fat/LFNParser.h"
#include "tests/support/VolumeBuilder.h"

#include <gtest/gtest.h>

#include <functional>

namespace tamberlane {
namespace {

using test::VolumeBuilder;

// The long-name slots and the entry of a file as deleting leaves them.
struct DeletedRun {
    std::vector<Bytes> slots;
    Bytes entry;

    std::optional<RecoveredLongName> recover() const {
        std::vector<ByteView> views(slots.begin(), slots.end());
        return DeletedLongName::recover(views, entry);
    }
};

DeletedRun deletedRun(const std::u16string& longName, const Bytes& alias11) {
    DeletedRun run{VolumeBuilder::longNameSlots(longName, alias11),
                   VolumeBuilder::shortEntry(alias11, 0x20, 2, 100)};
    for (Bytes& slot : run.slots) {
        slot[0] = 0xE5;
    }
    run.entry[0] = 0xE5;
    return run;
}

void setUnit(Bytes& slot, std::size_t index, std::uint16_t value) {
    static constexpr std::size_t offsets[13] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
    slot[offsets[index]] = static_cast<std::uint8_t>(value & 0xFF);
    slot[offsets[index] + 1] = static_cast<std::uint8_t>(value >> 8);
}

TEST(DeletedLongName, IntactSlotsGiveTheNameAndTheLostByte) {
    struct Case {
        std::u16string longName;
        Bytes alias;
        std::string name;
        std::uint8_t firstByte;
    };
    const std::vector<Case> cases = {
        {u"A very long file name.txt", test::name83("AVERYL~1.TXT"), "A very long file name.txt",
         'A'},
        // Exactly one full slot: no end mark.
        {u"Exactly13.txt", test::name83("EXACTL~1.TXT"), "Exactly13.txt", 'E'},
        {u"日本語の長い名前.txt", test::name83("日本語~1.TXT"), "日本語の長い名前.txt", 0x93},
        // An alias starting with a character whose first byte is 0xE5 stores 0x05.
        {u"蝠のファイル.txt", test::bytesOf("\x05\x95\x82\xCC~1  TXT"), "蝠のファイル.txt", 0x05},
    };
    for (const Case& c : cases) {
        const auto found = deletedRun(c.longName, c.alias).recover();
        ASSERT_TRUE(found) << c.name;
        EXPECT_EQ(found->name, c.name);
        EXPECT_EQ(found->firstByte, c.firstByte) << c.name;
    }
}

TEST(DeletedLongName, DamagedOrForeignSlotsGiveNothing) {
    const Bytes alias = test::name83("AVERYL~1.TXT");
    const std::uint8_t checksum = LFNParser::calculateChecksum(alias);
    struct Case {
        const char* what;
        std::function<void(DeletedRun&)> damage;
    };
    const std::vector<Case> cases = {
        {"one slot's checksum changed", [](DeletedRun& r) { r.slots[1][13] ^= 0x01; }},
        {"a slot still live", [](DeletedRun& r) { r.slots[0][0] = 0x42; }},
        {"an end mark in the nearer slot", [](DeletedRun& r) { setUnit(r.slots[1], 5, 0); }},
        {"no padding after the end", [](DeletedRun& r) { setUnit(r.slots[0], 12, u'x'); }},
        {"padding before the end", [](DeletedRun& r) { setUnit(r.slots[0], 3, 0xFFFF); }},
        {"a farthest slot holding only the end",
         [&](DeletedRun& r) {
             r.slots.insert(r.slots.begin(),
                            VolumeBuilder::longNameSlot(0xE5, checksum, std::u16string(1, u'\0')));
             r.slots.erase(r.slots.begin() + 1);
         }},
        {"an unpaired surrogate", [](DeletedRun& r) { setUnit(r.slots[1], 0, 0xD800); }},
        {"a character no name may hold", [](DeletedRun& r) { setUnit(r.slots[1], 1, u'*'); }},
        {"a checksum only a lower-case first byte gives",
         [](DeletedRun& r) {
             Bytes lower = r.entry;
             lower[0] = 'a';
             for (Bytes& slot : r.slots) {
                 slot[13] = LFNParser::calculateChecksum(ByteView(lower).first(11));
             }
         }},
        // A rename to an 8.3 name leaves the old long name's slots deleted in front of the
        // entry; deleted later, the entry meets a checksum that some first byte satisfies.
        {"the slots of a name whose alias cannot start with the byte they tell",
         [](DeletedRun& r) {
             Bytes other = r.entry;
             other[0] = 'X';
             for (Bytes& slot : r.slots) {
                 slot[13] = LFNParser::calculateChecksum(ByteView(other).first(11));
             }
         }},
        {"a name longer than 255 units",
         [](DeletedRun& r) {
             r = deletedRun(std::u16string(256, u'n'), test::name83("NNNNNN~1"));
         }},
    };
    // Two slots: 13 units, then 7, the end mark and padding.
    const std::u16string name = u"A very long name.txt";
    ASSERT_TRUE(deletedRun(name, alias).recover());
    for (const Case& c : cases) {
        DeletedRun run = deletedRun(name, alias);
        c.damage(run);
        EXPECT_FALSE(run.recover()) << c.what;
    }
}

} // namespace
} // namespace tamberlane
