// The format table is the one home of every container: detection, new images and
// conversions all find their row in it.

#include "engine/image/formats/FormatTable.h"
#include "engine/image/NewImage.h"

#include <gtest/gtest.h>

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

} // namespace
} // namespace tamberlane::test
