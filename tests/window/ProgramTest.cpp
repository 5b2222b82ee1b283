// The program around the main window: its settings file, the options dialog, the about box,
// the start in its order, help, and what the desktop session is asked during a batch.
#include "app/qt/DesktopSession.h"
#include "app/qt/QtSettingsStore.h"
#include "app/window/AboutBox.h"
#include "app/window/FontRule.h"
#include "app/window/OptionsDialog.h"
#include "app/window/StartUp.h"
#include "binding/Binding.h"
#include "profiles/Catalogue.h"
#include "tests/window/WindowTestSupport.h"

#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QSettings>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>

#include <filesystem>
#include <fstream>

namespace corvina::window::testing {
namespace {

namespace fs = std::filesystem;

// The real QSettings file, in a configuration folder of the test's own.
class SettingsFile : public ::testing::Test {
protected:
    void SetUp() override {
        QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope,
                           QString::fromStdString(config.path().string()));
    }
    fs::path File() const { return config.path() / "Harlowe" / "Corvina.conf"; }
    test::TempDir config;
};

TEST_F(SettingsFile, RoundTripThroughTheConfigurationFolder) {
    EXPECT_EQ(app::QtSettingsStore::FileName().toStdString(), File().string());
    app::QtSettingsStore store;
    ASSERT_TRUE(store.Open());
    EXPECT_TRUE(store.WriteString("Output Folder", "/home/someone/Videos out"));
    EXPECT_TRUE(store.WriteInteger("ComboOutputFormat", 26));
    EXPECT_TRUE(store.WriteInteger("Overwrite", 1));
    EXPECT_TRUE(store.Close());
    ASSERT_TRUE(fs::exists(File()));

    app::QtSettingsStore again;
    ASSERT_TRUE(again.Open());
    EXPECT_EQ(again.ReadString("Output Folder"), "/home/someone/Videos out");
    EXPECT_EQ(again.ReadInteger("ComboOutputFormat"), 26);
    EXPECT_EQ(again.ReadInteger("Overwrite"), 1);
    EXPECT_EQ(again.ReadInteger("LetterBox"), std::nullopt);
    again.Close();
    // Integers are written as integers, the Boolean as 0 or 1.
    std::ifstream in(File());
    const std::string text((std::istreambuf_iterator<char>(in)), {});
    EXPECT_NE(text.find("ComboOutputFormat=26"), std::string::npos) << text;
    EXPECT_NE(text.find("Overwrite=1"), std::string::npos) << text;
}

TEST_F(SettingsFile, ADamagedFileOrAFolderThatCannotBeWrittenLeavesTheDefaults) {
    fs::create_directories(File().parent_path());
    std::ofstream(File(), std::ios::binary) << "\x01\x02[[[Corvina\n=\xff\xfe garbage\n";
    app::QtSettingsStore damaged;
    damaged.Open();
    EXPECT_EQ(damaged.ReadInteger("ComboOutputFormat"), std::nullopt);
    damaged.Close();

    // The organisation's folder is a file: nothing can be written under it.
    fs::remove_all(File().parent_path());
    std::ofstream(File().parent_path()) << "not a folder";
    app::QtSettingsStore blocked;
    blocked.Open();
    blocked.WriteInteger("ComboOutputFormat", 8);
    EXPECT_FALSE(blocked.Close());
    app::QtSettingsStore reread;
    reread.Open();
    EXPECT_EQ(reread.ReadInteger("ComboOutputFormat"), std::nullopt);
    reread.Close();
}

// The desktop's programs, as asked.
class FakeDesktop : public IDesktop {
public:
    std::vector<QUrl> opened;
    void OpenUrl(const QUrl& url) override { opened.push_back(url); }
};

class FakeSession : public app::IDesktopSession {
public:
    std::vector<std::string> calls;
    void InhibitSleep(const std::string&) override { calls.push_back("inhibit"); }
    void ReleaseSleep() override { calls.push_back("release"); }
    void Notify(const std::string& summary, const std::string& body) override {
        calls.push_back("notify " + summary + ": " + body);
    }
};

// The store the program reads at start, in memory.
class MemoryStore : public app::ISettingsStore {
public:
    std::map<std::string, std::string> values;
    bool Open() override { return true; }
    std::optional<std::string> ReadString(const std::string& name) override {
        auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional(it->second);
    }
    std::optional<int> ReadInteger(const std::string& name) override {
        auto it = values.find(name);
        return it == values.end() ? std::nullopt : std::optional(std::stoi(it->second));
    }
    bool WriteString(const std::string& name, const std::string& value) override {
        values[name] = value;
        return true;
    }
    bool WriteInteger(const std::string& name, int value) override {
        values[name] = std::to_string(value);
        return true;
    }
    bool Close() override { return true; }
};

class ProgramStart : public ::testing::Test {
protected:
    StartOptions Options() {
        StartOptions o;
        auto scripted = std::make_unique<ScriptedDialogs>();
        dialogs = scripted.get();
        o.dialogs = std::move(scripted);
        o.store = &store;
        o.desktop = &desktop;
        o.session = &session;
        return o;
    }
    ScriptedDialogs* dialogs = nullptr;
    MemoryStore store;
    FakeDesktop desktop;
    FakeSession session;
};

TEST_F(ProgramStart, MissingLibrariesSayTheMessageBareAndEndTheProgram) {
    if (binding::AllLoaded())
        GTEST_SKIP() << "the libraries are bound in this process already";
    test::TempDir folder;
    fs::create_directories(folder.path() / "Common");
    // A library under the codec library's name that has none of its entry points.
    fs::copy_file(fs::path(CORVINA_TEST_LIB_DIR) / "libcorvina_stub.so",
                  folder.path() / "Common" /
                      binding::GetLibrary(binding::LibraryId::Codec).FileName());
    // The program owns its dialogs and is gone when RunCorvina returns: keep what they showed.
    struct KeptDialogs : ScriptedDialogs {
        std::vector<std::pair<std::string, std::string>>* kept;
        void ShowMessage(const std::string& text, const std::string& title) override {
            kept->emplace_back(text, title);
        }
    };
    std::vector<std::pair<std::string, std::string>> messages;
    auto kept = std::make_unique<KeptDialogs>();
    kept->kept = &messages;
    StartOptions options = Options();
    options.dialogs = std::move(kept);
    options.programFolder = folder.path().string() + "/";
    EXPECT_EQ(RunCorvina(std::move(options)), 1);
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_EQ(messages[0],
              std::make_pair(std::string("Some files are missing. Please re-install this software"),
                             std::string("Information")));
}

TEST_F(ProgramStart, TheStoredChoicesAreLoadedBeforeTheWindowShowsThem) {
    test::RequireLibraries();
    store.values = {{"Output Folder", "/videos"}, {"ComboOutputFormat", "26"},
                    {"Overwrite", "1"},           {"DropDownItems", "30"},
                    {"LetterBox", "1"},           {"VideoQuality", "2"},
                    {"AudioQuality", "2"}};
    Program program(Options());
    ASSERT_TRUE(program.Start());
    MainWindow& window = program.Window();
    EXPECT_TRUE(window.isVisible());
    EXPECT_FALSE(program.Options().isVisible());
    EXPECT_FALSE(program.About().isVisible());
    EXPECT_EQ(QApplication::applicationDisplayName(), "Corvina");
    // Shown after the load: the stored entry filled, then its preset ("128 Kbps"; the fill's
    // own default would be "64 Kbps").
    const auto* format = window.findChild<QComboBox*>("ComboOutputFormat");
    EXPECT_EQ(format->currentText(), "iPod (*.mp4)");
    EXPECT_EQ(window.findChild<QComboBox*>("ComboAudioBitrate")->currentText(), "128 Kbps");
    EXPECT_EQ(format->maxVisibleItems(), 30);
    // The options dialog mirrors what was loaded.
    EXPECT_TRUE(program.Options().findChild<QCheckBox*>("CheckBoxOverWrite")->isChecked());
    EXPECT_EQ(program.Options().findChild<QSpinBox*>("SpinEdit1")->value(), 30);
    EXPECT_EQ(program.Options().findChild<QComboBox*>("ComboLetterBox")->currentText(),
              "LetterBox");
    EXPECT_EQ(program.Options().findChild<QComboBox*>("ComboAspectRatio")->currentText(),
              "Original");

    // Closing saves; the choices changed since are what is written.
    window.Workflow().SelectVideoQuality(0);
    EXPECT_TRUE(window.close());
    EXPECT_EQ(store.values["VideoQuality"], "0");
    EXPECT_EQ(store.values["Output Folder"], "/videos");
}

TEST_F(ProgramStart, TheOptionsDialogSetsTheMainWindowsBoxesAtOnce) {
    test::RequireLibraries();
    Program program(Options());
    ASSERT_TRUE(program.Start());
    OptionsDialog& options = program.Options();
    app::ConversionWorkflow& flow = program.Window().Workflow();
    EXPECT_EQ(options.windowTitle(), "Additional Options");
    EXPECT_EQ(options.size(), QSize(390, 351));
    EXPECT_TRUE(options.windowFlags() & Qt::WindowStaysOnTopHint);
    EXPECT_EQ(options.findChild<QCheckBox*>("CheckBoxOverWrite")->text(),
              "Overwrite Existing File With The Same Name");
    for (const char* text :
         {"Drop Down Items in Output Format List", "Video Zoom : ", "Video Aspect Ratio : "}) {
        bool found = false;
        for (const QLabel* l : options.findChildren<QLabel*>())
            found = found || (l->text() == text && l->buddy());
        EXPECT_TRUE(found) << text;
    }
    EXPECT_EQ(options.findChild<QPushButton*>("Button1")->text(), "Done");

    // "Set Options" shows it, not modal.
    program.Window().findChild<QAction*>("SetGeneralOptions1")->trigger();
    EXPECT_TRUE(options.isVisible());
    EXPECT_FALSE(options.isModal());

    options.findChild<QCheckBox*>("CheckBoxOverWrite")->setChecked(true);
    EXPECT_TRUE(flow.OverwriteExisting);
    auto* aspect = options.findChild<QComboBox*>("ComboAspectRatio");
    aspect->setCurrentIndex(2);
    EXPECT_EQ(flow.Boxes().ComboAspectRatio.ItemIndex(), 2);
    aspect->setEditText("21:9"); // typed, matching no item
    EXPECT_EQ(flow.Boxes().ComboAspectRatio.ItemIndex(), -1);
    auto* zoom = options.findChild<QComboBox*>("ComboLetterBox");
    zoom->setCurrentIndex(1);
    EXPECT_EQ(flow.Boxes().ComboLetterBox.Text(), "LetterBox");

    auto* spin = options.findChild<QSpinBox*>("SpinEdit1");
    spin->setValue(33);
    EXPECT_EQ(flow.Boxes().ComboOutputFormat.dropDownCount, 33);
    spin->selectAll();
    QTest::keyClicks(spin, "60"); // a typed number outside the range is used as typed
    EXPECT_EQ(flow.DropDownItems, 60);
    EXPECT_EQ(program.Window().findChild<QComboBox*>("ComboOutputFormat")->maxVisibleItems(), 60);

    QTest::mouseClick(options.findChild<QPushButton*>("Button1"), Qt::LeftButton);
    EXPECT_FALSE(options.isVisible());
}

TEST_F(ProgramStart, TheAboutBoxAndTheHelpMenu) {
    test::RequireLibraries();
    Program program(Options());
    ASSERT_TRUE(program.Start());
    AboutBox& about = program.About();
    EXPECT_EQ(about.windowTitle(), "About");
    EXPECT_EQ(about.size(), QSize(359, 244));
    EXPECT_EQ(about.findChild<QLabel*>("Label1")->text(), "Corvina");
    EXPECT_TRUE(about.findChild<QLabel*>("Label1")->font().bold());
    EXPECT_EQ(about.findChild<QLabel*>("Label5")->text(), "Version 2.0");
    EXPECT_FALSE(about.findChild<QLabel*>("Image1")->pixmap().isNull());
    auto* site = about.findChild<QLabel*>("Label2");
    auto* support = about.findChild<QLabel*>("Label3");
    EXPECT_EQ(site->text(), "Visit Harlowe Website");
    EXPECT_EQ(support->text(), "Contact Support Department");
    EXPECT_TRUE(site->font().underline());
    EXPECT_EQ(site->cursor().shape(), Qt::PointingHandCursor);
    EXPECT_EQ(site->palette().color(QPalette::WindowText), QColor(Qt::blue));
    EXPECT_EQ(about.findChild<QToolButton*>("SpeedButton1")->text(), "OK");
    QTest::mouseClick(site, Qt::LeftButton);
    QTest::mouseClick(support, Qt::LeftButton);
    ASSERT_EQ(desktop.opened.size(), 2u);
    EXPECT_EQ(desktop.opened[0], QUrl(kWebsiteUrl));
    EXPECT_EQ(desktop.opened[1].scheme(), "mailto");

    // "About" shows it modally; "OK" closes it.
    QTimer::singleShot(0, [&about] {
        EXPECT_TRUE(about.isModal() && about.isVisible());
        QTest::mouseClick(about.findChild<QToolButton*>("SpeedButton1"), Qt::LeftButton);
    });
    program.Window().findChild<QAction*>("About1")->trigger();
    EXPECT_FALSE(about.isVisible());

    program.Window().findChild<QAction*>("OpenHelpFile1")->trigger();
    program.Window().findChild<QAction*>("VisitOurWebsite1")->trigger();
    ASSERT_EQ(desktop.opened.size(), 4u);
    EXPECT_TRUE(desktop.opened[2].isLocalFile());
    EXPECT_TRUE(desktop.opened[2].toLocalFile().endsWith("help/index.html"));
    EXPECT_EQ(desktop.opened[3], QUrl(kWebsiteUrl));
}

TEST_F(ProgramStart, TheComputerStaysAwakeDuringABatchAndHearsOfItsEndWhenAway) {
    test::RequireLibraries();
    Program program(Options());
    ASSERT_TRUE(program.Start());
    app::ConversionWorkflow& flow = program.Window().Workflow();
    test::TempDir out;
    flow.SetOutputFolder(out.path().string());
    flow.AddFiles({test::Fixture("h264_aac_mono_176x144_15.mov").string(),
                   test::Fixture("garbage.mov").string()});
    auto runBatch = [&flow] {
        flow.Start();
        QElapsedTimer clock;
        clock.start();
        while ((flow.Batch.Converting || flow.TimerEnabled()) && clock.elapsed() < 60000)
            QApplication::processEvents(QEventLoop::AllEvents, 20);
    };
    // The window is the active one: it says so itself, no notice.
    program.Window().activateWindow();
    QApplication::processEvents();
    ASSERT_TRUE(program.Window().isActiveWindow());
    runBatch();
    EXPECT_EQ(session.calls, (std::vector<std::string>{"inhibit", "release"}));

    // Another window is in front: a notice with the counts.
    QWidget other;
    other.show();
    other.activateWindow();
    QApplication::processEvents();
    ASSERT_FALSE(program.Window().isActiveWindow());
    session.calls.clear();
    runBatch();
    EXPECT_EQ(session.calls,
              (std::vector<std::string>{"inhibit", "release",
                                        "notify All Conversions Completed: 1 file converted, "
                                        "1 failed"}));

    // A stopped batch lets go too, without a notice.
    session.calls.clear();
    flow.Start();
    EXPECT_EQ(session.calls, (std::vector<std::string>{"inhibit"}));
    dialogs->Answers = {true};
    flow.Stop();
    EXPECT_EQ(session.calls, (std::vector<std::string>{"inhibit", "release"}));
}

TEST(DesktopSession, NothingBreaksWithoutABus) {
    qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    qputenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent/bus");
    app::DBusDesktopSession session;
    session.InhibitSleep("Converting files");
    EXPECT_FALSE(session.Inhibiting());
    session.Notify("All Conversions Completed", "1 file converted");
    session.ReleaseSleep();
    EXPECT_EQ(app::CompletionText(3, 0), "3 files converted");
    EXPECT_EQ(app::CompletionText(1, 2), "1 file converted, 2 failed");
}

TEST(FontRule, SegoeUiOnePointLargerOnlyWhenInstalledAndNotAlreadyUsed) {
    const QFont tahoma("Tahoma", 8);
    const QFont modern = ModernFont(tahoma, {"DejaVu Sans", "Segoe UI"});
    EXPECT_EQ(modern.family(), "Segoe UI");
    EXPECT_EQ(modern.pointSizeF(), 9.0);
    EXPECT_EQ(ModernFont(tahoma, {"DejaVu Sans"}).family(), "Tahoma");
    EXPECT_EQ(ModernFont(tahoma, {"DejaVu Sans"}).pointSizeF(), 8.0);
    const QFont already("segoe ui", 9);
    EXPECT_EQ(ModernFont(already, {"Segoe UI"}).pointSizeF(), 9.0); // does not grow
}

TEST(Help, TheGeneratedPageListsEveryCatalogueEntry) {
    QFile page(QString(CORVINA_TEST_BIN_DIR) + "/help/index.html");
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    int entries = 0;
    for (const profiles::OutputProfile& entry : profiles::kCatalogue) {
        if (entry.ProfileKind < 0)
            continue;
        entries++;
        const QString name = QString::fromUtf8(entry.DisplayName.data(),
                                               static_cast<qsizetype>(entry.DisplayName.size()));
        EXPECT_TRUE(html.contains("<tr><td>" + name.toHtmlEscaped() + "</td>"))
            << entry.DisplayName;
    }
    EXPECT_EQ(entries, 42);
    for (const char* section : {"id=\"start\"", "id=\"adding\"", "id=\"formats\"", "id=\"options\"",
                                "id=\"status\"", "id=\"headless\""})
        EXPECT_TRUE(html.contains(section)) << section;
}

TEST(Help, FoundBesideTheProgramOrWhereItIsInstalled) {
    test::TempDir tree;
    const QString root = QString::fromStdString(tree.path().string());
    fs::create_directories(tree.path() / "usr" / "bin");
    fs::create_directories(tree.path() / "usr" / "share" / "corvina" / "help");
    std::ofstream(tree.path() / "usr" / "share" / "corvina" / "help" / "index.html") << "x";
    EXPECT_EQ(HelpFilePath(root + "/usr/bin/"), root + "/usr/share/corvina/help/index.html");
    fs::create_directories(tree.path() / "usr" / "bin" / "help");
    std::ofstream(tree.path() / "usr" / "bin" / "help" / "index.html") << "x";
    EXPECT_EQ(HelpFilePath(root + "/usr/bin/"), root + "/usr/bin/help/index.html");
}

} // namespace
} // namespace corvina::window::testing
