#pragma once

#include "engine/base/Bytes.h"
#include "engine/base/DiskGeometry.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/VolumeCheck.h"
#include "tests/support/VolumeBuilder.h"

#include <functional>
#include <ostream>
#include <string>
#include <vector>

// Volumes with one known fault each, for the check and the repair: a small tree every fault
// is cut into, in a raw volume, inside a D88 file or inside a PC-98 partition.
namespace tamberlane::test {

struct Base {
    VolumeBuilder v;
    std::vector<std::uint16_t> hello, big;
    VolumeBuilder::Dir docs;
    std::uint16_t freeCluster = 0; // far past every file

    explicit Base(VolumeParameters parameters);
    std::uint16_t endOfChain() const { return 0xFFF; } // every base volume is FAT12
};

// What the base holds, by path: what a file the damage did not touch reads back as.
std::vector<std::pair<std::string, Bytes>> baseFiles(const Base& base);

enum class Container { raw, d88, pc98 };

extern const DiskGeometry geometry640;

VolumeParameters parametersFor(Container container);

// The volume in its container: the file's name, its bytes and the volume to open in it.
struct ContainerFile {
    std::string name;
    Bytes bytes;
    VolumeChoice choice;
};
ContainerFile containerFile(Container container, const Bytes& volume);

void zeroFatCopy(const VolumeParameters& p, Bytes& volume, int copy);

struct FaultCase {
    std::string name;
    // Cuts the fault into the base and returns the volume's bytes.
    std::function<Bytes(Base&, const VolumeParameters&)> damage;
    ProblemKind kind;
    FixKind fix;
    std::string path; // the first path the problem names; empty: none
};

std::ostream& operator<<(std::ostream& out, const FaultCase& c);

const std::vector<FaultCase>& volumeFaults();
// A test name: the fault's, then the container's.
std::string faultCaseName(const FaultCase& fault, Container container);

} // namespace tamberlane::test
