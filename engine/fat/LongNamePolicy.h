#pragma once

#include <array>
#include <optional>
#include <string_view>
#include <utility>

namespace tamberlane {

// Whether new and renamed entries get long-name slots. `automatic` follows the volume: a
// disk whose target directory or root already holds a long name is one whose users see
// long names, while a DOS disk keeps the 8.3 names its programs expect.
enum class LongNamePolicy { automatic, always, never };

namespace LongNamePolicies {

// The names front ends take and store, in the order they offer them.
inline constexpr std::array<std::pair<LongNamePolicy, std::string_view>, 3> all = {{
    {LongNamePolicy::automatic, "auto"},
    {LongNamePolicy::always, "always"},
    {LongNamePolicy::never, "never"},
}};

inline std::optional<LongNamePolicy> named(std::string_view name) {
    for (const auto& [policy, text] : all) {
        if (text == name) {
            return policy;
        }
    }
    return std::nullopt;
}

inline std::string_view nameOf(LongNamePolicy policy) {
    for (const auto& [p, text] : all) {
        if (p == policy) {
            return text;
        }
    }
    return all.front().second;
}

} // namespace LongNamePolicies

} // namespace tamberlane
