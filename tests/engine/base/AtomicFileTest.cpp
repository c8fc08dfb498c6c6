// A revision of a file: the new file must hold the old bytes where nothing changed and the
// changes where they land, whatever runs, gaps and holes they fall on, and must not fill
// the old file's holes with written zeros.

#include "engine/base/AtomicFile.h"
#include "tests/support/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tamberlane::test {
namespace {

namespace fs = std::filesystem;

constexpr std::int64_t page = 16 * 1024;

std::int64_t allocated(const fs::path& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 ? static_cast<std::int64_t>(st.st_blocks) * 512 : -1;
}

// `size` bytes: holes, except data pages (filled with their page number + 1) at `dataPages`.
Bytes sparseFile(const fs::path& path, std::int64_t size, const std::vector<int>& dataPages) {
    Bytes expected(static_cast<std::size_t>(size), 0);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    EXPECT_GE(fd, 0);
    EXPECT_EQ(ftruncate(fd, size), 0);
    for (const int p : dataPages) {
        const Bytes bytes(static_cast<std::size_t>(page), static_cast<std::uint8_t>(p + 1));
        EXPECT_EQ(pwrite(fd, bytes.data(), bytes.size(), p * page), page);
        std::copy(bytes.begin(), bytes.end(), expected.begin() + p * page);
    }
    close(fd);
    return expected;
}

TEST(FileRevisionTest, UnchangedBytesComeFromTheOldFileAndChangesLandOnceWhereTheyBelong) {
    struct Case {
        const char* name;
        std::int64_t newSize;
        // Page and fill byte of each change, in order.
        std::vector<std::pair<int, std::uint8_t>> changes;
        // At most this much more is allocated than the old file had.
        std::int64_t growth;
    };
    // The old file: 12 pages, data at 1, 2, 3, 7 and 8, holes elsewhere.
    const std::vector<Case> cases = {
        {"a run across data and a hole",
         12 * page,
         {{2, 0xA0}, {3, 0xA1}, {4, 0xA2}, {5, 0xA3}},
         2 * page},
        {"zeros over a hole stay a hole", 12 * page, {{10, 0}, {11, 0}}, 0},
        {"zeros over data are written", 12 * page, {{7, 0}}, 0},
        {"a change in the middle of an extent", 12 * page, {{8, 0xB0}, {1, 0xB1}}, 0},
        {"past the old end", 14 * page, {{13, 0xC0}, {12, 0}}, page},
        {"a shorter file", 8 * page, {{0, 0xD0}}, page},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        const fs::path path = dir / "file.bin";
        Bytes expected = sparseFile(path, 12 * page, {1, 2, 3, 7, 8});
        const std::int64_t before = allocated(path);
        expected.resize(static_cast<std::size_t>(c.newSize), 0);
        std::vector<Bytes> held;
        FileRevision revision;
        revision.size = c.newSize;
        std::vector<std::pair<int, std::uint8_t>> sorted = c.changes;
        std::sort(sorted.begin(), sorted.end());
        for (const auto& [p, fill] : sorted) {
            held.emplace_back(static_cast<std::size_t>(page), fill);
            std::fill(expected.begin() + p * page, expected.begin() + (p + 1) * page, fill);
        }
        for (std::size_t i = 0; i < sorted.size(); ++i) {
            revision.changes.push_back({sorted[i].first * page, held[i]});
        }
        revision.base = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        ASSERT_GE(revision.base, 0);
        writeFileAtomically(path, revision, nullptr);
        close(revision.base);
        EXPECT_TRUE(readFile(path) == expected);
        // Two blocks of slack for the file system's own bookkeeping.
        EXPECT_LE(allocated(path) - before, c.growth + 8192);
    }
}

} // namespace
} // namespace tamberlane::test
