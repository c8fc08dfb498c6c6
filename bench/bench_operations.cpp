// Volume changes on a new 10 MB HDI, next to the FAT tools doing the same work on the
// same volume held as a raw file. Every timing includes writing the image file.

#include "engine/fat/DirectoryReader.h"
#include "engine/fat/DiskImageService.h"
#include "engine/fat/NewImageFile.h"
#include "engine/operations/EntryDeletion.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"
#include "engine/operations/HostExport.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <fstream>
#include <unistd.h>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;

constexpr int smallFileCount = 500;
constexpr std::size_t smallFileSize = 4096;
constexpr std::size_t bigFileSize = 4 * 1024 * 1024;

struct Workspace {
    fs::path root;
    std::vector<fs::path> smallFiles;
    fs::path bigFile;

    Workspace() {
        root = fs::temp_directory_path() / ("tamberlane-bench-" + std::to_string(getpid()));
        fs::create_directories(root / "small");
        for (int i = 0; i < smallFileCount; ++i) {
            smallFiles.push_back(root / "small" / ("f" + std::to_string(i) + ".bin"));
            write(smallFiles.back(), Bytes(smallFileSize, static_cast<std::uint8_t>(i)));
        }
        bigFile = root / "big.bin";
        write(bigFile, Bytes(bigFileSize, 0x5A));
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    static void write(const fs::path& path, const Bytes& bytes) {
        std::ofstream out(path, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

// A fresh 10 MB HDI opened through the image service.
struct OpenImage {
    DiskImageService service;
    std::shared_ptr<DiskImage> image;
    fs::path path;

    explicit OpenImage(const std::string& name) {
        path = workspace().root / (name + ".hdi");
        writeImageFile(path, createNewImage({NewImageFormat::hdi, DiskSize::mb10, FATType::fat12}),
                       ExistingTarget::replace);
        image = service.open(path);
    }
    // The volume alone, as the FAT tools take it.
    fs::path rawVolume(const std::string& name) const {
        const fs::path raw = workspace().root / (name + ".raw");
        Workspace::write(
            raw, image->data().slice(static_cast<std::size_t>(image->layout().dataOffset),
                                     image->data().size() -
                                         static_cast<std::size_t>(image->layout().dataOffset)));
        return raw;
    }
};

void runShell(const std::string& command) {
    if (std::system(("MTOOLS_SKIP_CHECK=1 " + command + " >/dev/null 2>&1").c_str()) != 0) {
        std::abort();
    }
}

std::string smallFileArguments() {
    std::string args;
    for (const fs::path& p : workspace().smallFiles) {
        args += " '" + p.string() + "'";
    }
    return args;
}

void BM_Import500SmallFilesAsOneBatch(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        OpenImage open("batch");
        FileImport import(open.image);
        state.ResumeTiming();
        const BatchResult result =
            import.importFiles(workspace().smallFiles, DiskPath::root(), false);
        state.PauseTiming();
        if (!result.allSucceeded()) {
            state.SkipWithError("import failed");
        }
        state.ResumeTiming();
    }
}

void BM_Mtools_Import500SmallFiles(benchmark::State& state) {
    const std::string args = smallFileArguments();
    for (auto _ : state) {
        state.PauseTiming();
        OpenImage open("mbatch");
        const fs::path raw = open.rawVolume("mbatch");
        state.ResumeTiming();
        runShell("mcopy -i '" + raw.string() + "'" + args + " ::/");
    }
}

void BM_ImportOne4MiBFile(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        OpenImage open("big");
        FileImport import(open.image);
        state.ResumeTiming();
        import.importFile(workspace().bigFile, DiskPath::root(), false);
    }
}

void BM_Mtools_ImportOne4MiBFile(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        OpenImage open("mbig");
        const fs::path raw = open.rawVolume("mbig");
        state.ResumeTiming();
        runShell("mcopy -i '" + raw.string() + "' '" + workspace().bigFile.string() + "' ::/");
    }
}

// A volume holding the 500 small files in ten directories of 50 under /DATA (a
// directory of one cluster holds 62 entries).
struct FilledImage : OpenImage {
    explicit FilledImage(const std::string& name) : OpenImage(name) {
        EntryRename folders(image);
        const DiskPath data = DiskPath::root().appending("DATA");
        folders.createDirectory("DATA", DiskPath::root());
        const auto& files = workspace().smallFiles;
        for (int d = 0; d < 10; ++d) {
            const std::string sub = "S" + std::to_string(d);
            folders.createDirectory(sub, data);
            const std::vector<fs::path> part(files.begin() + d * 50, files.begin() + (d + 1) * 50);
            if (!FileImport(image).importFiles(part, data.appending(sub), false).allSucceeded()) {
                std::abort();
            }
        }
    }
};

void BM_ExportAllFiles(benchmark::State& state) {
    FilledImage filled("export");
    const fs::path out = workspace().root / "export-out";
    fs::create_directories(out);
    for (auto _ : state) {
        const auto exportDirectory = [&](const DiskPath& path, auto& self) -> void {
            for (const FileEntry& entry : filled.service.listDirectory(path)) {
                if (entry.directoryEntry.isDirectory()) {
                    self(entry.path, self);
                } else {
                    exportFileTo(*filled.image, entry, out / entry.directoryEntry.displayName(),
                                 ExistingHostFile::overwrite);
                }
            }
        };
        exportDirectory(DiskPath::root(), exportDirectory);
    }
}

void BM_Mtools_ExportAllFiles(benchmark::State& state) {
    FilledImage filled("mexport");
    const fs::path raw = filled.rawVolume("mexport");
    const fs::path out = workspace().root / "mexport-out";
    for (auto _ : state) {
        state.PauseTiming();
        fs::remove_all(out);
        fs::create_directories(out);
        state.ResumeTiming();
        runShell("mcopy -s -n -i '" + raw.string() + "' '::/*' '" + out.string() + "'");
    }
}

void BM_DeleteTreeOf500Files(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        FilledImage filled("delete");
        EntryDeletion deletion(filled.image);
        FileEntry data;
        for (const FileEntry& entry : filled.service.listDirectory(DiskPath::root())) {
            if (entry.directoryEntry.isDirectory()) {
                data = entry;
            }
        }
        if (!data.directoryEntry.isDirectory()) {
            std::abort();
        }
        state.ResumeTiming();
        deletion.deleteEntry(data, true);
    }
}

void BM_Mtools_DeleteTreeOf500Files(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        FilledImage filled("mdelete");
        const fs::path raw = filled.rawVolume("mdelete");
        state.ResumeTiming();
        runShell("mdeltree -i '" + raw.string() + "' ::/DATA");
    }
}

BENCHMARK(BM_Import500SmallFilesAsOneBatch)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_Mtools_Import500SmallFiles)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);
BENCHMARK(BM_ImportOne4MiBFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Mtools_ImportOne4MiBFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_ExportAllFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Mtools_ExportAllFiles)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_DeleteTreeOf500Files)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(5);
BENCHMARK(BM_Mtools_DeleteTreeOf500Files)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(5);

} // namespace
} // namespace tamberlane
