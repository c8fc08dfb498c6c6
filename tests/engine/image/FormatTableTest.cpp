// The format table is the one home of every container: detection, new images and
// conversions all find their row in it.

#include "engine/image/formats/FormatTable.h"
#include "engine/image/NewImage.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iterator>
#include <set>
#include <string>

namespace tamberlane::test {
namespace {

// Two rows answering to one extension would make detection depend on the row order, and a
// written container whose extension its own row does not claim would reopen as another.
TEST(FormatTable, NamesAndExtensionsAreUniqueAndAWrittenImageReopensAsItsOwnRow) {
    std::set<std::string> names;
    std::set<std::string> extensions;
    for (const FormatRegistration& row : formatTable()) {
        EXPECT_TRUE(names.insert(row.name).second) << row.name;
        for (const std::string& extension : row.extensions) {
            EXPECT_TRUE(extensions.insert(extension).second) << extension;
        }
        if (row.writing) {
            EXPECT_EQ(&registrationOf(row.writing->key), &row) << row.name;
            EXPECT_EQ(formatForExtension(fileExtension(row.writing->key)), &row) << row.name;
        }
    }
}

// What the open does differently for a container is read from its row: the disk list,
// the partition table, the boot-sector search without a jump, placing partitions by a
// stated geometry. A row that lost a field would open its files wrongly.
TEST(FormatTable, EachContainerStatesWhatItCanHold) {
    struct Expected {
        ContainerFamily family;
        bool severalDisks;
        bool partitionTable;
        bool statesGeometry;
        bool bootSectorMayLackJump;
    };
    const Expected expected[] = {
        {ContainerFamily::headerless, false, true, false, false},
        {ContainerFamily::d88, true, false, true, false},
        {ContainerFamily::fdi, false, false, true, true},
        {ContainerFamily::hdi, false, true, true, false},
        {ContainerFamily::nfd, false, false, true, false},
        {ContainerFamily::nhd, false, true, true, false},
        {ContainerFamily::thd, false, true, true, false},
        {ContainerFamily::dim, false, false, true, false},
        {ContainerFamily::dcp, false, false, true, false},
    };
    ASSERT_EQ(formatTable().size(), std::size(expected));
    for (const Expected& e : expected) {
        const auto row =
            std::find_if(formatTable().begin(), formatTable().end(),
                         [&](const FormatRegistration& r) { return r.family == e.family; });
        ASSERT_NE(row, formatTable().end());
        const ContainerCapabilities& c = row->capabilities;
        EXPECT_EQ(c.holdsSeveralDisks, e.severalDisks) << row->name;
        EXPECT_EQ(c.mayHoldPartitionTable, e.partitionTable) << row->name;
        EXPECT_EQ(c.statesGeometry, e.statesGeometry) << row->name;
        EXPECT_EQ(c.bootSectorMayLackJump, e.bootSectorMayLackJump) << row->name;
        for (const std::string& extension : row->extensions) {
            EXPECT_EQ(&capabilitiesOfExtension(extension), &row->capabilities) << extension;
        }
    }
}

// A file named .fdi without an FDI header is read as headerless: its capabilities are the
// headerless row's, not those its extension names.
TEST(FormatTable, CapabilitiesFollowTheReaderThatReadTheFileNotItsExtension) {
    Bytes volume(1474560, 0);
    const auto format = formatForExtension("fdi")->read(ImageFileReader(volume), "fdi");
    EXPECT_EQ(format->family(), ContainerFamily::headerless);
    EXPECT_TRUE(capabilitiesOf(*format).mayHoldPartitionTable);
    EXPECT_FALSE(capabilitiesOf(*format).bootSectorMayLackJump);
    EXPECT_FALSE(capabilitiesOfExtension("xyz").holdsSeveralDisks);
}

} // namespace
} // namespace tamberlane::test
