#include "engine/image/formats/D88Format.h"

#include "engine/base/DiskImageError.h"
#include "engine/base/ShiftJISConverter.h"
#include "engine/base/Translation.h"
#include "engine/image/formats/FormatSupport.h"

#include <algorithm>
#include <limits>

namespace tamberlane {

namespace {

constexpr std::int64_t headerSize = D88Header::size;
constexpr std::int64_t sectorHeaderSize = 16;
// R is one byte: a track cannot address more sectors than that.
constexpr std::int64_t maxSectorsPerTrack = 255;

std::int64_t bytesForSizeCode(std::uint8_t code) {
    switch (code) {
    case 0:
        return 128;
    case 1:
        return 256;
    case 2:
        return 512;
    case 3:
        return 1024;
    default:
        return 256;
    }
}

} // namespace

void D88ImageFormat::forEachSectorRecord(const ImageFileReader& disk, std::int64_t sectorsPerTrack,
                                         const SectorVisitor& visit) {
    const std::int64_t size = disk.size();
    // A disk cut inside its track table keeps the entries it holds whole.
    const std::int64_t described =
        size < 0x20 ? 0 : std::min<std::int64_t>(D88Header::trackCount, (size - 0x20) / 4);
    const Bytes table = described > 0 ? disk.read(0x20, 4 * described) : Bytes();
    std::vector<std::int64_t> trackStarts;
    for (std::int64_t t = 0; t < described; ++t) {
        trackStarts.push_back(readU32LE(table, static_cast<std::size_t>(4 * t)));
    }
    std::vector<std::int64_t> sortedStarts = trackStarts;
    std::sort(sortedStarts.begin(), sortedStarts.end());
    for (std::size_t t = 0; t < trackStarts.size(); ++t) {
        const std::int64_t trackOffset = trackStarts[t];
        if (trackOffset == 0 || trackOffset >= size) {
            continue;
        }
        // A track holding fewer records than the first track must not take the next
        // track's records as its own: they would land on (and on save, overwrite) its
        // first sectors.
        const auto next = std::upper_bound(sortedStarts.begin(), sortedStarts.end(), trackOffset);
        const std::int64_t trackEnd = next == sortedStarts.end() ? size : std::min(*next, size);
        std::int64_t pos = trackOffset;
        for (std::int64_t s = 0; s < sectorsPerTrack; ++s) {
            if (!rangeFits(pos, sectorHeaderSize, trackEnd)) {
                break;
            }
            const Bytes header = disk.read(pos, sectorHeaderSize);
            const std::int64_t record = header[2];
            const std::int64_t dataSize = readU16LE(header, 14);
            if (dataSize == 0 || !rangeFits(pos + sectorHeaderSize, dataSize, trackEnd)) {
                break;
            }
            visit(static_cast<std::int64_t>(t) * sectorsPerTrack + record - 1,
                  pos + sectorHeaderSize, dataSize);
            pos += sectorHeaderSize + dataSize;
        }
    }
}

std::string D88ImageFormat::decodeNullTerminatedShiftJIS(ByteView bytes) {
    const auto end = std::find(bytes.begin(), bytes.end(), std::uint8_t{0});
    return ShiftJISConverter::toUnicode(bytes.first(static_cast<std::size_t>(end - bytes.begin())));
}

D88Header D88ImageFormat::parseHeader(const ImageFileReader& file) {
    const Bytes data = file.named("D88").read(0, headerSize);
    D88Header header;
    header.diskName = decodeNullTerminatedShiftJIS(ByteView(data).first(16));
    header.writeProtect = data[0x1A] != 0;
    const std::uint8_t type = data[0x1B];
    if (type != 0x00 && type != 0x10 && type != 0x20) {
        throw DiskImageError::headerParseFailure(
            translate("不明なD88ディスクタイプです: %1$s", {hexByte(type)}));
    }
    header.diskType = static_cast<D88DiskType>(type);
    header.diskSize = readU32LE(data, 0x1C);
    for (int t = 0; t < D88Header::trackCount; ++t) {
        header.trackOffsets[static_cast<std::size_t>(t)] =
            readU32LE(data, static_cast<std::size_t>(0x20 + 4 * t));
    }
    return header;
}

std::vector<D88Disk> D88ImageFormat::detectMultipleDisks(const ImageFileReader& file) {
    std::vector<D88Disk> disks;
    std::int64_t start = 0;
    while (file.holds(start, headerSize)) {
        D88Header header;
        try {
            header = parseHeader(file.part(start, file.size() - start));
        } catch (const DiskImageError&) {
            break;
        }
        // A size below the header's own would list the same bytes again and again.
        if (header.diskSize < headerSize || !file.holds(start, header.diskSize)) {
            break;
        }
        disks.push_back({start, header});
        start += header.diskSize;
    }
    return disks;
}

ImageFileReader D88ImageFormat::diskOf(const ImageFileReader& file) {
    return file.part(0, diskExtent(file));
}

std::int64_t D88ImageFormat::diskExtent(const ImageFileReader& file) {
    const std::int64_t size = file.size();
    if (size < headerSize) {
        return size;
    }
    const std::int64_t stated = readU32LE(file.read(0x1C, 4), 0);
    return stated >= headerSize && stated <= size ? stated : size;
}

D88SectorHeader D88ImageFormat::parseSectorHeader(const ImageFileReader& disk,
                                                  std::int64_t offset) {
    if (!disk.holds(offset, sectorHeaderSize)) {
        throw DiskImageError::headerParseFailure(translate("セクタヘッダのデータが不足しています"));
    }
    const Bytes bytes = disk.read(offset, sectorHeaderSize);
    D88SectorHeader h;
    h.cylinder = bytes[0];
    h.head = bytes[1];
    h.record = bytes[2];
    h.sizeCode = bytes[3];
    h.sectorCount = readU16LE(bytes, 4);
    h.density = bytes[6];
    h.deletedMark = bytes[7];
    h.status = bytes[8];
    h.dataSize = readU16LE(bytes, 14);
    return h;
}

D88TrackLayout D88ImageFormat::analyzeFirstTrack(const ImageFileReader& disk,
                                                 const std::array<std::uint32_t, 164>& offsets) {
    const auto first = std::find_if(offsets.begin(), offsets.end(), [](auto o) { return o != 0; });
    if (first == offsets.end()) {
        throw DiskImageError::headerParseFailure(translate("有効なトラックオフセットがありません"));
    }
    const std::int64_t offset = *first;
    if (!disk.holds(offset, sectorHeaderSize)) {
        throw DiskImageError::headerParseFailure(translate("トラックデータが不足しています"));
    }
    const D88SectorHeader sector = parseSectorHeader(disk, offset);
    if (sector.sectorCount == 0) {
        throw DiskImageError::headerParseFailure(translate("セクタ数が0です"));
    }
    if (sector.sectorCount > maxSectorsPerTrack) {
        throw DiskImageError::headerParseFailure(
            translate("セクタ数が不正です: %1$s", {sector.sectorCount}));
    }
    return {sector.sectorCount, bytesForSizeCode(sector.sizeCode)};
}

std::int64_t D88ImageFormat::cylindersFor(D88DiskType type) {
    switch (type) {
    case D88DiskType::d2D:
        return 40;
    case D88DiskType::d2DD:
        return 80;
    case D88DiskType::d2HD:
        return 77;
    }
    return 40;
}

DiskGeometry D88ImageFormat::parseGeometry(const ImageFileReader& file) const {
    constexpr std::int64_t heads = 2;
    // The type byte alone undercounts: new 1.44 MB disks say 2HD (77 cylinders) yet hold
    // 80, and real files carry a wrong type. The track table is the better witness.
    std::int64_t lastTrack = -1;
    for (std::int64_t t = 0; t < D88Header::trackCount; ++t) {
        if (header.trackOffsets[static_cast<std::size_t>(t)] != 0) {
            lastTrack = t;
        }
    }
    const std::int64_t cylinders =
        std::max(cylindersFor(header.diskType), (lastTrack + 1 + heads - 1) / heads);
    const D88TrackLayout layout = analyzeFirstTrack(diskOf(file), header.trackOffsets);
    return {heads, cylinders, layout.sectorsPerTrack, layout.bytesPerSector};
}

std::int64_t D88ImageFormat::dataOffset(const ImageFileReader&) const {
    for (std::uint32_t offset : header.trackOffsets) {
        if (offset != 0) {
            return offset;
        }
    }
    return headerSize;
}

Bytes D88ImageFormat::extractFlatData(const ImageFileReader& file, const D88Header&,
                                      const DiskGeometry& geometry) {
    const std::int64_t total = geometry.heads * geometry.cylinders * geometry.sectorsPerTrack;
    const std::int64_t sectorSize = geometry.bytesPerSector;
    if (geometry.heads <= 0 || geometry.cylinders <= 0 || geometry.sectorsPerTrack <= 0 ||
        sectorSize <= 0 || geometry.totalBytes() > std::numeric_limits<std::uint32_t>::max()) {
        return {};
    }
    Bytes flat(static_cast<std::size_t>(total * sectorSize), 0);
    const ImageFileReader disk = diskOf(file);
    forEachSectorRecord(disk, geometry.sectorsPerTrack,
                        [&](std::int64_t index, std::int64_t pos, std::int64_t size) {
                            if (index < 0 || index >= total) {
                                return;
                            }
                            const Bytes data = disk.read(pos, std::min(size, sectorSize));
                            std::copy(data.begin(), data.end(), flat.begin() + index * sectorSize);
                        });
    return flat;
}

std::optional<std::vector<bool>> D88ImageFormat::storedSectors(const ImageFileReader& file,
                                                               const DiskGeometry& geometry) const {
    const std::int64_t total = geometry.heads * geometry.cylinders * geometry.sectorsPerTrack;
    if (geometry.sectorsPerTrack <= 0 || total <= 0 ||
        geometry.totalBytes() > std::numeric_limits<std::uint32_t>::max()) {
        return std::vector<bool>{};
    }
    // The last record to claim a sector is the one it is read from and saved to; a record
    // shorter than a sector cannot take a whole one back.
    std::vector<bool> stored(static_cast<std::size_t>(total), false);
    struct Record {
        std::int64_t pos;
        std::int64_t end;
        std::int64_t index;
    };
    std::vector<Record> records;
    forEachSectorRecord(diskOf(file), geometry.sectorsPerTrack,
                        [&](std::int64_t index, std::int64_t pos, std::int64_t size) {
                            if (index >= 0 && index < total) {
                                stored[static_cast<std::size_t>(index)] =
                                    size >= geometry.bytesPerSector;
                                records.push_back({pos, pos + size, index});
                            }
                        });
    // Two tracks whose table entries point at the same bytes give those bytes to two
    // sectors of the volume; a save keeps only the last one written, so neither is kept.
    std::sort(records.begin(), records.end(),
              [](const Record& a, const Record& b) { return a.pos < b.pos; });
    const Record* reach = nullptr;
    for (const Record& r : records) {
        if (reach != nullptr && r.pos < reach->end && r.index != reach->index) {
            stored[static_cast<std::size_t>(r.index)] = false;
            stored[static_cast<std::size_t>(reach->index)] = false;
        }
        if (reach == nullptr || r.end > reach->end) {
            reach = &r;
        }
    }
    return stored;
}

DiskImageFormat::SectorRecordFlaws
D88ImageFormat::sectorRecordFlaws(const ImageFileReader& file, const DiskGeometry& geometry) const {
    const std::int64_t total = geometry.heads * geometry.cylinders * geometry.sectorsPerTrack;
    SectorRecordFlaws flaws;
    if (geometry.sectorsPerTrack <= 0 || total <= 0 ||
        geometry.totalBytes() > std::numeric_limits<std::uint32_t>::max()) {
        return flaws;
    }
    struct Record {
        std::int64_t pos;
        std::int64_t end;
        std::int64_t index;
    };
    std::vector<Record> records;
    std::vector<std::uint8_t> claims(static_cast<std::size_t>(total), 0);
    const ImageFileReader disk = diskOf(file);
    forEachSectorRecord(disk, geometry.sectorsPerTrack,
                        [&](std::int64_t index, std::int64_t pos, std::int64_t size) {
                            if (index < 0 || index >= total) {
                                return;
                            }
                            auto& count = claims[static_cast<std::size_t>(index)];
                            count = static_cast<std::uint8_t>(std::min(count + 1, 2));
                            records.push_back({pos, pos + size, index});
                            // 0xA0 and up: an ID or data CRC error, a missing address or
                            // data mark. 0x10 (deleted data) reads whole.
                            const std::uint8_t status = disk.read(pos - sectorHeaderSize + 8, 1)[0];
                            if (status >= 0xA0) {
                                flaws.recordedBad.push_back(index);
                            }
                        });
    std::sort(records.begin(), records.end(),
              [](const Record& a, const Record& b) { return a.pos < b.pos; });
    const Record* reach = nullptr;
    for (const Record& r : records) {
        if (reach != nullptr && r.pos < reach->end && r.index != reach->index) {
            claims[static_cast<std::size_t>(r.index)] = 2;
            claims[static_cast<std::size_t>(reach->index)] = 2;
        }
        if (reach == nullptr || r.end > reach->end) {
            reach = &r;
        }
    }
    for (std::int64_t i = 0; i < total; ++i) {
        if (claims[static_cast<std::size_t>(i)] > 1) {
            flaws.heldTwice.push_back(i);
        }
    }
    std::sort(flaws.recordedBad.begin(), flaws.recordedBad.end());
    flaws.recordedBad.erase(std::unique(flaws.recordedBad.begin(), flaws.recordedBad.end()),
                            flaws.recordedBad.end());
    return flaws;
}

Bytes D88ImageFormat::generateD88Header(const DiskGeometry& g, D88WriteVariant variant) {
    const std::int64_t tracks = g.heads * g.cylinders;
    const std::int64_t recordSize = g.bytesPerSector + sectorHeaderSize;
    const std::int64_t diskSize = headerSize + tracks * g.sectorsPerTrack * recordSize;
    // C, H and R are single bytes and N names only 128 to 1024 bytes; beyond them the
    // file would read back as a different disk.
    if (g.heads <= 0 || g.heads > 255 || g.cylinders <= 0 || g.cylinders > 256 ||
        g.sectorsPerTrack <= 0 || g.sectorsPerTrack > maxSectorsPerTrack ||
        bytesForSizeCode(formats::sectorSizeCode(g.bytesPerSector)) != g.bytesPerSector ||
        diskSize > std::numeric_limits<std::uint32_t>::max()) {
        throw DiskImageError::headerParseFailure(
            translate("D88形式で書き込めないジオメトリです（ヘッド: %1$s、シリンダ: %2$s、"
                      "セクタ/トラック: %3$s、バイト/セクタ: %4$s）",
                      {g.heads, g.cylinders, g.sectorsPerTrack, g.bytesPerSector}));
    }
    Bytes header(static_cast<std::size_t>(headerSize), 0);
    const bool is2DD = variant == D88WriteVariant::newImage
                           ? g.bytesPerSector == 512 && g.cylinders == 80 && g.sectorsPerTrack == 8
                           : g.sectorsPerTrack == 8 && g.bytesPerSector == 512;
    header[0x1B] = is2DD ? 0x10 : 0x20;
    writeU32LE(header, 0x1C, static_cast<std::uint32_t>(diskSize));
    const std::int64_t described = std::min<std::int64_t>(tracks, D88Header::trackCount);
    for (std::int64_t t = 0; t < described; ++t) {
        writeU32LE(header, static_cast<std::size_t>(0x20 + 4 * t),
                   static_cast<std::uint32_t>(headerSize + t * g.sectorsPerTrack * recordSize));
    }
    return header;
}

Bytes D88ImageFormat::buildD88Image(ByteView flatData, const DiskGeometry& g,
                                    D88WriteVariant variant) {
    Bytes out = generateD88Header(g, variant);
    const std::int64_t tracks = g.heads * g.cylinders;
    const std::int64_t sectorSize = g.bytesPerSector;
    const std::int64_t flatSize = static_cast<std::int64_t>(flatData.size());
    out.reserve(static_cast<std::size_t>(readU32LE(out, 0x1C)));
    Bytes record(static_cast<std::size_t>(sectorHeaderSize + sectorSize), 0);
    for (std::int64_t t = 0; t < tracks; ++t) {
        for (std::int64_t s = 1; s <= g.sectorsPerTrack; ++s) {
            std::fill(record.begin(), record.end(), 0);
            record[0] = static_cast<std::uint8_t>(t / g.heads);
            record[1] = static_cast<std::uint8_t>(t % g.heads);
            record[2] = static_cast<std::uint8_t>(s);
            record[3] = formats::sectorSizeCode(sectorSize);
            writeU16LE(record, 4, static_cast<std::uint16_t>(g.sectorsPerTrack));
            writeU16LE(record, 14, static_cast<std::uint16_t>(sectorSize));
            const std::int64_t src = (t * g.sectorsPerTrack + s - 1) * sectorSize;
            if (rangeFits(src, sectorSize, flatSize)) {
                std::copy_n(flatData.begin() + src, sectorSize, record.begin() + sectorHeaderSize);
            }
            out.insert(out.end(), record.begin(), record.end());
        }
    }
    return out;
}

PagedBytes D88ImageFormat::containerBytes(const PagedBytes& flat, const PagedBytes* original,
                                          const DiskGeometry& geometry,
                                          std::int64_t diskOffset) const {
    return original ? rebuildFile(flat, *original, geometry, diskOffset) : flat;
}

// Walks the tracks exactly as extraction does. Only the chosen disk's sector data
// changes: headers, IDs, the other disks of the file and its size stay as they were, and
// the result shares every page of `original` that no changed sector touches.
PagedBytes D88ImageFormat::rebuildFile(const PagedBytes& flat, const PagedBytes& original,
                                       const DiskGeometry& geometry, std::int64_t diskOffset) {
    PagedBytes result = original;
    const std::int64_t fileSize = static_cast<std::int64_t>(original.size());
    if (diskOffset < 0 || diskOffset >= fileSize || geometry.sectorsPerTrack <= 0 ||
        geometry.bytesPerSector <= 0) {
        return result;
    }
    // The record walk reads the record headers from the file's own pages.
    const ImageFileReader disk =
        diskOf(ImageFileReader(original).part(diskOffset, fileSize - diskOffset));
    const std::int64_t flatSize = static_cast<std::int64_t>(flat.size());
    struct Record {
        std::int64_t index, pos, size;
    };
    std::vector<Record> records;
    forEachSectorRecord(disk, geometry.sectorsPerTrack,
                        [&](std::int64_t index, std::int64_t pos, std::int64_t size) {
                            records.push_back({index, pos, size});
                        });
    // Several records can claim one flat sector (repeated or out-of-range R, as on
    // protected disks); extraction shows the last one. Writing the sector into every
    // claimant would overwrite the hidden records with it on each save, so each flat
    // byte goes back only to the record it was read from: walk backwards and skip the
    // bytes a later record already took.
    std::vector<std::int64_t> claimed(
        static_cast<std::size_t>((flatSize + geometry.bytesPerSector - 1) /
                                 geometry.bytesPerSector),
        0);
    for (auto it = records.rbegin(); it != records.rend(); ++it) {
        const std::int64_t src = it->index * geometry.bytesPerSector;
        const std::int64_t length = std::min(it->size, geometry.bytesPerSector);
        if (src < 0 || !rangeFits(src, length, flatSize)) {
            continue;
        }
        std::int64_t& taken = claimed[static_cast<std::size_t>(it->index)];
        if (length > taken) {
            result.write(static_cast<std::size_t>(diskOffset + it->pos + taken),
                         flat.slice(static_cast<std::size_t>(src + taken),
                                    static_cast<std::size_t>(length - taken)));
            taken = length;
        }
    }
    return result;
}

} // namespace tamberlane
