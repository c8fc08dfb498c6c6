// A check as the command line runs it: the first byte picks the file's extension, the
// second a disk of a D88 file and a partition of a hard disk; the rest is the file. Every
// problem found is described with its fix.

#include "fuzz/FuzzSupport.h"

#include "engine/fat/VolumeCheck.h"

using namespace tamberlane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::FuzzInput input(data, size);
    const fuzz::PickedImage picked = fuzz::pickImage(input);

    fuzz::refusingOnlyWithDiskImageError([&] {
        const auto image = fuzz::openPicked(picked);
        const VolumeCheckResult result = checkVolume(*image);
        for (const VolumeProblem& problem : result.problems) {
            describeProblem(problem);
            describeFix(problem);
            problemCode(problem.kind);
            fixCode(problem.fix);
        }
    });
    return 0;
}
