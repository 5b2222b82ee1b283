// The preview's responsiveness: from Play to the first picture on screen for a 1080p H.264
// QuickTime clip, and the longest stall of the GUI thread (a 10 ms timer's lateness) around
// play, pause, seek, stop and switching to another file.
//
//   corvina-bench-preview CLIP_1080P OTHER_CLIP
#include "app/window/MainWindow.h"
#include "preview/PreviewPane.h"
#include "preview/QtMediaPlayer.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

using namespace corvina;

class BenchDialogs : public app::IDialogs {
public:
    std::vector<std::string> files;
    void ShowMessage(const std::string&, const std::string&) override {}
    bool AskYesNo(const std::string&, const std::string&) override { return true; }
    bool BrowseForFolder(const std::string&, std::string&) override { return false; }
    std::vector<std::string> OpenFiles(const std::string&) override { return files; }
};

// Runs `action` on the GUI thread, then the event loop for `settleMs` (or until done()),
// measuring how late a 10 ms timer fires meanwhile, and how long the action itself blocked.
struct Phase {
    double actionMs = 0;
    double worstLateMs = 0;
    double untilDoneMs = -1;

    void Run(const std::function<void()>& action, int settleMs,
             const std::function<bool()>& done = {}) {
        QElapsedTimer clock;
        clock.start();
        action();
        actionMs = clock.nsecsElapsed() / 1e6;
        worstLateMs = std::max(0.0, actionMs - 10.0);
        QEventLoop loop;
        QTimer tick;
        tick.setTimerType(Qt::PreciseTimer);
        qint64 last = clock.nsecsElapsed();
        QObject::connect(&tick, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            worstLateMs = std::max(worstLateMs, (now - last) / 1e6 - 10.0);
            last = now;
            if (untilDoneMs < 0 && done && done())
                untilDoneMs = now / 1e6;
            if (now / 1e6 >= settleMs && (!done || untilDoneMs >= 0))
                loop.quit();
        });
        tick.start(10);
        loop.exec();
    }
};

} // namespace

int main(int argc, char* argv[]) {
    preview::PreferPlaybackBackend();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: corvina-bench-preview CLIP_1080P OTHER_CLIP\n");
        return 2;
    }
    auto owned = std::make_unique<BenchDialogs>();
    BenchDialogs& dialogs = *owned;
    window::MainWindow win(std::move(owned));
    if (!win.Create())
        return 1;
    win.show();
    app::ConversionWorkflow& flow = win.Workflow();
    dialogs.files = {argv[1], argv[2]};
    flow.ButtonAddFileClick();
    Phase adding;
    adding.Run([] {}, 0, [&] { return !flow.Batch.AddingFiles; });

    preview::PreviewController& preview = win.Preview().Controller();
    preview::IMediaPlayer& player = win.Preview().Player();
    auto picture = [&] { return !player.CurrentFrame().isNull(); };

    std::printf("%-28s %10s %14s %16s\n", "action", "call ms", "worst stall ms", "until shown ms");
    auto report = [](const char* what, const Phase& p) {
        std::printf("%-28s %10.1f %14.1f %16.1f\n", what, p.actionMs, p.worstLateMs, p.untilDoneMs);
    };
    flow.SelectRow(0);
    Phase play;
    play.Run([&] { preview.Play(); }, 1000, picture);
    report("play 1080p (first picture)", play);
    Phase pause;
    pause.Run([&] { preview.Pause(); }, 300);
    report("pause", pause);
    Phase seek;
    seek.Run([&] { player.SetPositionMs(6000); }, 500,
             [&] { return std::llabs(player.PositionMs() - 6000) < 100; });
    report("seek to 6 s (paused)", seek);
    Phase resume;
    resume.Run([&] { preview.Play(); }, 1000);
    report("resume", resume);
    Phase other;
    other.Run(
        [&] {
            flow.SelectRow(1);
            preview.Play();
        },
        1000, picture);
    report("switch to the other file", other);
    Phase stop;
    stop.Run([&] { preview.Stop(); }, 300);
    report("stop", stop);
    return 0;
}
