#include "tests/support/TestFiles.h"

#include <chrono>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <thread>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace tamberlane::test {

TempDir::TempDir() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/tamberlane-test-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    // Tests make files read-only on purpose; give write permission back before removal.
    for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
        std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ec);
    }
    std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ec);
    std::filesystem::remove_all(path_, ec);
}

void writeFile(const std::filesystem::path& path, ByteView bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

Bytes readFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    if (!in) {
        throw std::runtime_error("cannot read " + path.string());
    }
    Bytes bytes(static_cast<std::size_t>(in.tellg()));
    in.seekg(0);
    in.read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

std::string shellQuote(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'') {
            out += "'\\''";
        } else {
            out += c;
        }
    }
    return out + "'";
}

CommandResult runCommand(const std::string& commandLine) {
    TempDir dir;
    const auto errPath = dir / "stderr";
    const std::string full = "(" + commandLine + ") 2>" + shellQuote(errPath.string());
    CommandResult result;
    FILE* pipe = popen(full.c_str(), "r");
    if (pipe == nullptr) {
        return result;
    }
    char buffer[4096];
    std::size_t n = 0;
    while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) {
        result.output.append(buffer, n);
    }
    const int status = pclose(pipe);
    result.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    std::ifstream err(errPath, std::ios::binary);
    result.errors.assign(std::istreambuf_iterator<char>(err), std::istreambuf_iterator<char>());
    return result;
}

bool toolAvailable(const std::string& name) {
    return runCommand("command -v " + shellQuote(name) + " >/dev/null").exitStatus == 0;
}

std::filesystem::path corpusDirectory() {
    const std::filesystem::path dir = TAMBERLANE_CORPUS_DIR;
    std::error_code ec;
    return std::filesystem::is_directory(dir, ec) ? dir : std::filesystem::path();
}

Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes patternBytes(std::size_t size, std::uint8_t seed) {
    Bytes out(size);
    std::uint32_t state = seed * 2654435761u + 1;
    // Raw pointer: iterators are slow in debug builds, and some tests fill 20 MB.
    std::uint8_t* p = out.data();
    for (std::size_t i = 0; i < size; ++i) {
        state = state * 1103515245u + 12345u;
        p[i] = static_cast<std::uint8_t>(state >> 16);
    }
    return out;
}

void writeInPlace(const std::filesystem::path& path, std::int64_t offset, ByteView bytes) {
    // File times come from the coarse clock: a write within the same tick as the one
    // before would leave them as they were.
    timespec start {};
    timespec now {};
    clock_gettime(CLOCK_REALTIME_COARSE, &start);
    do {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
        clock_gettime(CLOCK_REALTIME_COARSE, &now);
    } while (now.tv_sec == start.tv_sec && now.tv_nsec == start.tv_nsec);
    const int fd = ::open(path.c_str(), O_WRONLY | O_CLOEXEC);
    if (fd < 0) {
        throw std::runtime_error("cannot open " + path.string());
    }
    const ssize_t n = pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    close(fd);
    if (n != static_cast<ssize_t>(bytes.size())) {
        throw std::runtime_error("cannot write " + path.string());
    }
}

bool leasesWorkOn(const std::filesystem::path& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const bool works = fd >= 0 && fcntl(fd, F_SETLEASE, F_RDLCK) == 0;
    if (works) {
        fcntl(fd, F_SETLEASE, F_UNLCK);
    }
    if (fd >= 0) {
        close(fd);
    }
    return works;
}

} // namespace tamberlane::test
