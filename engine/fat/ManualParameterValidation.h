#pragma once

#include "engine/fat/ManualParameters.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace tamberlane {

// The free-text fields of the manual-parameters form, in the order the form shows them.
enum class ManualField { dataOffset, heads, cylinders, sectorsPerTrack };

// The form's fixed choices.
enum class ManualChoice { fatType, bytesPerSector, sectorsPerCluster };

struct ManualFieldTexts {
    std::string dataOffset;
    std::string heads;
    std::string cylinders;
    std::string sectorsPerTrack;
};

// Optional "+" or "-" and ASCII digits only, within 64 bits; anything else (spaces, hex,
// an empty text) has no value.
std::optional<std::int64_t> parseStrictInteger(std::string_view text);

// The field's value, or the message the form shows beside it.
std::variant<std::int64_t, std::string> validateManualField(ManualField field,
                                                            std::string_view text);

// The values a choice offers, in the order the form lists them; the FAT type as 12 and 16.
const std::vector<std::int64_t>& manualChoiceValues(ManualChoice choice);

// A choice typed as text (on the command line): its value, or the message for it.
std::variant<std::int64_t, std::string> validateManualChoice(ManualChoice choice,
                                                             std::string_view text);

// The whole form: the parameters, or the message of the first field (in form order) that
// is wrong. The three choices come from fixed lists and are taken as given.
std::variant<ManualParameters, std::string>
validateManualParameters(const ManualFieldTexts& texts, FATType fatType,
                         std::int64_t bytesPerSector, std::int64_t sectorsPerCluster);

} // namespace tamberlane
