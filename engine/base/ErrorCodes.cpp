#include "engine/base/ErrorCodes.h"

namespace tamberlane {

std::string_view kindCode(DiskImageError::Kind kind) {
    using Kind = DiskImageError::Kind;
    switch (kind) {
    case Kind::unsupportedFormat:
        return "unsupportedFormat";
    case Kind::invalidFileSize:
        return "invalidFileSize";
    case Kind::headerParseFailure:
        return "headerParseFailure";
    case Kind::invalidBPB:
        return "invalidBPB";
    case Kind::fatCorruption:
        return "fatCorruption";
    case Kind::clusterChainError:
        return "clusterChainError";
    case Kind::diskFull:
        return "diskFull";
    case Kind::lockConflict:
        return "lockConflict";
    case Kind::ioError:
        return "ioError";
    case Kind::encodingError:
        return "encodingError";
    case Kind::directoryDepthExceeded:
        return "directoryDepthExceeded";
    case Kind::writeProtected:
        return "writeProtected";
    case Kind::conversionMismatch:
        return "conversionMismatch";
    }
    return "unknown";
}

std::string_view reasonCode(DiskImageError::Reason reason) {
    using Reason = DiskImageError::Reason;
    switch (reason) {
    case Reason::none:
        return "none";
    case Reason::nameClash:
        return "nameClash";
    case Reason::directoryExists:
        return "directoryExists";
    case Reason::entryNotFound:
        return "entryNotFound";
    case Reason::directoryNotFound:
        return "directoryNotFound";
    case Reason::notRegularFile:
        return "notRegularFile";
    case Reason::rootDirectoryFull:
        return "rootDirectoryFull";
    case Reason::intoItself:
        return "intoItself";
    case Reason::staleEntry:
        return "staleEntry";
    case Reason::reservedName:
        return "reservedName";
    case Reason::unsafeVolume:
        return "unsafeVolume";
    case Reason::unconfirmedVolume:
        return "unconfirmedVolume";
    case Reason::imageFileChanged:
        return "imageFileChanged";
    case Reason::imageFileMoved:
        return "imageFileMoved";
    case Reason::imageFileOpenForWriting:
        return "imageFileOpenForWriting";
    case Reason::nameTakenInBatch:
        return "nameTakenInBatch";
    case Reason::ambiguousName:
        return "ambiguousName";
    case Reason::targetExists:
        return "targetExists";
    case Reason::sameFileAsSource:
        return "sameFileAsSource";
    case Reason::nameTooLong:
        return "nameTooLong";
    case Reason::bootParametersChanged:
        return "bootParametersChanged";
    }
    return "unknown";
}

} // namespace tamberlane
