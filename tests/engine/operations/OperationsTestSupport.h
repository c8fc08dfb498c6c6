#pragma once

#include "engine/fat/PathResolver.h"
#include "engine/operations/ContentEdit.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/EntryTransfer.h"
#include "engine/operations/FileImport.h"
#include "tests/support/FatTools.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace tamberlane::test {

// A 1.44 MB volume made by mkfs.fat and filled with mtools before it is opened, so the
// operations under test start from bytes the engine did not write.
class VolumeOperationsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        if (!fatToolsAvailable()) {
            GTEST_SKIP() << "mkfs.fat or mtools missing";
        }
        volume = std::make_unique<Volume>(dir, allVolumeKinds()[0]);
    }
    void open() { image = volume->open(); }
    std::filesystem::path host(const std::string& name, std::size_t size, std::uint8_t seed = 1) {
        const auto path = hostDir / name;
        writeFile(path, patternBytes(size, seed));
        return path;
    }
    // The display names of the root's entries, in on-disk order.
    std::vector<std::string> rootNames() const {
        std::vector<std::string> names;
        for (const FileEntry& listed : PathResolver(*image).list(DiskPath::root())) {
            names.push_back(listed.directoryEntry.displayName());
        }
        return names;
    }
    // Puts a file in with mcopy, before the image is opened.
    void put(const std::string& target, std::size_t size, std::uint8_t seed) {
        mtoolsPut(volume->path(), host("put", size, seed), target);
    }

    TempDir dir;
    TempDir hostDir;
    std::unique_ptr<Volume> volume;
    std::shared_ptr<DiskImage> image;
};

} // namespace tamberlane::test
