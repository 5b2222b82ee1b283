#include "app/window/StartUp.h"

#include "app/qt/QtSettingsStore.h"
#include "app/window/AboutBox.h"
#include "app/window/MainWindow.h"
#include "app/window/OptionsDialog.h"

#include <QApplication>

namespace corvina::window {

Program::Program(StartOptions options) : options_in_(std::move(options)) {
    if (!options_in_.store) {
        ownStore_ = std::make_unique<app::QtSettingsStore>();
        options_in_.store = ownStore_.get();
    }
    if (!options_in_.desktop) {
        ownDesktop_ = std::make_unique<QtDesktop>();
        options_in_.desktop = ownDesktop_.get();
    }
    if (!options_in_.session) {
        ownSession_ = std::make_unique<app::DBusDesktopSession>();
        options_in_.session = ownSession_.get();
    }
}

Program::~Program() {
    batchSession_.reset();
    window_.reset();
}

bool Program::Start() {
    QApplication::setApplicationDisplayName("Corvina");
    window_ = std::make_unique<MainWindow>(std::move(options_in_.dialogs));
    app::ConversionWorkflow& workflow = window_->Workflow();
    if (!options_in_.programFolder.empty())
        workflow.ProgramFolder = options_in_.programFolder;
    if (!window_->Create())
        return false;
    about_ = new AboutBox(*options_in_.desktop, window_.get());
    options_ = new OptionsDialog(workflow, *options_in_.store, window_.get());
    window_->Attach(about_, options_, options_in_.desktop);
    app::ISettingsStore* store = options_in_.store;
    workflow.SaveSettings = [store, &workflow] { app::SaveSettings(*store, workflow); };
    MainWindow* window = window_.get();
    batchSession_ = std::make_unique<app::BatchSession>(
        workflow, *options_in_.session, [window] { return window->isActiveWindow(); });
    window_->show();
    return true;
}

int RunCorvina(StartOptions options) {
    Program program(std::move(options));
    if (!program.Start())
        return 1;
    return QApplication::exec();
}

} // namespace corvina::window
