// The windows that look inside one file or one sector: the first page of a large hex
// view, a Shift-JIS text opened and saved, and what ten undo steps cost in memory.

#include "app/state/ApplicationState.h"
#include "engine/fat/NewImageFile.h"
#include "engine/operations/FileImport.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;
using bench::statusKiB;

struct Workspace {
    fs::path root =
        fs::temp_directory_path() / ("tamberlane-editors-bench-" + std::to_string(getpid()));
    fs::path bigFileImage = root / "big.bin";
    fs::path textImage = root / "text.bin";
    fs::path manySmallImage = root / "small.nhd";

    Workspace() {
        fs::create_directories(root / "host");
        std::string big(16 << 20, '\0');
        for (std::size_t i = 0; i < big.size(); ++i) {
            big[i] = static_cast<char>(i * 2654435761u >> 13);
        }
        makeImage(bigFileImage, DiskSize::mb40, NewImageFormat::bin, {{"BIG.BIN", big}});
        // 1 MiB of Shift-JIS lines: kanji, half-width kana and ASCII, CR LF line ends.
        std::string text;
        while (text.size() < (1u << 20)) {
            text += "\x8A\xBF\x8E\x9A\xB1\xB2\xB3 line of text\r\n";
        }
        makeImage(textImage, DiskSize::mb10, NewImageFormat::bin, {{"TEXT.TXT", text}});
        std::vector<std::pair<std::string, std::string>> small;
        for (int i = 0; i < 10; ++i) {
            small.push_back({"F" + std::to_string(i) + ".TXT", std::string(100, 'x')});
        }
        makeNHD40(manySmallImage);
        addFiles(manySmallImage, small);
    }
    // A 40 MiB hard disk (602 cylinders, 8 heads, 17 sectors of 512 bytes), larger than
    // any size a new image offers: formatted by mkfs.fat, put behind an NHD header.
    void makeNHD40(const fs::path& path) {
        const fs::path volume = root / "volume40.img";
        const std::string format =
            "mkfs.fat -C -F 16 -S 512 -h 0 -g 8/17 '" + volume.string() + "' 40936 >/dev/null";
        if (std::system(format.c_str()) != 0) {
            std::fprintf(stderr, "mkfs.fat failed\n");
            std::abort();
        }
        std::string header(296, '\0');
        header.replace(0, 14, "T98HDDIMAGE.R0");
        const auto put32 = [&header](std::size_t at, std::uint32_t value) {
            for (int i = 0; i < 4; ++i) {
                header[at + i] = static_cast<char>(value >> (8 * i));
            }
        };
        put32(0x110, 296);
        put32(0x118, 17);
        put32(0x11C, 8);
        put32(0x120, 602);
        put32(0x124, 512);
        std::ofstream out(path, std::ios::binary);
        out << header << std::ifstream(volume, std::ios::binary).rdbuf();
        fs::remove(volume);
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void makeImage(const fs::path& path, DiskSize size, NewImageFormat format,
                   const std::vector<std::pair<std::string, std::string>>& files) {
        writeImageFile(path, createNewImage({format, size, FATType::fat16}));
        addFiles(path, files);
    }
    void addFiles(const fs::path& path,
                  const std::vector<std::pair<std::string, std::string>>& files) {
        std::vector<fs::path> hostFiles;
        for (const auto& [name, bytes] : files) {
            hostFiles.push_back(root / "host" / name);
            std::ofstream(hostFiles.back(), std::ios::binary) << bytes;
        }
        DiskImageService service;
        for (const BatchItemResult& item :
             FileImport(service.open(path)).importFiles(hostFiles, DiskPath::root(), false).items) {
            if (!item.succeeded()) {
                std::fprintf(stderr, "%s: %s\n", item.name.c_str(), item.error->what());
                std::abort();
            }
        }
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

void selectOnly(FileBrowserViewModel& browser, const std::string& name) {
    for (const FileEntry& entry : browser.entries.get()) {
        if (entry.directoryEntry.displayName() == name) {
            browser.setSelection({entry.id});
        }
    }
}

// Runs first, while the process holds little else, so the peak is this work's own.
void BM_TenUndoStepsOnA40MBNHD(benchmark::State& state) {
    const auto imageBytes = static_cast<double>(fs::file_size(workspace().manySmallImage));
    for (auto _ : state) {
        SynchronousExecutor executor;
        ApplicationState app(executor);
        app.image().openDiskImage(workspace().manySmallImage);
        const std::int64_t openKiB = statusKiB("VmRSS:");
        for (int i = 0; i < 10; ++i) {
            selectOnly(app.browser(), "F" + std::to_string(i) + ".TXT");
            app.browser().requestDelete();
            app.browser().confirmDelete();
        }
        if (app.undoRedo().undoStack().size() != 10) {
            state.SkipWithError("ten undo steps expected");
        }
        state.counters["image_MB"] = imageBytes / 1e6;
        state.counters["rss_open_MB"] = static_cast<double>(openKiB) / 1024;
        const std::int64_t afterKiB = statusKiB("VmRSS:");
        state.counters["rss_after_MB"] = static_cast<double>(afterKiB) / 1024;
        // The goal: what ten steps add stays within 1.5 times the image.
        state.counters["added_per_image"] =
            static_cast<double>(afterKiB - openKiB) * 1024 / imageBytes;
        state.counters["peak_MB"] = static_cast<double>(statusKiB("VmHWM:")) / 1024;
    }
}
BENCHMARK(BM_TenUndoStepsOnA40MBNHD)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_HexViewFirstPageOfSixteenMebibytes(benchmark::State& state) {
    SynchronousExecutor executor;
    ApplicationState app(executor);
    app.image().openDiskImage(workspace().bigFileImage);
    selectOnly(app.browser(), "BIG.BIN");
    for (auto _ : state) {
        app.browser().openHexViewer();
        if (app.browser().hexViewerVM.get()->rowCount.get() != 65536) {
            state.SkipWithError("first page incomplete");
        }
    }
}
BENCHMARK(BM_HexViewFirstPageOfSixteenMebibytes)->Unit(benchmark::kMillisecond);

void BM_OpenAndSaveOneMebibyteShiftJISText(benchmark::State& state) {
    SynchronousExecutor executor;
    ApplicationState app(executor);
    app.image().openDiskImage(workspace().textImage);
    int round = 0;
    for (auto _ : state) {
        selectOnly(app.browser(), "TEXT.TXT");
        app.browser().openTextEditor();
        const auto editor = app.browser().textEditorVM.get();
        editor->setText(editor->text.get() + std::to_string(++round));
        editor->save();
        if (!editor->showSaveSuccess.get()) {
            state.SkipWithError(editor->errorMessage.get().c_str());
        }
    }
}
BENCHMARK(BM_OpenAndSaveOneMebibyteShiftJISText)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tamberlane
