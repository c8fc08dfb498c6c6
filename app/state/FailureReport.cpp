#include "app/state/FailureReport.h"

#include "app/state/StateTexts.h"

namespace tamberlane {

namespace {

std::string joinNames(const std::vector<std::string>& names) {
    std::string out;
    for (const std::string& name : names) {
        out += (out.empty() ? "" : texts::nameSeparator) + name;
    }
    return out;
}

} // namespace

std::string failureReport(Text failure, const std::vector<BatchItemResult>& failed) {
    std::vector<std::string> names;
    std::string reasons;
    for (const BatchItemResult& item : failed) {
        names.push_back(item.name);
        if (item.error) {
            reasons += "\n" + item.name + texts::reasonSeparator + item.error->errorDescription();
        }
    }
    return failure(joinNames(names)) + reasons;
}

std::vector<BatchItemResult> failedItems(const std::vector<BatchItemResult>& items) {
    std::vector<BatchItemResult> failed;
    for (const BatchItemResult& item : items) {
        if (!item.succeeded()) {
            failed.push_back(item);
        }
    }
    return failed;
}

std::vector<BatchItemResult> allFailed(const std::vector<std::string>& names,
                                       const DiskImageError& error) {
    std::vector<BatchItemResult> failed;
    for (const std::string& name : names) {
        failed.push_back({name, error});
    }
    return failed;
}

} // namespace tamberlane
