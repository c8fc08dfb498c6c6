#include "engine/operations/HostFileReader.h"

#include "engine/base/DiskImageError.h"
#include "engine/operations/BatchRunner.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <fstream>

namespace tamberlane {

namespace fs = std::filesystem;

namespace {

int lastErrno() {
    return errno != 0 ? errno : EIO;
}

} // namespace

PagedBytes readHostFile(const fs::path& from, std::uintmax_t length, std::uintmax_t limit,
                        const std::stop_token& stop) {
    errno = 0;
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        throw DiskImageError::ioErrorFromErrno(lastErrno());
    }
    PagedBytes contents = PagedBytes::filledBy(
        static_cast<std::size_t>(length), [&](std::span<std::uint8_t> out, std::size_t) {
            // A big file from a slow disk takes seconds: a stop must not wait for its end.
            constexpr std::size_t step = std::size_t{1} << 20;
            for (std::size_t done = 0; done < out.size(); done += step) {
                throwIfStopped(stop);
                const std::size_t length = std::min(step, out.size() - done);
                in.read(reinterpret_cast<char*>(out.data() + done),
                        static_cast<std::streamsize>(length));
                if (static_cast<std::size_t>(in.gcount()) != length) {
                    // Shorter than it was a moment ago: the file changed under us.
                    throw DiskImageError::ioErrorFromErrno(in.bad() ? lastErrno() : EIO);
                }
            }
        });
    if (in.peek() == std::ifstream::traits_type::eof()) {
        if (in.bad()) {
            throw DiskImageError::ioErrorFromErrno(lastErrno());
        }
        return contents;
    }
    Bytes all = contents.toBytes();
    std::array<char, 64 * 1024> buffer{};
    while (all.size() <= limit && in) {
        throwIfStopped(stop);
        in.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        all.insert(all.end(), buffer.begin(), buffer.begin() + in.gcount());
    }
    if (in.bad()) {
        throw DiskImageError::ioErrorFromErrno(lastErrno());
    }
    return PagedBytes(all);
}

} // namespace tamberlane
