// The main window driven through its real widgets on the offscreen platform: clicks on the
// real buttons, picks in the real combo boxes, the real list's cells, scripted dialogs.
#include "app/window/QtDialogs.h"
#include "profiles/Catalogue.h"
#include "tests/support/MediaReadBack.h"
#include "tests/window/WindowTestSupport.h"

#include <QAccessible>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QProgressBar>
#include <QSlider>
#include <QStatusBar>
#include <QUrl>

#include <array>
#include <filesystem>
#include <fstream>

namespace corvina::window::testing {
namespace {

namespace fs = std::filesystem;

const std::string kShort = test::Fixture("h264_aac_mono_176x144_15.mov").string();
const std::string kLonger = test::Fixture("h264_aac_640x480_25.mov").string();
const std::string kAudio = test::Fixture("aac_44100_stereo.m4a").string();
const std::string kGarbage = test::Fixture("garbage.mov").string();
constexpr int kProgressColumn = 1 + app::kCellProgress;
constexpr int kFramesColumn = 1 + app::kCellFrames;

QStringList ActionTexts(const QMenu* menu) {
    QStringList texts;
    for (const QAction* a : menu->actions())
        texts << (a->isSeparator() ? QString("-")
                                   : a->text() + (a->isVisible() ? "" : " (hidden)"));
    return texts;
}

// The accessible object of the window's tree with that name and role, or null.
QAccessibleInterface* FindAccessible(QAccessibleInterface* node, const QString& name,
                                     QAccessible::Role role) {
    if (!node)
        return nullptr;
    if (node->role() == role && node->text(QAccessible::Name) == name)
        return node;
    for (int i = 0; i < node->childCount(); i++)
        if (QAccessibleInterface* found = FindAccessible(node->child(i), name, role))
            return found;
    return nullptr;
}

TEST_F(Window, ShowsEveryControlWithItsTextsAsWritten) {
    EXPECT_EQ(window->windowTitle(), "Corvina");
    EXPECT_EQ(window->centralWidget()->width(), 753);
    EXPECT_EQ(window->centralWidget()->height() + window->statusBar()->height(), 533);
    EXPECT_EQ(window->minimumSize(), window->maximumSize()); // not resizable
    EXPECT_FALSE(window->windowIcon().isNull());

    const std::pair<const char*, const char*> buttons[] = {
        {"ButtonAddFile", "Add File"}, {"ButtonRemove", "Remove File"},
        {"ButtonClear", "Clear All "}, {"ButtonStopConvert", "Stop"},
        {"ButtonConvert", "Start"},    {"ButtonStopSmall", "Stop"}};
    for (const auto& [name, caption] : buttons)
        EXPECT_EQ(Find<QAbstractButton>(name)->text(), caption) << name;
    for (const char* label :
         {"Output Folder :", "Set Output Format :", "Video Quality : ", "Video Size : ",
          "Video Framerate : ", "Audio Quality :", "Audio Channels :", "Volume : "}) {
        bool found = false;
        for (const QLabel* l : window->findChildren<QLabel*>())
            if (l->text() == label) {
                found = true;
                EXPECT_NE(l->buddy(), nullptr) << label; // each label names its box
            }
        EXPECT_TRUE(found) << label;
    }
    auto* edit = Find<QLineEdit>("EditOutputFolder");
    EXPECT_TRUE(edit->isReadOnly());
    EXPECT_FALSE(edit->isEnabled());

    QTreeWidget* list = List();
    const QStringList captions = {"Video File Name", "Video Size", "FrameRate", "Duration",
                                  "Output",          "Progress",   "Frames"};
    const int widths[] = {310, 90, 80, 60, 65, 57, 60};
    ASSERT_EQ(list->columnCount(), 7);
    for (int c = 0; c < 7; c++) {
        EXPECT_EQ(list->headerItem()->text(c), captions[c]);
        EXPECT_EQ(list->columnWidth(c), widths[c]) << c;
    }
    EXPECT_EQ(list->selectionMode(), QAbstractItemView::SingleSelection);
    EXPECT_EQ(list->selectionBehavior(), QAbstractItemView::SelectRows);
    EXPECT_TRUE(Find<QWidget>("Memo1")->isHidden());

    EXPECT_EQ(ActionTexts(Find<QMenu>("PopupListView1")),
              (QStringList{"Check All Items", "Uncheck All Items", "-", "Remove Selected Item",
                           "Clear All Items", "-", "Play Selected File", "-",
                           "Split Selected File (hidden)"}));
    EXPECT_EQ(ActionTexts(Find<QMenu>("File1")), (QStringList{"Add Files", "Convert", "Exit"}));
    EXPECT_EQ(ActionTexts(Find<QMenu>("Options1")), (QStringList{"Set Options"}));
    EXPECT_EQ(ActionTexts(Find<QMenu>("Help1")),
              (QStringList{"Open Help File", "Visit Harlowe Website", "About"}));

    for (int i = 0; i < 3; i++)
        EXPECT_EQ(Find<QLabel>(QString("StatusPanel%1").arg(i).toUtf8())->width(),
                  (std::array{150, 300, 50})[i]);
    EXPECT_EQ(Find<QLabel>("StatusPanel0")->text(), "Ready");

    auto* slider = Find<QSlider>("TrackBar1");
    EXPECT_EQ(slider->minimum(), 0);
    EXPECT_EQ(slider->maximum(), 10);
    EXPECT_EQ(slider->value(), 5);
    EXPECT_EQ(slider->toolTip(), "100% is the original video volume");
    EXPECT_EQ(Find<QLabel>("LabelVolume")->text(), "100%");
    // Shown: the first entry applied, the presets at "Normal"; 25 rows drop down at first.
    auto* format = Find<QComboBox>("ComboOutputFormat");
    EXPECT_EQ(format->count(), 46);
    EXPECT_EQ(format->currentText(), "3GP - Mobile Video Format (*.3gp)");
    EXPECT_EQ(Find<QComboBox>("ComboVideoQuality")->currentText(), "Normal");
    EXPECT_EQ(Find<QComboBox>("ComboAudioChannels")->currentText(), "Mono");
    for (const char* hidden :
         {"ComboLetterBox", "ComboAspectRatio", "ComboVideoCodec", "ComboAudioCodec",
          "ComboSamplingRate", "ComboVideoBitrate", "ComboAudioBitrate"})
        EXPECT_FALSE(Find<QComboBox>(hidden)->isVisible()) << hidden;
    EXPECT_EQ(Find<QComboBox>("ComboAudioBitrate")->currentText(), "7400 bps");
}

TEST_F(Window, EveryControlCanBeFoundThroughTheAccessibilityTree) {
    QAccessibleInterface* root = QAccessible::queryAccessibleInterface(window.get());
    ASSERT_NE(root, nullptr);
    for (const char* name : {"Add File", "Remove File", "Clear All ", "Stop", "Start", "Play",
                             "Pause", "Snapshot", "Volume", "Choose the output folder"})
        EXPECT_NE(FindAccessible(root, name, QAccessible::Button), nullptr) << name;
    EXPECT_NE(FindAccessible(root, "Volume :", QAccessible::Slider), nullptr);
    EXPECT_NE(FindAccessible(root, "Progress", QAccessible::ProgressBar), nullptr);
    // A combo box is reached under its current text; its label names it as its buddy.
    QAccessibleInterface* quality = FindAccessible(root, "Normal", QAccessible::ComboBox);
    ASSERT_NE(quality, nullptr);
    bool labelled = false;
    for (const auto& [other, relation] : quality->relations(QAccessible::Label))
        labelled = labelled || other->text(QAccessible::Name).startsWith("Video Quality");
    EXPECT_TRUE(labelled);
}

TEST_F(Window, AddsFilesInDialogOrderWithTheirCells) {
    AddFiles({kShort, kAudio, kGarbage, kShort});
    ASSERT_EQ(List()->topLevelItemCount(), 4);
    EXPECT_EQ(Cell(0, 0).toStdString(), kShort);
    EXPECT_EQ(Cell(0, 1), "176x144");
    EXPECT_EQ(Cell(0, 2), "15");
    EXPECT_EQ(Cell(0, 3), "00:00:02");
    EXPECT_EQ(Cell(0, 4), "3GP");
    EXPECT_EQ(Cell(1, 1), " "); // audio only
    EXPECT_EQ(Cell(1, 2), " ");
    EXPECT_EQ(Cell(1, 3), "00:00:03");
    EXPECT_EQ(Cell(2, kProgressColumn), "Error");
    EXPECT_EQ(Cell(2, 1), "");
    EXPECT_EQ(Cell(2, 4), "");
    EXPECT_FALSE(List()->topLevelItem(2)->toolTip(kProgressColumn).isEmpty()); // why
    EXPECT_EQ(Cell(3, 0), Cell(0, 0)); // the same file twice is two rows
    for (int r = 0; r < 4; r++)
        EXPECT_EQ(List()->topLevelItem(r)->checkState(0), Qt::Checked);
}

TEST_F(Window, ConvertsTwoFilesToDoneWithTheTextsAndLocks) {
    AddFiles({kShort, kLonger});
    ChooseFormat("AVI - Audio Video Interleave (*.avi)");
    EXPECT_EQ(Cell(0, 4), "AVI");
    UseOutputFolder();
    EXPECT_EQ(Find<QLineEdit>("EditOutputFolder")->text().toStdString(), out.path().string());

    // What the widgets show at each progress report (the window is told before this view).
    struct ProgressWatch : app::WorkflowObserver {
        Window* test;
        int reports = 0;
        bool sawTexts = true;
        explicit ProgressWatch(Window* t) : test(t) {}
        void ProgressChanged(int row) override {
            reports++;
            const QString tip = test->List()->topLevelItem(row)->toolTip(kProgressColumn);
            sawTexts = sawTexts && test->Cell(row, kProgressColumn).endsWith('%') &&
                       test->Find<QLabel>("StatusPanel1")->text().startsWith("File Size : ") &&
                       tip.startsWith("This file: ") && tip.contains("This batch: ");
        }
    } watch(this);
    window->Workflow().AddObserver(&watch);
    bool sawLocked = false;
    window->Engine().SetProgressInterval(100); // reports often enough for these short clips
    Click("ButtonConvert");
    ASSERT_TRUE(WaitFor([&] {
        if (window->Workflow().Batch.Converting)
            sawLocked = !Find<QWidget>("ButtonAddFile")->isEnabled() &&
                        !Find<QWidget>("ButtonClear")->isEnabled() &&
                        !Find<QWidget>("ButtonRemove")->isEnabled() &&
                        !Find<QWidget>("ButtonConvert")->isEnabled() &&
                        !Find<QWidget>("ComboOutputFormat")->isEnabled() &&
                        !Find<QWidget>("ComboVideoSize")->isEnabled() &&
                        !Find<QWidget>("ComboAudioQuality")->isEnabled() &&
                        !Find<QWidget>("TrackBar1")->isEnabled() &&
                        !Find<QMenu>("File1")->menuAction()->isEnabled() &&
                        !Find<QMenu>("Help1")->menuAction()->isEnabled() &&
                        Find<QWidget>("ButtonStopConvert")->isEnabled() &&
                        Find<QWidget>("ButtonStopSmall")->isEnabled() && List()->isEnabled();
        return dialogs->Count("All Conversions Completed") == 1 &&
               !window->Workflow().Batch.Converting;
    }));
    window->Workflow().RemoveObserver(&watch);
    EXPECT_GT(watch.reports, 0);
    EXPECT_TRUE(watch.sawTexts);
    EXPECT_TRUE(sawLocked);
    EXPECT_EQ(dialogs->Messages.back(),
              std::make_pair(std::string("All Conversions Completed"), std::string("Information")));
    EXPECT_EQ(Cell(0, kProgressColumn), "Done");
    EXPECT_EQ(Cell(1, kProgressColumn), "Done");
    EXPECT_NE(Cell(1, kFramesColumn), "");
    EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 0);
    EXPECT_TRUE(Find<QWidget>("ButtonConvert")->isEnabled());
    EXPECT_TRUE(Find<QMenu>("File1")->menuAction()->isEnabled());
    for (const char* name : {"h264_aac_mono_176x144_15.avi", "h264_aac_640x480_25.avi"}) {
        const test::MediaInfo info = test::ReadBack(out.path() / name);
        EXPECT_TRUE(info.DecodesCleanly()) << name << ": " << test::Describe(info);
        ASSERT_NE(info.Video(), nullptr);
    }
}

TEST_F(Window, AnAudioEntryLocksTheVideoBoxesAlsoAfterABatch) {
    ChooseFormat("MP3 - Mpeg Layer3 Audio (*.mp3)");
    EXPECT_FALSE(Find<QWidget>("ComboVideoQuality")->isEnabled());
    EXPECT_FALSE(Find<QWidget>("ComboVideoSize")->isEnabled());
    AddFiles({kAudio});
    UseOutputFolder();
    Click("ButtonConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Cell(0, kProgressColumn), "Done");
    EXPECT_FALSE(Find<QWidget>("ComboVideoFramerate")->isEnabled());
    EXPECT_TRUE(Find<QWidget>("ComboAudioQuality")->isEnabled());
    // A separator line puts the previous entry back.
    ChooseFormat("              -----------------------------------------");
    EXPECT_EQ(Find<QComboBox>("ComboOutputFormat")->currentText(),
              "MP3 - Mpeg Layer3 Audio (*.mp3)");
}

TEST_F(Window, UncheckedRowsAndOnlyTheFirstOfThreeChecked) {
    AddFiles({kShort, kShort});
    UseOutputFolder();
    for (int r = 0; r < 2; r++)
        List()->topLevelItem(r)->setCheckState(0, Qt::Unchecked); // as a click on the box
    Click("ButtonConvert");
    ASSERT_TRUE(WaitIdle(5)); // completes at the next tick
    EXPECT_EQ(dialogs->Count("All Conversions Completed"), 1);
    EXPECT_EQ(Cell(0, kProgressColumn), "");

    AddFiles({kShort});
    List()->topLevelItem(0)->setCheckState(0, Qt::Checked);
    List()->topLevelItem(2)->setCheckState(0, Qt::Unchecked);
    Click("ButtonConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Cell(0, kProgressColumn), "Done");
    EXPECT_EQ(Cell(1, kProgressColumn), "");
    EXPECT_EQ(Cell(2, kProgressColumn), "");
    EXPECT_EQ(dialogs->Count("All Conversions Completed"), 2);
}

TEST_F(Window, StopIdleBetweenJobsAndDuringAJob) {
    Click("ButtonStopConvert"); // idle: nothing asked
    EXPECT_TRUE(dialogs->Questions.empty());

    AddFiles({kShort, kLonger, kLonger});
    UseOutputFolder();
    Click("ButtonConvert");
    // Between jobs: the first is done, the timer waits for the next.
    ASSERT_TRUE(WaitFor([this] { return Cell(0, kProgressColumn) == "Done"; }));
    if (!window->Workflow().Batch.Converting) {
        Click("ButtonStopSmall");
        EXPECT_TRUE(dialogs->Questions.empty());
        EXPECT_EQ(Cell(1, kProgressColumn), "");
        EXPECT_TRUE(Find<QWidget>("ButtonConvert")->isEnabled());
    } else {
        dialogs->Answers = {true};
        Click("ButtonStopSmall");
    }
    ASSERT_TRUE(WaitIdle());

    // During a job: No lets it go on to "Done", Yes stops it as "Abort".
    Click("ButtonConvert");
    ASSERT_TRUE(WaitFor([this] {
        return window->Workflow().Batch.CurrentRow == 0 && window->Workflow().Batch.Converting;
    }));
    dialogs->Answers = {false};
    Click("ButtonStopConvert");
    ASSERT_EQ(dialogs->Questions.size(), 1u);
    EXPECT_EQ(dialogs->Questions[0],
              std::make_pair(std::string("Stop all conversions?"), std::string("Confirmation")));
    ASSERT_TRUE(WaitFor([this] {
        return window->Workflow().Batch.CurrentRow == 1 && window->Workflow().Batch.Converting;
    }));
    EXPECT_EQ(Cell(0, kProgressColumn), "Done");
    dialogs->Answers = {true};
    Click("ButtonStopConvert");
    ASSERT_TRUE(WaitFor([this] { return Cell(1, kProgressColumn) == "Abort"; }));
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Cell(2, kProgressColumn), "");
    EXPECT_EQ(dialogs->Count("All Conversions Completed"), 0);
    EXPECT_TRUE(Find<QWidget>("ButtonConvert")->isEnabled());
}

TEST_F(Window, CloseIsRefusedWhileConverting) {
    AddFiles({kLonger});
    UseOutputFolder();
    Click("ButtonConvert");
    ASSERT_TRUE(window->Workflow().Batch.Converting);
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(window->isVisible());
    EXPECT_TRUE(dialogs->Messages.empty()); // refused without a word
    ASSERT_TRUE(WaitIdle());
    EXPECT_TRUE(window->close());
}

TEST_F(Window, RemoveAndClearDoNothingWhileAddingAndClearNothingDuringABatch) {
    // While the rows arrive, the user clicks Remove, Clear and Add File.
    struct ClickWhileAdding : app::WorkflowObserver {
        Window* test;
        bool adding = false;
        explicit ClickWhileAdding(Window* t) : test(t) {}
        void RowsInserted(int first, int) override {
            if (first != 1)
                return;
            adding = test->window->Workflow().Batch.AddingFiles;
            test->List()->setCurrentItem(test->List()->topLevelItem(0));
            test->Click("ButtonRemove");
            test->Click("ButtonClear");
            test->Click("ButtonAddFile"); // no second dialog
        }
    } clicks(this);
    window->Workflow().AddObserver(&clicks);
    dialogs->FilesToOpen = std::vector<std::string>(40, kShort);
    Click("ButtonAddFile");
    ASSERT_TRUE(WaitIdle());
    window->Workflow().RemoveObserver(&clicks);
    EXPECT_TRUE(clicks.adding);
    EXPECT_EQ(List()->topLevelItemCount(), 40);
    EXPECT_EQ(dialogs->OpenDialogs, 1);

    UseOutputFolder();
    Click("ButtonConvert");
    Click("ButtonClear");
    window->Workflow().ClearAll(); // also the core refuses during a batch
    EXPECT_EQ(List()->topLevelItemCount(), 40);
    dialogs->Answers = {true};
    Click("ButtonStopConvert");
    ASSERT_TRUE(WaitIdle());
    // Idle again: Remove takes the selected row, Clear all of them.
    List()->setCurrentItem(List()->topLevelItem(3));
    Click("ButtonRemove");
    EXPECT_EQ(List()->topLevelItemCount(), 39);
    Click("ButtonClear");
    EXPECT_EQ(List()->topLevelItemCount(), 0);
}

TEST_F(Window, ProgressTextsAndAFullBarAboveOneHundredPercent) {
    AddFiles({kShort});
    app::ConversionWorkflow& flow = window->Workflow();
    flow.Batch.CurrentRow = 0;
    flow.EngineProgress(0, -1, 150000, 2500, 100000);
    EXPECT_EQ(Cell(0, kProgressColumn), "100%");
    EXPECT_EQ(Cell(0, kFramesColumn), " ");
    EXPECT_EQ(Find<QLabel>("StatusPanel1")->text(), "File Size : 2 KBytes");
    EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 100);
    flow.EngineProgress(0, 42, 25000, 1500, 100000);
    EXPECT_EQ(Cell(0, kProgressColumn), "25%");
    EXPECT_EQ(Cell(0, kFramesColumn), "42");
    EXPECT_EQ(Find<QLabel>("StatusPanel1")->text(), "File Size : 2 KBytes");
    EXPECT_EQ(Find<QProgressBar>("ProgressBar1")->value(), 25);
    flow.EngineProgress(0, 43, 25000, 2501, 100000);
    EXPECT_EQ(Find<QLabel>("StatusPanel1")->text(), "File Size : 3 KBytes");
}

TEST_F(Window, AFailedRowTellsWhyInItsTooltip) {
    AddFiles({kGarbage});
    UseOutputFolder();
    Click("ButtonConvert");
    ASSERT_TRUE(WaitIdle());
    EXPECT_EQ(Cell(0, kProgressColumn), "Fail");
    const QString why = List()->topLevelItem(0)->toolTip(kProgressColumn);
    EXPECT_TRUE(why.contains("Unknown format")) << why.toStdString();
}

TEST_F(Window, DroppingAFolderAddsItsClipsInPathOrder) {
    test::TempDir dropped;
    fs::create_directories(dropped.path() / "b" / "c");
    fs::copy_file(kShort, dropped.path() / "b" / "c" / "z.mov");
    fs::copy_file(kAudio, dropped.path() / "a.m4a");
    std::ofstream(dropped.path() / "notes.txt") << "no clip";
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(QString::fromStdString(dropped.path().string()))});
    QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    ASSERT_TRUE(WaitIdle());
    ASSERT_EQ(List()->topLevelItemCount(), 2);
    EXPECT_EQ(Cell(0, 0).toStdString(), (dropped.path() / "a.m4a").string());
    EXPECT_EQ(Cell(1, 0).toStdString(), (dropped.path() / "b" / "c" / "z.mov").string());
    EXPECT_EQ(Cell(1, 1), "176x144");
}

TEST_F(Window, TheListAndTheCommandsWorkFromTheKeyboard) {
    QTest::keyClick(window.get(), Qt::Key_O, Qt::ControlModifier); // Add Files
    EXPECT_EQ(dialogs->OpenDialogs, 1);
    AddFiles({kShort, kShort, kShort});
    QTreeWidget* list = List();
    list->setFocus();
    list->setCurrentItem(list->topLevelItem(1));
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_FALSE(window->Workflow().Rows[1].Checked);
    QTest::keyClick(list, Qt::Key_Space);
    EXPECT_TRUE(window->Workflow().Rows[1].Checked);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(window->Workflow().SelectedRow, 2);
    QTest::keyClick(list, Qt::Key_Delete);
    EXPECT_EQ(list->topLevelItemCount(), 2);

    UseOutputFolder();
    QTest::keyClick(window.get(), Qt::Key_F5); // Convert
    EXPECT_TRUE(window->Workflow().Batch.Converting);
    dialogs->Answers = {true};
    QTest::keyClick(window.get(), Qt::Key_F5, Qt::ShiftModifier); // Stop
    EXPECT_EQ(dialogs->Questions.size(), 1u);
    ASSERT_TRUE(WaitIdle());
}

TEST_F(Window, QualityAndVolumeGoThroughTheCore) {
    ChooseFormat("MP4 - MPEG4 Video (*.mp4)");
    auto* quality = Find<QComboBox>("ComboVideoQuality");
    quality->setCurrentIndex(0);
    emit quality->activated(0); // "Highest"
    EXPECT_EQ(Find<QComboBox>("ComboVideoBitrate")->currentText(), "2500 Kbps");
    QEvent enter(QEvent::Enter);
    QApplication::sendEvent(quality, &enter);
    EXPECT_EQ(quality->toolTip(), "2500 Kbps");
    Find<QSlider>("TrackBar1")->setValue(10);
    EXPECT_EQ(Find<QLabel>("LabelVolume")->text(), "200%");
    EXPECT_EQ(window->Workflow().VolumePosition, 10);
}

TEST(QtFileFilter, TheOpenDialogsThreeEntriesInQtsSyntax) {
    EXPECT_EQ(QtFileFilter(profiles::BuildOpenFilter()),
              "All Supported Files (*.mov *.qt *.m4v *.mp4 *.m4a);;"
              "QuickTime Files (*.mov, *.qt, *.m4v) (*.mov *.qt *.m4v);;"
              "MPEG-4 Audio Files (*.m4a, *.mp4) (*.m4a *.mp4)");
    EXPECT_EQ(QtFileFilter(""), "");
}

} // namespace
} // namespace corvina::window::testing
