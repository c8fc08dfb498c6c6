// A repair as the command line runs it: the first byte picks the file's extension, the
// second a disk of a D88 file and a partition of a hard disk; the rest is the file. Where
// the check finds a problem with a fix, the file is repaired with every fix, and the volume
// must then hold no problem a repair fixes, on disk as in memory.

#include "fuzz/FuzzSupport.h"

#include "engine/fat/DiskImageService.h"
#include "engine/fat/VolumeCheck.h"
#include "engine/operations/VolumeRepair.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <unistd.h>

using namespace tamberlane;

namespace {

bool hasFixable(const VolumeCheckResult& result) {
    return std::any_of(result.problems.begin(), result.problems.end(),
                       [](const VolumeProblem& p) { return p.fix != FixKind::none; });
}

// One file per process, on a memory file system where there is one: a repair saves.
const std::string& scratchFile(const std::string& extension) {
    static std::string directory = [] {
        const char* shm = "/dev/shm";
        std::string base = access(shm, W_OK) == 0 ? shm : "/tmp";
        return base + "/tamberlane-fuzz-" + std::to_string(getpid());
    }();
    static std::string path;
    path = directory + "." + extension;
    return path;
}

void repairAndCheckAgain(const fuzz::PickedImage& picked) {
    const std::string extension = picked.url.substr(picked.url.find('.') + 1);
    const std::string& path = scratchFile(extension);
    {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out.write(reinterpret_cast<const char*>(picked.file.data()),
                  static_cast<std::streamsize>(picked.file.size()));
    }
    DiskImageService service;
    fuzz::refusingOnlyWithDiskImageError([&] {
        const auto image = service.open(path, std::nullopt, picked.choice);
        const VolumeCheckResult check = checkVolume(*image);
        if (!hasFixable(check) || image->whyNotRepairable()) {
            return;
        }
        const VolumeRepairResult result =
            repairVolume(*image, withRequiredFixes(check, check.problems));
        if (hasFixable(result.after)) {
            std::fprintf(stderr, "a repair of %s left a problem it fixes:\n", picked.url.c_str());
            for (const VolumeProblem& p : result.after.problems) {
                std::fprintf(stderr, "  %s\n", describeProblem(p).c_str());
            }
            std::abort();
        }
        service.close();
        const auto reopened = service.open(path, std::nullopt, picked.choice);
        if (checkVolume(*reopened).problems.size() != result.after.problems.size()) {
            std::fprintf(stderr, "the repaired file checks otherwise than the repair said\n");
            std::abort();
        }
    });
    std::remove(path.c_str());
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const fuzz::PickedImage picked = fuzz::pickImage(input);

    // Only a volume with something to fix is written to a file: the rest is the check
    // target's.
    bool fixable = false;
    fuzz::refusingOnlyWithDiskImageError([&] {
        const auto image = fuzz::openPicked(picked);
        fixable = hasFixable(checkVolume(*image));
    });
    if (fixable) {
        repairAndCheckAgain(picked);
    }
    return 0;
}
