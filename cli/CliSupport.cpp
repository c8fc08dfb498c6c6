#include "cli/CliSupport.h"

#include "engine/base/JapanTime.h"
#include "engine/base/Translation.h"
#include "engine/fat/ManualParameterValidation.h"
#include "engine/fat/PathResolver.h"
#include "engine/image/DiskImageParser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>

namespace tamberlane::cli {

namespace {

// The form's free-text fields, by their --manual key.
struct ManualFieldKey {
    const char* key;
    ManualField field;
    std::int64_t ManualParameters::*member;
};
const ManualFieldKey manualFieldKeys[] = {
    {"offset", ManualField::dataOffset, &ManualParameters::dataOffset},
    {"heads", ManualField::heads, &ManualParameters::heads},
    {"cylinders", ManualField::cylinders, &ManualParameters::cylinders},
    {"spt", ManualField::sectorsPerTrack, &ManualParameters::sectorsPerTrack},
};

// The form's fixed choices (FAT type, sector and cluster sizes).
struct ManualChoiceKey {
    const char* key;
    ManualChoice choice;
};
const ManualChoiceKey manualChoiceKeys[] = {
    {"fat", ManualChoice::fatType},
    {"bps", ManualChoice::bytesPerSector},
    {"spc", ManualChoice::sectorsPerCluster},
};

void setChoice(ManualParameters& params, ManualChoice choice, std::int64_t value) {
    switch (choice) {
    case ManualChoice::fatType:
        params.fatType = value == 16 ? FATType::fat16 : FATType::fat12;
        return;
    case ManualChoice::bytesPerSector:
        params.bytesPerSector = value;
        return;
    case ManualChoice::sectorsPerCluster:
        params.sectorsPerCluster = value;
        return;
    }
}

template <typename Key, std::size_t count>
const Key* keyNamed(const Key (&keys)[count], const std::string& key) {
    const auto found = std::find_if(std::begin(keys), std::end(keys),
                                    [&](const Key& known) { return key == known.key; });
    return found == std::end(keys) ? nullptr : found;
}

} // namespace

ManualParameters parseManualParameters(const std::string& text) {
    ManualParameters params;
    std::size_t start = 0;
    while (start <= text.size()) {
        const std::size_t comma = std::min(text.find(',', start), text.size());
        const std::string item = text.substr(start, comma - start);
        start = comma + 1;
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos) {
            throw UsageError(translate(
                "--manual の指定が正しくありません: KEY=VALUE の形式で指定してください: %1$s",
                {item}));
        }
        const std::string key = item.substr(0, equals);
        const std::string valueText = item.substr(equals + 1);
        const auto valueOf = [&](const std::variant<std::int64_t, std::string>& result) {
            if (const auto* message = std::get_if<std::string>(&result)) {
                throw UsageError(
                    translate("--manual の指定が正しくありません: %1$s: %2$s", {key, *message}));
            }
            return std::get<std::int64_t>(result);
        };
        if (const ManualFieldKey* field = keyNamed(manualFieldKeys, key)) {
            params.*(field->member) = valueOf(validateManualField(field->field, valueText));
        } else if (const ManualChoiceKey* choice = keyNamed(manualChoiceKeys, key)) {
            setChoice(params, choice->choice,
                      valueOf(validateManualChoice(choice->choice, valueText)));
        } else {
            throw UsageError(
                translate("--manual の指定が正しくありません: 不明なキーです: %1$s", {key}));
        }
        if (comma == text.size()) {
            break;
        }
    }
    return params;
}

VolumeChoice volumeChoice(const GlobalOptions& global) {
    VolumeChoice choice;
    if (global.disk > 0) {
        choice.disk = global.disk - 1;
    }
    if (global.partition > 0) {
        choice.partition = global.partition - 1;
    }
    return choice;
}

std::shared_ptr<DiskImage> openImage(DiskImageService& service, const std::string& file,
                                     const GlobalOptions& global, ImageAccess access) {
    std::optional<ManualParameters> manual;
    if (!global.manual.empty()) {
        manual = parseManualParameters(global.manual);
    }
    auto image = service.open(file, manual, volumeChoice(global), access == ImageAccess::read);
    if (global.force) {
        image->confirmChangesToSearchedVolume();
    }
    return image;
}

std::optional<FileEntry> entryNamed(const DiskImage& image, const std::string& pathText) {
    const DiskPath typed = DiskPath::fromString(pathText);
    if (typed.isRoot()) {
        return std::nullopt;
    }
    // A missing directory on the way is reported as listing it would report it.
    if (std::optional<FileEntry> entry = PathResolver(image).entry(typed)) {
        return entry;
    }
    throw CommandError(translate("ファイルが見つかりません: %1$s", {typed.displayString()}));
}

std::string formatGroupedNumber(std::int64_t value) {
    const bool negative = value < 0;
    std::string digits = std::to_string(value);
    if (negative) {
        digits.erase(0, 1);
    }
    std::string out;
    for (std::size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) {
            out += ',';
        }
        out += digits[i];
    }
    return negative ? "-" + out : out;
}

std::string formatListDate(Timestamp time) {
    const JapanTime t = toJapanTime(time);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d/%02u/%02u %02d:%02d", t.year, t.month, t.day, t.hour,
                  t.minute);
    return buffer;
}

std::string formatIsoDate(Timestamp time) {
    const JapanTime t = toJapanTime(time);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02d:%02d:%02d+09:00", t.year, t.month,
                  t.day, t.hour, t.minute, t.second);
    return buffer;
}

std::string formatAttributes(std::uint8_t attributes) {
    static const std::pair<std::uint8_t, const char*> letters[] = {
        {0x01, "R"}, {0x02, "H"}, {0x04, "S"}, {0x20, "A"}};
    std::string out;
    for (const auto& [bit, letter] : letters) {
        if ((attributes & bit) != 0) {
            if (!out.empty()) {
                out += ' ';
            }
            out += letter;
        }
    }
    return out;
}

std::string printableName(const std::string& name) {
    std::string out = name;
    for (char& c : out) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte == 0x7F) {
            c = '?';
        }
    }
    return out;
}

std::string describeError(const DiskImageError& error) {
    const DiskImageError::Reason reason = error.reason();
    if (reason == DiskImageError::Reason::nameClash ||
        reason == DiskImageError::Reason::directoryExists ||
        reason == DiskImageError::Reason::reservedName ||
        reason == DiskImageError::Reason::nameTakenInBatch ||
        reason == DiskImageError::Reason::ambiguousName) {
        return error.text();
    }
    return error.errorDescription();
}

void reportFailedItems(const BatchResult& result, std::ostream& err) {
    for (const BatchItemResult& item : result.items) {
        if (!item.error) {
            continue;
        }
        const std::string message = describeError(*item.error);
        if (message.find(item.name) == std::string::npos) {
            err << printableName(item.name) << ": ";
        }
        err << printableName(message) << '\n';
    }
}

BatchMode commandBatchMode(bool keepGoing, bool failedBefore) {
    if (keepGoing) {
        return BatchMode::keepSucceeded;
    }
    return failedBefore ? BatchMode::tryOnly : BatchMode::allOrNothing;
}

int finishBatch(const BatchResult& result, bool keepGoing, bool failedBefore,
                CommandContext& context) {
    reportFailedItems(result, context.err);
    const auto succeeded = static_cast<std::size_t>(
        std::count_if(result.items.begin(), result.items.end(),
                      [](const BatchItemResult& item) { return item.succeeded(); }));
    const bool failed = failedBefore || succeeded < result.items.size();
    if (keepGoing) {
        const std::size_t saved = result.discarded ? 0 : succeeded;
        context.out << translatePlural("%1$s 件を保存しました", "%1$s 件を保存しました", saved,
                                       {saved})
                    << '\n';
    } else if (failed && succeeded > 0) {
        context.err << translate("失敗した項目があるため、イメージには何も書き込みませんでした"
                                 " (成功した分を保存するには --keep-going)")
                    << '\n';
    }
    return failed ? exitFailure : exitSuccess;
}

} // namespace tamberlane::cli
