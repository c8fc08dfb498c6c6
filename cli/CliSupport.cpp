#include "cli/CliSupport.h"

#include "engine/fat/DirectoryReader.h"
#include "engine/image/DiskImageError.h"

#include <algorithm>
#include <cctype>
#include <chrono>
#include <cstdio>
#include <limits>
#include <map>
#include <ostream>

namespace tamberlane::cli {

namespace {

const char* const manualPrefix = "--manual の指定が正しくありません: ";
// The field messages of the manual-parameters form.
const char* const notAnInteger = "整数を入力してください";

// Optional sign and ASCII digits only, within 64 bits; anything else has no value.
std::optional<std::int64_t> parseStrictInteger(const std::string& text) {
    std::size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    if (i == text.size()) {
        return std::nullopt;
    }
    // Accumulate as a negative number so that the lowest value fits too.
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
        const auto value = parseStrictInteger(valueText);
        if (!value) {
            throw UsageError(manualPrefix + key + ": " + notAnInteger);
        }
        const auto check = [&](bool ok, const char* message) {
            if (!ok) {
                throw UsageError(manualPrefix + key + ": " + message);
            }
        };
        const std::int64_t v = *value;
        if (key == "fat") {
            check(v == 12 || v == 16, "12 または 16 を指定してください");
            params.fatType = v == 16 ? FATType::fat16 : FATType::fat12;
        } else if (key == "bps") {
            check(v == 128 || v == 256 || v == 512 || v == 1024,
                  "128, 256, 512, 1024 のいずれかを指定してください");
            params.bytesPerSector = v;
        } else if (key == "spc") {
            check(v >= 1 && v <= 128 && (v & (v - 1)) == 0,
                  "1, 2, 4, 8, 16, 32, 64, 128 のいずれかを指定してください");
            params.sectorsPerCluster = v;
        } else if (key == "offset") {
            check(v >= 0, "0以上の値を入力してください");
            params.dataOffset = v;
        } else if (key == "heads") {
            check(v >= 1 && v <= 256, "1〜256の範囲で入力してください");
            params.heads = v;
        } else if (key == "cylinders") {
            check(v >= 1 && v <= 65535, "1〜65535の範囲で入力してください");
            params.cylinders = v;
        } else if (key == "spt") {
            check(v >= 1 && v <= 255, "1〜255の範囲で入力してください");
            params.sectorsPerTrack = v;
        } else {
            throw UsageError(manualPrefix + ("不明なキーです: " + key));
        }
        if (comma == text.size()) {
            break;
        }
    }
    return params;
}

std::shared_ptr<DiskImage> openImage(DiskImageService& service, const std::string& file,
                                     const GlobalOptions& global) {
    std::optional<ManualParameters> manual;
    if (!global.manual.empty()) {
        manual = parseManualParameters(global.manual);
    }
    std::optional<int> diskIndex;
    if (global.disk > 0) {
        diskIndex = global.disk - 1;
    }
    return service.open(file, manual, diskIndex);
}

std::optional<FileEntry> findEntry(const DiskImageService& service, const std::string& pathText) {
    const DiskPath path = DiskPath::fromString(pathText);
    if (path.isRoot()) {
        return std::nullopt;
    }
    const std::string& wanted = path.components.back();
    for (const FileEntry& entry : service.listDirectory(path.parent())) {
        if (DirectoryReader::namesMatch(entry.directoryEntry.displayName(), wanted)) {
            return entry;
        }
    }
    throw CommandError("ファイルが見つかりません: " + path.displayString());
}

std::vector<FileEntry> readDirectoryAt(const DiskImage& image, const DiskPath& dirPath,
                                       std::optional<std::uint16_t> cluster) {
    std::vector<DirectoryEntry> entries;
    if (!cluster) {
        entries = DirectoryReader::readRootDirectory(image);
    } else {
        // The depth of a directory is its number of path components less one, as in
        // path resolution: a directory 65 levels down is past the limit.
        const int depth = static_cast<int>(
            std::min<std::size_t>(dirPath.components.size(), DirectoryReader::maxDepth + 1));
        entries = DirectoryReader::readSubDirectory(*cluster, image, std::max(depth - 1, 0));
    }
    std::vector<FileEntry> result;
    result.reserve(entries.size());
    for (DirectoryEntry& entry : entries) {
        FileEntry fileEntry;
        fileEntry.id = entry.id;
        fileEntry.path = dirPath.appending(entry.displayName());
        fileEntry.directoryEntry = std::move(entry);
        result.push_back(std::move(fileEntry));
    }
    return result;
}

void DirectoryWalkGuard::enter(std::uint16_t cluster) {
    if (!visited_.insert(cluster).second) {
        throw DiskImageError::circularReference(cluster);
    }
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
    std::string ext = file.extension().string();
    if (!ext.empty() && ext.front() == '.') {
        ext.erase(0, 1);
    }
    std::transform(ext.begin(), ext.end(), ext.begin(),
                   [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
    return ext;
}

std::string formatLabel(const std::string& upperExtension) {
    static const std::map<std::string, std::string> labels = {
        {"D88", "D88 (Neko Project 2)"},  {"FDI", "FDI (Anex86)"},
        {"HDI", "HDI (Anex86/T98-Next)"}, {"NFD", "NFD (T98-Next)"},
        {"BIN", "BIN (Raw Image)"},       {"IMG", "IMG (Raw Image)"},
    };
    const auto it = labels.find(upperExtension);
    return it == labels.end() ? upperExtension : it->second;
}

void reportFailedItems(const BatchResult& result, std::ostream& err) {
    for (const BatchItemResult& item : result.items) {
        if (!item.error) {
            continue;
        }
        const std::string message = item.error->errorDescription();
        if (message.find(item.name) == std::string::npos) {
            err << printableName(item.name) << ": ";
        }
        err << printableName(message) << '\n';
    }
}

} // namespace tamberlane::cli
