#pragma once

#include "engine/base/DiskImageError.h"
#include "engine/base/Translation.h"
#include "engine/operations/BatchRunner.h"

#include <string>
#include <vector>

namespace tamberlane {

// `failure` with every failed name (%1$s) on the first line; below it one line per name with
// the engine's reason, so that the user learns why without trying again on the command line.
std::string failureReport(Text failure, const std::vector<BatchItemResult>& failed);

// The failed items of a batch, in request order.
std::vector<BatchItemResult> failedItems(const std::vector<BatchItemResult>& items);

// A batch that failed as a whole (a folder that cannot be made, a save refused): every
// name failed for the same reason.
std::vector<BatchItemResult> allFailed(const std::vector<std::string>& names,
                                       const DiskImageError& error);

} // namespace tamberlane
