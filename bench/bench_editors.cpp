// The windows that look inside one file or one sector: the first page of a large hex
// view, a Shift-JIS text opened and saved, and what ten undo steps cost in memory.

#include "app/state/ApplicationState.h"
#include "engine/fat/NewImageFile.h"

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;
using bench::statusKiB;

struct Workspace {
    fs::path root = fs::temp_directory_path() / ("tamberlane-editors-bench-" + std::to_string(getpid()));
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
        makeImage(manySmallImage, DiskSize::mb40, NewImageFormat::nhd, small);
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
    void makeImage(const fs::path& path, DiskSize size, NewImageFormat format,
                   const std::vector<std::pair<std::string, std::string>>& files) {
        writeImageFile(path, createNewImage({format, size, FATType::fat16}));
        std::vector<fs::path> hostFiles;
        for (const auto& [name, bytes] : files) {
            hostFiles.push_back(root / "host" / name);
            std::ofstream(hostFiles.back(), std::ios::binary) << bytes;
        }
        DiskImageService service;
        FileOperationService operations(service.open(path));
        for (const BatchItemResult& item :
             operations.importFiles(hostFiles, DiskPath::root(), false).items) {
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
        state.counters["rss_after_MB"] = static_cast<double>(statusKiB("VmRSS:")) / 1024;
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
        if (app.browser().hexViewerVM.get()->lines.get().size() != 65536) {
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
