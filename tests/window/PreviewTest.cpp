// The preview's rules against a fake player, then the real player on generated media.
#include "preview/PlaybackGraph.h"
#include "preview/PreviewController.h"
#include "preview/PreviewPane.h"
#include "tests/support/ManualScheduler.h"
#include "tests/window/WindowTestSupport.h"

#include <QFile>
#include <QImageReader>
#include <QMenu>
#include <QScreen>
#include <QSlider>

#include <filesystem>
#include <fstream>

namespace corvina::preview {
namespace {

namespace fs = std::filesystem;
using window::testing::ScriptedDialogs;

class FakePlayer : public IMediaPlayer {
public:
    std::vector<std::string> calls;
    qint64 duration = 0, position = 0;
    double volume = -1;
    QImage frame;

    void Load(const QString& file) override { calls.push_back("load " + file.toStdString()); }
    void Unload() override { calls.push_back("unload"); }
    void Play() override { calls.push_back("play"); }
    void Pause() override { calls.push_back("pause"); }
    void Stop() override { calls.push_back("stop"); }
    qint64 DurationMs() const override { return duration; }
    qint64 PositionMs() const override { return position; }
    void SetPositionMs(qint64 p) override { calls.push_back("seek " + std::to_string(p)); }
    void SetVolume(double linear) override { volume = linear; }
    QImage CurrentFrame() const override { return frame; }
    int Count(const std::string& call) const {
        return static_cast<int>(std::count(calls.begin(), calls.end(), call));
    }
};

class Preview : public ::testing::Test {
protected:
    void SetUp() override {
        flow = std::make_unique<app::ConversionWorkflow>(engine, boxes, dialogs, scheduler);
        for (const char* file : {"/videos/a/clip.mov", "/videos/b/other.mp4"}) {
            app::ConversionItem row;
            row.Caption = file;
            flow->Rows.push_back(row);
        }
        controller = std::make_unique<PreviewController>(*flow, dialogs, player);
        controller->ShowError = [this](const QString& text) { errors.push_back(text); };
        controller->PlaySnapSound = [this] { snaps++; };
    }
    void TearDown() override {
        controller.reset();
        flow.reset();
    }

    test::ManualScheduler scheduler;
    hosting::TTranscodeEngine engine{&scheduler};
    profiles::MainWindowBoxes boxes;
    ScriptedDialogs dialogs;
    FakePlayer player;
    std::unique_ptr<app::ConversionWorkflow> flow;
    std::unique_ptr<PreviewController> controller;
    std::vector<QString> errors;
    int snaps = 0;
};

TEST_F(Preview, PlayLoadsTheSelectedRowPauseThenPlayResumesWithoutReloading) {
    controller->Play(); // no row selected: the graph only stops
    EXPECT_EQ(player.calls, (std::vector<std::string>{"stop"}));
    flow->SelectRow(0);
    player.calls.clear();
    player.duration = 90500;
    controller->Play();
    EXPECT_EQ(player.calls,
              (std::vector<std::string>{"stop", "unload", "load /videos/a/clip.mov", "play"}));
    EXPECT_EQ(controller->Bar().Maximum, 90500); // the duration in ms, until the first tick
    EXPECT_TRUE(controller->TimerRunning());
    controller->Pause();
    EXPECT_TRUE(controller->Paused());
    EXPECT_FALSE(controller->TimerRunning());
    player.calls.clear();
    controller->Play();
    EXPECT_EQ(player.calls, (std::vector<std::string>{"play"})); // resumed, not reloaded
    EXPECT_FALSE(controller->Paused());
}

TEST_F(Preview, StopThenPauseDoesNothingUntilTheNextPlay) {
    flow->SelectRow(0);
    controller->Play();
    controller->Stop();
    EXPECT_TRUE(controller->Stopped());
    EXPECT_FALSE(controller->Active());
    EXPECT_EQ(player.calls.back(), "unload");
    player.calls.clear();
    controller->Pause();
    EXPECT_TRUE(player.calls.empty());
    EXPECT_FALSE(controller->Paused());
    controller->Play();
    controller->Pause();
    EXPECT_EQ(player.calls.back(), "pause");
}

TEST_F(Preview, AnotherRowStopsThePlayingFileTheSameRowDoesNot) {
    flow->SelectRow(0);
    controller->Play();
    controller->Pause();
    player.calls.clear();
    flow->SelectRow(-1); // a deselection changes nothing
    flow->SelectRow(0);
    EXPECT_TRUE(player.calls.empty());
    EXPECT_TRUE(controller->Paused());
    flow->SelectRow(1);
    EXPECT_EQ(player.calls, (std::vector<std::string>{"stop"}));
    EXPECT_FALSE(controller->Paused());
    EXPECT_EQ(controller->PreviewRow(), 0); // the new row loads only with Play
}

TEST_F(Preview, EveryButtonDoesNothingWhileAConversionRuns) {
    flow->SelectRow(0);
    controller->Play();
    flow->Batch.Converting = true;
    flow->OutputFolder = "/tmp";
    player.frame = QImage(4, 4, QImage::Format_RGB888);
    player.calls.clear();
    controller->Play();
    controller->Pause();
    controller->Stop();
    controller->Snapshot();
    EXPECT_TRUE(player.calls.empty());
    EXPECT_EQ(snaps, 0);
    EXPECT_TRUE(dialogs.Messages.empty());
}

TEST_F(Preview, StartAndAddFileStopThePreview) {
    flow->SelectRow(0);
    controller->Play();
    controller->Pause();
    player.calls.clear();
    flow->Start(); // refused at once (no folder), but the preview stopped first
    EXPECT_EQ(player.calls, (std::vector<std::string>{"stop"}));
    EXPECT_FALSE(controller->Paused());
    player.calls.clear();
    flow->ButtonAddFileClick();
    EXPECT_EQ(player.calls, (std::vector<std::string>{"stop"}));
}

TEST_F(Preview, TheThreeVolumeLevels) {
    EXPECT_EQ(Attenuation(kMaxVolume), 0);
    EXPECT_EQ(Attenuation(20000), 0); // held at 10000
    EXPECT_EQ(Attenuation(6000), -554);
    EXPECT_EQ(Attenuation(10), -7397);
    EXPECT_EQ(Attenuation(0), -10000);
    EXPECT_DOUBLE_EQ(LinearGain(0), 1.0);
    EXPECT_NEAR(LinearGain(-554), 0.5284, 1e-4);
    EXPECT_NEAR(LinearGain(-10000), 1e-5, 1e-9);

    const std::pair<int, const char*> expected[] = {
        {10, "spkmute"}, {6000, "spkhalf"}, {10000, "spkfull"}};
    for (int level = 0; level < 3; level++) {
        controller->SelectVolume(level);
        EXPECT_EQ(controller->Volume(), expected[level].first);
        EXPECT_STREQ(controller->VolumePicture(), expected[level].second);
        EXPECT_DOUBLE_EQ(player.volume, LinearGain(Attenuation(expected[level].first)));
    }
}

TEST_F(Preview, TheSeekBarInWholeSecondsAndSeekingOnRelease) {
    flow->SelectRow(0);
    player.duration = 125'400;
    controller->Play();
    player.position = 61'900;
    controller->TimerTick();
    EXPECT_EQ(controller->Bar().Minimum, 0);
    EXPECT_EQ(controller->Bar().Maximum, 125);
    EXPECT_EQ(controller->Bar().Position, 61);
    controller->SeekBarPressed();
    player.position = 70'000;
    controller->TimerTick(); // held: no update
    EXPECT_EQ(controller->Bar().Position, 61);
    controller->SeekBarReleased(100);
    EXPECT_EQ(player.calls.back(), "seek " + std::to_string(125'400 * 100 / 125));
    controller->TimerTick();
    EXPECT_EQ(controller->Bar().Position, 70);
}

TEST_F(Preview, TheCodecFailureIsToldOnce) {
    flow->SelectRow(0);
    controller->Play();
    player.OnError();
    player.OnError(); // the backend says it twice
    ASSERT_EQ(errors.size(), 1u);
    EXPECT_EQ(errors[0], "No Video Codec To Play This File!");
    EXPECT_FALSE(controller->TimerRunning());
    EXPECT_TRUE(controller->Active()); // the graph stays active, with nothing playing
}

TEST_F(Preview, SnapshotFolderMessagesThenTheFolderDialog) {
    flow->SelectRow(0);
    controller->Play();
    player.frame = QImage(4, 4, QImage::Format_RGB888);
    flow->OutputFolder = "";
    controller->Snapshot();
    ASSERT_EQ(dialogs.Messages.size(), 1u);
    EXPECT_EQ(dialogs.Messages[0], std::make_pair(std::string("Please select an output folder!"),
                                                  std::string("Information")));
    EXPECT_EQ(dialogs.FolderDialogs, 1);
    flow->OutputFolder = " /nonexistent/snaps ";
    controller->Snapshot();
    ASSERT_EQ(dialogs.Messages.size(), 2u);
    EXPECT_EQ(dialogs.Messages[1].first, "The output folder \" /nonexistent/snaps \"\n\rdoes not "
                                         "exist or has been deleted!\n\rPlease choose a new "
                                         "output folder.");
    EXPECT_EQ(dialogs.Messages[1].second, "Information");
    EXPECT_EQ(dialogs.FolderDialogs, 2);
    EXPECT_EQ(snaps, 0);
}

TEST_F(Preview, SnapshotsAreNumberedAndNeverOverwriteAndNeedAPicture) {
    test::TempDir out;
    flow->OutputFolder = out.path().string();
    flow->SelectRow(0);
    controller->Play();
    controller->Snapshot(); // no picture on screen yet: no file at all
    EXPECT_TRUE(fs::is_empty(out.path()));
    EXPECT_EQ(snaps, 0);

    std::ofstream(out.path() / "clip.bmp") << "keep";
    std::ofstream(out.path() / "clip-1.bmp") << "keep";
    player.frame = QImage(64, 48, QImage::Format_RGB32);
    player.frame.fill(QColor(10, 200, 30));
    controller->Snapshot();
    const fs::path written = out.path() / "clip-2.bmp";
    ASSERT_TRUE(fs::exists(written));
    EXPECT_EQ(snaps, 1);
    QImageReader reader(QString::fromStdString(written.string()));
    EXPECT_EQ(reader.format(), "bmp");
    const QImage saved = reader.read();
    EXPECT_EQ(saved.size(), QSize(64, 48));
    EXPECT_EQ(saved.pixelColor(5, 5), QColor(10, 200, 30));
    // 24 bits per pixel in the file's header.
    QFile file(QString::fromStdString(written.string()));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray header = file.read(30);
    EXPECT_EQ(static_cast<unsigned char>(header[28]), 24);
    std::ifstream kept(out.path() / "clip.bmp");
    std::string text;
    kept >> text;
    EXPECT_EQ(text, "keep");
    EXPECT_EQ(PreviewController::SnapshotName(QString::fromStdString(out.path().string() + "/"),
                                              "/x/clip.mov"),
              QString::fromStdString((out.path() / "clip-3.bmp").string()));
}

// The real player on the offscreen platform.
class RealPreview : public window::testing::Window {
protected:
    PreviewController& Controller() { return window->Preview().Controller(); }
    IMediaPlayer& Player() { return window->Preview().Player(); }
    bool WaitForPicture() {
        return WaitFor([this] { return !Player().CurrentFrame().isNull(); }, 20);
    }
};

TEST_F(RealPreview, PlaysPausesSeeksAndSnapsThePausedPicture) {
    AddFiles({test::Fixture("h264_aac_640x480_25.mov").string()});
    UseOutputFolder();
    List()->setCurrentItem(List()->topLevelItem(0));
    Click("ButtonPlay");
    ASSERT_TRUE(WaitForPicture());
    ASSERT_TRUE(WaitFor([this] { return Player().DurationMs() > 0; }, 10));
    Click("ButtonPause");
    ASSERT_TRUE(Controller().Paused());
    QTest::qWait(300); // the pause settles
    Player().SetPositionMs(2000);
    ASSERT_TRUE(WaitFor([this] { return std::abs(Player().PositionMs() - 2000) < 100; }, 10));
    QTest::qWait(300);
    const QImage paused = Player().CurrentFrame();
    ASSERT_FALSE(paused.isNull());
    EXPECT_EQ(paused.size(), QSize(640, 480));
    Click("ButtonSnapshot");
    const fs::path snap = out.path() / "h264_aac_640x480_25.bmp";
    ASSERT_TRUE(fs::exists(snap));
    const QImage saved(QString::fromStdString(snap.string()), "BMP");
    EXPECT_EQ(saved.size(), QSize(640, 480));
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB888), paused);
    // Resumes, then stops; the seek bar follows in whole seconds.
    Click("ButtonPlay");
    EXPECT_FALSE(Controller().Paused());
    ASSERT_TRUE(WaitFor([this] { return Controller().Bar().Maximum == 3; }, 5));
    Click("ButtonStop");
    EXPECT_TRUE(Controller().Stopped());
}

TEST_F(RealPreview, AnUnplayableFileGivesTheFailureTextOnce) {
    std::vector<QString> shown;
    Controller().ShowError = [&shown](const QString& text) { shown.push_back(text); };
    AddFiles({test::Fixture("garbage.mov").string()});
    List()->setCurrentItem(List()->topLevelItem(0));
    Click("ButtonPlay");
    ASSERT_TRUE(WaitFor([&shown] { return !shown.empty(); }, 10));
    QTest::qWait(500); // a second report would come now
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0], "No Video Codec To Play This File!");
}

TEST_F(RealPreview, TheVolumeMenuAndItsPictures) {
    auto* menu = window->findChild<QMenu*>("PopupMenuSpeaker");
    ASSERT_NE(menu, nullptr);
    QStringList items;
    for (QAction* a : menu->actions())
        items << a->text();
    EXPECT_EQ(items, (QStringList{"Mute", "Half Volume", "Full Volume"}));
    Click("ButtonVolume");
    EXPECT_TRUE(menu->isVisible());
    // At the button's top-left, 40 pixels left and up (where the screen leaves room for it).
    const QPoint corner = Find<QWidget>("ButtonVolume")->mapToGlobal(QPoint(0, 0));
    const QRect wanted(corner - QPoint(40, 40), menu->size());
    if (window->screen()->availableGeometry().contains(wanted)) {
        EXPECT_EQ(menu->pos(), wanted.topLeft());
    }
    menu->actions()[1]->trigger();
    menu->hide();
    EXPECT_EQ(Controller().Volume(), 6000);
    EXPECT_STREQ(Controller().VolumePicture(), "spkhalf");
    for (const char* hint : {"Play", "Pause", "Stop", "Snapshot", "Volume"}) {
        bool found = false;
        for (const QWidget* w : Find<QWidget>("PanelPreview")->findChildren<QWidget*>())
            found = found || (w->toolTip() == hint && w->accessibleName() == hint);
        EXPECT_TRUE(found) << hint;
    }
}

} // namespace
} // namespace corvina::preview
