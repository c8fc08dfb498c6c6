#include "engine/fat/NewEntryName.h"

#include "engine/base/DiskImageError.h"
#include "engine/fat/DirectoryEntryParser.h"
#include "engine/fat/DirectorySlot.h"
#include "engine/fat/EntryLookup.h"
#include "engine/fat/FileAttributes.h"

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

} // namespace tamberlane::NewEntryName
