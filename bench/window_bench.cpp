// How responsive the window stays: the lateness of a 10 ms timer on the GUI thread while a
// conversion runs, and while 500 files are added; and how long the 500 rows take against the
// probe alone on the same files.
//
//   corvina-bench-window CLIP [FILE_FOR_ADDING]
//
// Runs the real window on the offscreen platform (unless QT_QPA_PLATFORM says otherwise).
#include "app/window/MainWindow.h"
#include "hosting/MediaProbe.h"
#include "hosting/TranscodeEngine.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace corvina;

// The window's dialogs for a run without a person: every file of the list, the one folder.
class BenchDialogs : public app::IDialogs {
public:
    std::vector<std::string> files;
    std::string folder;
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    bool BrowseForFolder(const std::string&, std::string& f) override {
        f = folder;
        return true;
    }
    std::vector<std::string> OpenFiles(const std::string&) override { return files; }
};

// Measures how late a 10 ms timer fires on the GUI thread until done() holds.
struct LatencyProbe {
    std::vector<double> lateMs;

    void RunUntil(const std::function<bool()>& done) {
        QElapsedTimer clock;
        clock.start();
        QTimer timer;
        timer.setTimerType(Qt::PreciseTimer);
        qint64 last = clock.nsecsElapsed();
        QEventLoop loop;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            lateMs.push_back(std::max(0.0, (now - last) / 1e6 - 10.0));
            last = now;
            if (done()) {
                timer.stop();
                loop.quit();
            }
        });
        timer.start(10);
        loop.exec();
    }
    double Percentile(double p) const {
        if (lateMs.empty())
            return 0;
        std::vector<double> sorted = lateMs;
        std::sort(sorted.begin(), sorted.end());
        return sorted[std::min(sorted.size() - 1, static_cast<size_t>(p / 100.0 * sorted.size()))];
    }
    void Print(const char* what) const {
        std::printf("%-34s %7zu ticks  p50 %6.2f ms  p99 %6.2f ms  max %7.2f ms\n", what,
                    lateMs.size(), Percentile(50), Percentile(99), Percentile(100));
    }
};

} // namespace

int main(int argc, char* argv[]) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 2) {
        std::fprintf(stderr, "usage: corvina-bench-window CLIP [FILE_FOR_ADDING]\n");
        return 2;
    }
    const std::string clip = argv[1];
    const std::string small = argc > 2 ? argv[2] : clip;
    QTemporaryDir out;

    auto owned = std::make_unique<BenchDialogs>();
    BenchDialogs& dialogs = *owned;
    dialogs.folder = out.path().toStdString();
    window::MainWindow win(std::move(owned));
    if (!win.Create()) {
        std::fprintf(stderr, "the libraries could not be loaded\n");
        return 1;
    }
    win.show();
    app::ConversionWorkflow& flow = win.Workflow();
    flow.BrowseForFolder();
    flow.SelectOutputFormat(8); // MP4 - MPEG4 Video

    // 1. A conversion of the clip.
    dialogs.files = {clip};
    flow.ButtonAddFileClick();
    LatencyProbe adding1;
    adding1.RunUntil([&] { return !flow.Batch.AddingFiles; });
    LatencyProbe converting;
    QElapsedTimer wall;
    wall.start();
    flow.Start();
    converting.RunUntil([&] { return !flow.Batch.Converting && !flow.TimerEnabled(); });
    const double convertSeconds = wall.elapsed() / 1000.0;

    // 2. The probe alone on 500 files, then the window adding them.
    constexpr int kFiles = 500;
    QElapsedTimer probeClock;
    probeClock.start();
    hosting::TMediaProbe probe;
    for (int i = 0; i < kFiles; i++)
        probe.LoadFile(small);
    const double probeSeconds = probeClock.elapsed() / 1000.0;

    flow.ClearAll();
    dialogs.files.assign(kFiles, small);
    QElapsedTimer addClock;
    addClock.start();
    flow.ButtonAddFileClick();
    LatencyProbe adding;
    adding.RunUntil([&] { return !flow.Batch.AddingFiles; });
    const double addSeconds = addClock.elapsed() / 1000.0;

    std::printf("conversion of %s: %.2f s, row %s\n", clip.c_str(), convertSeconds,
                flow.Rows.empty() ? "-" : "converted");
    converting.Print("GUI timer lateness, converting:");
    adding.Print("GUI timer lateness, adding 500:");
    std::printf("500 rows: %.2f s; the probe alone: %.2f s; ratio %.2f (%zu rows)\n", addSeconds,
                probeSeconds, addSeconds / probeSeconds, flow.Rows.size());
    return 0;
}
