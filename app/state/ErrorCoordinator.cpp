#include "app/state/ErrorCoordinator.h"

#include <algorithm>
#include <cstdio>
#include <random>

namespace tamberlane {

std::string newUUID() {
    thread_local std::mt19937_64 generator{std::random_device{}()};
    std::uint64_t high = generator();
    std::uint64_t low = generator();
    high = (high & ~std::uint64_t{0xF000}) | 0x4000;                        // version 4
    low = (low & ~(std::uint64_t{0xC} << 60)) | (std::uint64_t{0x8} << 60); // variant 1
    char text[37];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx",
                  static_cast<unsigned>(high >> 32), static_cast<unsigned>((high >> 16) & 0xFFFF),
                  static_cast<unsigned>(high & 0xFFFF), static_cast<unsigned>(low >> 48),
                  static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
    return text;
}

AppError AppError::make(AppErrorType type, std::string operationName, std::string message) {
    return AppError{newUUID(), type, std::move(operationName), std::move(message)};
}

void ErrorCoordinator::addToast(AppError error) {
    toastMessages.modify(
        [&error](std::vector<AppError>& list) { list.push_back(std::move(error)); });
}

void ErrorCoordinator::dismissToast(const std::string& id) {
    const auto& list = toastMessages.get();
    if (std::none_of(list.begin(), list.end(), [&id](const AppError& e) { return e.id == id; })) {
        return;
    }
    toastMessages.modify([&id](std::vector<AppError>& all) {
        std::erase_if(all, [&id](const AppError& e) { return e.id == id; });
    });
}

} // namespace tamberlane
