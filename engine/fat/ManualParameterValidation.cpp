#include "engine/fat/ManualParameterValidation.h"

#include "engine/base/Translation.h"

#include <algorithm>
#include <array>
#include <limits>

namespace tamberlane {

namespace {

struct FieldRange {
    std::int64_t minimum;
    std::int64_t maximum;
    Text message;
};

constexpr std::int64_t noMaximum = std::numeric_limits<std::int64_t>::max();

constexpr Text notAnInteger = N_("整数を入力してください");

struct ChoiceList {
    std::vector<std::int64_t> values;
    Text message;
};

const ChoiceList& choiceList(ManualChoice choice) {
    // Sectors of 2048 and 4096 bytes are read from a boot sector, but no disk of these
    // machines needs them typed in.
    static const std::array<ChoiceList, 3> lists = {{
        {{12, 16}, N_("12 または 16 を指定してください")},
        {{128, 256, 512, 1024}, N_("128, 256, 512, 1024 のいずれかを指定してください")},
        {{1, 2, 4, 8, 16, 32, 64, 128},
         N_("1, 2, 4, 8, 16, 32, 64, 128 のいずれかを指定してください")},
    }};
    return lists[static_cast<std::size_t>(choice)];
}

FieldRange rangeOf(ManualField field) {
    static constexpr std::array<FieldRange, 4> ranges = {{
        {0, noMaximum, N_("0以上の値を入力してください")},
        {1, 256, N_("1〜256の範囲で入力してください")},
        {1, 65535, N_("1〜65535の範囲で入力してください")},
        {1, 255, N_("1〜255の範囲で入力してください")},
    }};
    return ranges[static_cast<std::size_t>(field)];
}

} // namespace

std::optional<std::int64_t> parseStrictInteger(std::string_view text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // Accumulated as a negative number so that the lowest value fits too.
    std::int64_t value = 0;
    for (; i < text.size(); ++i) {
        const char c = text[i];
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const int digit = c - '0';
        if (value < (std::numeric_limits<std::int64_t>::min() + digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 - digit;
    }
    if (!negative) {
        if (value == std::numeric_limits<std::int64_t>::min()) {
            return std::nullopt;
        }
        value = -value;
    }
    return value;
}

std::variant<std::int64_t, std::string> validateManualField(ManualField field,
                                                            std::string_view text) {
    const std::optional<std::int64_t> value = parseStrictInteger(text);
    if (!value) {
        return notAnInteger.str();
    }
    const FieldRange range = rangeOf(field);
    if (*value < range.minimum || *value > range.maximum) {
        return range.message.str();
    }
    return *value;
}

const std::vector<std::int64_t>& manualChoiceValues(ManualChoice choice) {
    return choiceList(choice).values;
}

std::variant<std::int64_t, std::string> validateManualChoice(ManualChoice choice,
                                                             std::string_view text) {
    const std::optional<std::int64_t> value = parseStrictInteger(text);
    if (!value) {
        return notAnInteger.str();
    }
    const ChoiceList& list = choiceList(choice);
    if (std::find(list.values.begin(), list.values.end(), *value) == list.values.end()) {
        return list.message.str();
    }
    return *value;
}

std::variant<ManualParameters, std::string>
validateManualParameters(const ManualFieldTexts& texts, FATType fatType,
                         std::int64_t bytesPerSector, std::int64_t sectorsPerCluster) {
    ManualParameters params;
    params.fatType = fatType;
    params.bytesPerSector = bytesPerSector;
    params.sectorsPerCluster = sectorsPerCluster;
    struct FormField {
        ManualField field;
        const std::string& text;
        std::int64_t& value;
    };
    const FormField fields[] = {
        {ManualField::dataOffset, texts.dataOffset, params.dataOffset},
        {ManualField::heads, texts.heads, params.heads},
        {ManualField::cylinders, texts.cylinders, params.cylinders},
        {ManualField::sectorsPerTrack, texts.sectorsPerTrack, params.sectorsPerTrack},
    };
    for (const FormField& field : fields) {
        auto result = validateManualField(field.field, field.text);
        if (auto* message = std::get_if<std::string>(&result)) {
            return std::move(*message);
        }
        field.value = std::get<std::int64_t>(result);
    }
    return params;
}

} // namespace tamberlane
