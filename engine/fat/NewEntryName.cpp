#include "engine/fat/NewEntryName.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/DirectoryTable.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/FileAttributes.h"
#include "engine/fat/LongName.h"

namespace tamberlane::NewEntryName {

std::pair<std::string, std::string> split(const std::string& fileName) {
    const std::size_t dot = fileName.rfind('.');
    // Full stops alone (".", "..") are a name, so that it can be refused as one.
    if (dot == std::string::npos || dot == 0 ||
        fileName.find_first_not_of('.') == std::string::npos) {
        return {fileName, ""};
    }
    return {fileName.substr(0, dot), fileName.substr(dot + 1)};
}

void refuseReserved(const std::string& name, const std::string& extension) {
    // Every directory already holds "." and ".."; made into "_" instead, the entry would
    // not be the name the user asked for.
    if (extension.empty() && (name == "." || name == "..")) {
        throw DiskImageError::reservedName(name);
    }
}

std::pair<Bytes, Bytes> shortNameKey(const std::string& name, const std::string& extension) {
    // An all-blank name field reads as no entry at all to most FAT drivers.
    return DirectoryEntryParser::convertTo83Name(name.empty() ? "_" : name, extension);
}

std::string listedShortName(ByteView name83, ByteView ext83) {
    Bytes slot(DirectorySlot::size, 0);
    DirectorySlot::setShortName(slot, name83, ext83);
    DirectorySlot::setAttributes(slot, FileAttributes::archive);
    return DirectoryEntryParser::parse(slot).entry.shortName();
}

std::string nameIfOther(const std::string& entryName, const std::string& name) {
    return EntryLookup::sameIgnoringCase(entryName, name) ? std::string() : entryName;
}

std::vector<std::string> Planned::names() const {
    return {longName.value_or(given), listedShortName(name83, ext83)};
}

std::string Planned::listedName() const {
    return longName.value_or(listedShortName(name83, ext83));
}

std::string Planned::clashName() const {
    if (withLongNames) {
        return given;
    }
    const auto [name, extension] = split(given);
    return name + "." + extension;
}

std::vector<Bytes> Planned::slots(Bytes shortSlot) const {
    DirectorySlot::setShortName(shortSlot, name83, ext83);
    std::vector<Bytes> out;
    if (longName) {
        out = LongName::slots(*longName, DirectorySlot(shortSlot).shortName());
    }
    out.push_back(std::move(shortSlot));
    return out;
}

Planned plan(const std::string& given, const DirectoryTable& table, bool longNames,
             std::optional<std::size_t> self) {
    const auto [name, extension] = split(given);
    refuseReserved(name, extension);
    Planned planned{given, std::nullopt, {}, {}, longNames};
    if (!longNames) {
        std::tie(planned.name83, planned.ext83) = shortNameKey(name, extension);
        return planned;
    }
    const std::string stored = LongName::stored(given);
    if (LongName::isOwnShortName(stored)) {
        const auto [storedName, storedExtension] = split(stored);
        std::tie(planned.name83, planned.ext83) = shortNameKey(storedName, storedExtension);
        return planned;
    }
    planned.longName = stored;
    std::tie(planned.name83, planned.ext83) =
        LongName::alias(stored, [&table, self](ByteView name8, ByteView extension3) {
            return table.holdsKey(name8, extension3, self);
        });
    return planned;
}

} // namespace tamberlane::NewEntryName
