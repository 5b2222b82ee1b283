// The program's start in its order: the application's title, the main window (which binds
// the libraries and sets its first state), the about box, the options dialog (which loads
// the settings), then the window shown (the stored format applied, then the presets).
// Closing saves the settings; "Exit" does not.
#pragma once

#include "app/core/Dialogs.h"
#include "app/core/Settings.h"
#include "app/qt/DesktopSession.h"
#include "app/window/Desktop.h"

#include <memory>
#include <string>

namespace corvina::window {

class AboutBox;
class MainWindow;
class OptionsDialog;

// What the program runs on; each left empty takes the real one.
struct StartOptions {
    std::unique_ptr<app::IDialogs> dialogs;  // Qt's message boxes and file dialogs
    app::ISettingsStore* store = nullptr;    // QSettings
    IDesktop* desktop = nullptr;             // the desktop's browser and mail program
    app::IDesktopSession* session = nullptr; // logind and the notification service
    std::string programFolder;               // where "Common" and the help are looked for
};

class Program {
public:
    explicit Program(StartOptions options);
    ~Program();
    Program(const Program&) = delete;
    Program& operator=(const Program&) = delete;

    // Everything up to the message loop; false when the libraries could not be loaded (the
    // message was shown).
    bool Start();

    MainWindow& Window() { return *window_; }
    OptionsDialog& Options() { return *options_; }
    AboutBox& About() { return *about_; }

private:
    StartOptions options_in_;
    std::unique_ptr<app::ISettingsStore> ownStore_;
    std::unique_ptr<IDesktop> ownDesktop_;
    std::unique_ptr<app::IDesktopSession> ownSession_;
    std::unique_ptr<MainWindow> window_;
    AboutBox* about_ = nullptr;        // owned by the window
    OptionsDialog* options_ = nullptr; // owned by the window
    std::unique_ptr<app::BatchSession> batchSession_;
};

// main()'s body: starts the program and runs the message loop; 1 when it could not start.
int RunCorvina(StartOptions options = {});

} // namespace corvina::window
