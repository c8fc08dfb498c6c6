// The application as a user meets it, offscreen: the first painted window, a large
// directory opened and shown, the list scrolled page by page, and the memory it takes.

#include "app/state/Executor.h"
#include "app/ui/FileListView.h"
#include "app/ui/MainWindowView.h"
#include "app/ui/TamberlaneApp.h"
#include "engine/fat/NewImageFile.h"
#include "engine/operations/EntryRename.h"
#include "engine/operations/FileImport.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>

#include "bench/BenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace tamberlane {
namespace {

namespace fs = std::filesystem;
using bench::statusKiB;
using Clock = std::chrono::steady_clock;

// Counts paint events reaching any widget: the window has been drawn once one arrives.
class PaintCounter : public QObject {
  public:
    int paints = 0;
    bool eventFilter(QObject* object, QEvent* event) override {
        if (event->type() == QEvent::Paint) {
            ++paints;
        }
        return QObject::eventFilter(object, event);
    }
};

PaintCounter& paintCounter() {
    static PaintCounter counter;
    return counter;
}

void spinUntil(const std::function<bool()>& done) {
    for (int i = 0; i < 100000 && !done(); ++i) {
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    }
}

void importAll(const fs::path& image, const DiskPath& to, const std::vector<fs::path>& files) {
    DiskImageService service;
    const std::shared_ptr<DiskImage> opened = service.open(image);
    if (!to.isRoot()) {
        EntryRename(opened).createDirectory(to.components.back(), DiskPath::root());
    }
    for (const BatchItemResult& item : FileImport(opened).importFiles(files, to, false).items) {
        if (!item.succeeded()) {
            std::fprintf(stderr, "%s: %s\n", item.name.c_str(), item.error->what());
            std::abort();
        }
    }
}

struct Workspace {
    fs::path root = fs::temp_directory_path() / ("tamberlane-ui-bench-" + std::to_string(getpid()));
    fs::path demo = root / "demo.img";
    fs::path big = root / "big.nhd";

    Workspace() {
        fs::create_directories(root / "demo");
        fs::create_directories(root / "many");
        writeImageFile(demo,
                       createNewImage({NewImageFormat::bin, DiskSize::mb1_44, FATType::fat12}));
        std::vector<fs::path> few;
        for (const char* name :
             {"README.TXT", "日本語の長いファイル名のテキスト.txt", "GAME.EXE"}) {
            few.push_back(root / "demo" / name);
            std::ofstream(few.back(), std::ios::binary) << std::string(3000, 'x');
        }
        importAll(demo, DiskPath::root(), few);
        writeImageFile(big, createNewImage({NewImageFormat::nhd, DiskSize::mb40, FATType::fat16}));
        std::vector<fs::path> many;
        for (int i = 0; i < 4000; ++i) {
            many.push_back(root / "many" / ("file" + std::to_string(i) + ".dat"));
            std::ofstream(many.back(), std::ios::binary)
                << std::string(static_cast<std::size_t>(i % 7), 'y');
        }
        importAll(big, DiskPath::root().appending("MANY"), many);
    }
    ~Workspace() {
        std::error_code ec;
        fs::remove_all(root, ec);
    }
};

Workspace& workspace() {
    static Workspace w;
    return w;
}

ThreadedExecutor& executor() {
    static ThreadedExecutor threaded([](std::function<void()> task) {
        QMetaObject::invokeMethod(qApp, std::move(task), Qt::QueuedConnection);
    });
    return threaded;
}

void BM_OpenAndShowFourThousandEntriesOfA40MBNHD(benchmark::State& state) {
    ui::TamberlaneApp app(executor());
    app.window().resize(1000, 700);
    app.window().show();
    ui::FileListView* list = app.window().fileList();
    for (auto _ : state) {
        app.state().image().closeImage();
        spinUntil([&] { return !app.state().image().isImageOpen; });
        app.window().openImage(QString::fromStdString(workspace().big.string()));
        spinUntil([&] { return app.state().image().isImageOpen.get(); });
        app.state().browser().navigateToPath(DiskPath::root().appending("MANY"));
        const int before = paintCounter().paints;
        spinUntil(
            [&] { return list->model()->rowCount() == 4000 && paintCounter().paints > before; });
        if (list->model()->rowCount() != 4000) {
            state.SkipWithError("listing incomplete");
        }
    }
    // The process also made the images above: its peak is not the application's. The
    // resident size after the runs is.
    state.counters["rss_MB"] = static_cast<double>(statusKiB("VmRSS:")) / 1024;
}
BENCHMARK(BM_OpenAndShowFourThousandEntriesOfA40MBNHD)->Unit(benchmark::kMillisecond);

void BM_ScrollFourThousandEntriesPageByPage(benchmark::State& state) {
    ui::TamberlaneApp app(executor());
    app.window().resize(1000, 700);
    app.window().show();
    app.window().openImage(QString::fromStdString(workspace().big.string()));
    spinUntil([&] { return app.state().image().isImageOpen.get(); });
    app.state().browser().navigateToPath(DiskPath::root().appending("MANY"));
    ui::FileListView* list = app.window().fileList();
    QScrollBar* bar = list->verticalScrollBar();
    spinUntil([&] { return bar->maximum() > 0; });
    std::int64_t pages = 0;
    for (auto _ : state) {
        if (bar->value() >= bar->maximum()) {
            state.PauseTiming();
            bar->setValue(0);
            list->viewport()->repaint();
            state.ResumeTiming();
        }
        bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
        list->viewport()->repaint();
        ++pages;
    }
    state.counters["rows_per_page"] = bar->pageStep();
}
BENCHMARK(BM_ScrollFourThousandEntriesPageByPage)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tamberlane

int main(int argc, char** argv) {
    const auto started = tamberlane::Clock::now();
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    application.installEventFilter(&tamberlane::paintCounter());
    const auto applicationReady = tamberlane::Clock::now();
    const auto& work = tamberlane::workspace();
    {
        // Start to first paint, with the image-making above left out.
        const auto t0 = tamberlane::Clock::now();
        tamberlane::ui::TamberlaneApp app(tamberlane::executor());
        app.window().show();
        app.openFiles({QString::fromStdString(work.demo.string())});
        tamberlane::spinUntil([&] {
            return app.state().image().isImageOpen.get() && tamberlane::paintCounter().paints > 0;
        });
        const auto painted = tamberlane::Clock::now();
        const auto ms = [](auto d) { return std::chrono::duration<double, std::milli>(d).count(); };
        std::printf("first painted window with the demo image: %.1f ms from main (the "
                    "application object %.1f ms, window and image %.1f ms)\n",
                    ms(applicationReady - started) + ms(painted - t0),
                    ms(applicationReady - started), ms(painted - t0));
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
