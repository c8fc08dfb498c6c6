// Boot parameters as the detection reads them: parse, validate, count the clusters.

#include "fuzz/FuzzSupport.h"

#include "engine/image/BIOSParameterBlock.h"

using namespace tamberlane;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    fuzz::refusingOnlyWithDiskImageError([&] {
        const BIOSParameterBlock bpb = parseBPB(ByteView(data, size));
        validateBPB(bpb);
        calculateTotalClusters(bpb);
        bpb.volumeBytes();
    });
    return 0;
}
