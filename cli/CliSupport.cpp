#include "cli/CliSupport.h"

#include "engine/fat/EntryLookup.h"
#include "engine/fat/ManualParameterValidation.h"
#include "engine/image/DiskImageParser.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ostream>

namespace tamberlane::cli {

namespace {

const char* const manualPrefix = "--manual の指定が正しくありません: ";

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

struct CivilTime {
    int year;
    unsigned month, day;
    long hour, minute, second;
};

CivilTime toTokyo(Timestamp time) {
    // Japan has kept UTC+9 without daylight saving since 1951, which covers every FAT date.
    const auto local = time + std::chrono::hours(9);
    const auto days = std::chrono::floor<std::chrono::days>(local);
    const std::chrono::year_month_day ymd{days};
    const std::chrono::hh_mm_ss hms{local - days};
    return {static_cast<int>(ymd.year()),
            static_cast<unsigned>(ymd.month()),
            static_cast<unsigned>(ymd.day()),
            static_cast<long>(hms.hours().count()),
            static_cast<long>(hms.minutes().count()),
            static_cast<long>(hms.seconds().count())};
}

// The form's fixed choices (FAT type, sector and cluster sizes).
template <typename Fail>
void parseChoice(ManualParameters& params, const std::string& key, const std::string& valueText,
                 const Fail& fail) {
    const auto value = parseStrictInteger(valueText);
    if (!value && (key == "fat" || key == "bps" || key == "spc")) {
        fail("整数を入力してください");
    }
    const std::int64_t v = value.value_or(0);
    if (key == "fat") {
        if (v != 12 && v != 16) {
            fail("12 または 16 を指定してください");
        }
        params.fatType = v == 16 ? FATType::fat16 : FATType::fat12;
    } else if (key == "bps") {
        if (v != 128 && v != 256 && v != 512 && v != 1024) {
            fail("128, 256, 512, 1024 のいずれかを指定してください");
        }
        params.bytesPerSector = v;
    } else if (key == "spc") {
        if (v < 1 || v > 128 || (v & (v - 1)) != 0) {
            fail("1, 2, 4, 8, 16, 32, 64, 128 のいずれかを指定してください");
        }
        params.sectorsPerCluster = v;
    } else {
        throw UsageError(manualPrefix + ("不明なキーです: " + key));
    }
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
            throw UsageError(manualPrefix + ("KEY=VALUE の形式で指定してください: " + item));
        }
        const std::string key = item.substr(0, equals);
        const std::string valueText = item.substr(equals + 1);
        const auto fail = [&](const std::string& message) {
            throw UsageError(manualPrefix + key + ": " + message);
        };
        const auto field =
            std::find_if(std::begin(manualFieldKeys), std::end(manualFieldKeys),
                         [&](const ManualFieldKey& known) { return key == known.key; });
        if (field != std::end(manualFieldKeys)) {
            auto result = validateManualField(field->field, valueText);
            if (const auto* message = std::get_if<std::string>(&result)) {
                fail(*message);
            }
            params.*(field->member) = std::get<std::int64_t>(result);
        } else {
            parseChoice(params, key, valueText, fail);
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
                                     const GlobalOptions& global) {
    std::optional<ManualParameters> manual;
    if (!global.manual.empty()) {
        manual = parseManualParameters(global.manual);
    }
    auto image = service.open(file, manual, volumeChoice(global));
    if (global.force) {
        image->confirmChangesToSearchedVolume();
    }
    return image;
}

namespace {

// The entry of `entries` that the typed text names, by its stored name or, failing that,
// as a listing prints it (a control byte or NUL shown as "?").
const FileEntry* findTyped(const std::vector<FileEntry>& entries, const std::string& typed,
                           EntryLookup::Wanted wanted) {
    if (const FileEntry* stored = EntryLookup::findEntry(entries, typed, wanted)) {
        return stored;
    }
    std::vector<const FileEntry*> kept;
    std::vector<EntryLookup::EntryNames> printed;
    for (const FileEntry& entry : entries) {
        const DirectoryEntry& e = entry.directoryEntry;
        if (wanted == EntryLookup::Wanted::directory && !e.isDirectory()) {
            continue;
        }
        kept.push_back(&entry);
        printed.push_back({printableName(e.displayName()), printableName(e.shortName())});
    }
    const std::optional<std::size_t> found = EntryLookup::findNamed(printed, typed);
    return found ? kept[*found] : nullptr;
}

} // namespace

std::optional<FileEntry> findEntry(const DiskImageService& service, const std::string& pathText) {
    const DiskPath typed = DiskPath::fromString(pathText);
    if (typed.isRoot()) {
        return std::nullopt;
    }
    // A name that holds "/" spans several typed components, so that whatever the listing
    // shows can be typed back: the longest run of components that names an entry wins.
    DiskPath at = DiskPath::root();
    std::size_t next = 0;
    while (true) {
        const std::vector<FileEntry> entries = service.listDirectory(at);
        std::optional<FileEntry> step;
        std::string joined;
        std::vector<std::string> runs;
        for (std::size_t k = next; k < typed.components.size(); ++k) {
            joined += (k > next ? "/" : "") + typed.components[k];
            runs.push_back(joined);
        }
        for (std::size_t used = runs.size(); used > 0; --used) {
            // Only a directory can be walked through.
            const bool last = next + used == typed.components.size();
            const FileEntry* found =
                findTyped(entries, runs[used - 1],
                          last ? EntryLookup::Wanted::anyEntry : EntryLookup::Wanted::directory);
            if (found != nullptr) {
                step = *found;
                next += used;
                break;
            }
        }
        if (step && next == typed.components.size()) {
            return step;
        }
        if (!step) {
            break;
        }
        at = step->path;
    }
    // A missing directory on the way is reported as listing it would report it.
    service.listDirectory(typed.parent());
    throw CommandError("ファイルが見つかりません: " + typed.displayString());
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
    const CivilTime t = toTokyo(time);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d/%02u/%02u %02ld:%02ld", t.year, t.month, t.day,
                  t.hour, t.minute);
    return buffer;
}

std::string formatIsoDate(Timestamp time) {
    const CivilTime t = toTokyo(time);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02uT%02ld:%02ld:%02ld+09:00", t.year, t.month,
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

std::string upperExtension(const std::filesystem::path& file) {
    return DiskImageParser::upperExtensionOf(file);
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
        context.out << (result.discarded ? 0 : succeeded) << " 件を保存しました\n";
    } else if (failed && succeeded > 0) {
        context.err << "失敗した項目があるため、イメージには何も書き込みませんでした"
                       " (成功した分を保存するには --keep-going)\n";
    }
    return failed ? exitFailure : exitSuccess;
}

} // namespace tamberlane::cli
