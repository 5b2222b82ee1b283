// TForm1, the main window: the file list, the output folder and format, the video and audio
// choices, the volume, the progress, the preview pane and the menus. A view over the
// workflow core: it shows the core's state when told of a change and forwards every user
// command; the batch itself lives in the core, as it does for the headless front end.
#pragma once

#include "app/core/Workflow.h"
#include "app/qt/QtScheduler.h"
#include "app/window/ChoiceBoxBinding.h"
#include "app/window/FileListView.h"
#include "preview/MediaPlayer.h"

#include <QElapsedTimer>
#include <QMainWindow>

#include <memory>
#include <vector>

class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPlainTextEdit;
class QProgressBar;
class QSlider;
class QToolButton;

namespace corvina::window {

class AboutBox;
class IDesktop;
class OptionsDialog;
} // namespace corvina::window

namespace corvina::preview {
class PreviewPane;
}

namespace corvina::window {

class MainWindow : public QMainWindow, private app::WorkflowObserver {
public:
    // `dialogs`: the message boxes and file dialogs; null for Qt's own. `player`: the
    // preview's player; null for the Qt Multimedia one.
    explicit MainWindow(std::unique_ptr<app::IDialogs> dialogs = nullptr,
                        std::unique_ptr<preview::IMediaPlayer> player = nullptr);
    ~MainWindow() override;

    // FormCreate: binds the libraries (false, after the message, when they are missing),
    // then sets the window's first state.
    bool Create();

    // The about box, the options dialog and the desktop the menus open; created after the
    // window, as the program starts.
    void Attach(AboutBox* about, OptionsDialog* options, IDesktop* desktop);

    app::ConversionWorkflow& Workflow() { return *workflow_; }
    hosting::TTranscodeEngine& Engine() { return engine_; }
    preview::PreviewPane& Preview() { return *Preview1; }

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // Building the window, top to bottom.
    void BuildToolbar(QWidget* parent);
    void BuildOutputRow(QWidget* parent);
    void BuildLowerPane(QWidget* parent, std::unique_ptr<preview::IMediaPlayer> player);
    QWidget* BuildPreviewPane(QWidget* parent, std::unique_ptr<preview::IMediaPlayer> player);
    void BuildMenus();
    void BuildListMenu();
    void BuildStatusBar();
    void BindBoxes();
    QToolButton* ToolbarButton(QWidget* parent, const char* name, const char* caption,
                               const char* icon);

    // WorkflowObserver: the core's state reaches the widgets only here, on the GUI thread.
    void RowsInserted(int first, int count) override;
    void RowChanged(int row) override;
    void RowRemoved(int row) override;
    void RowsReset() override;
    void SelectionChanged(int row) override;
    void BatchStarted() override;
    void JobStarted(int row) override;
    void ProgressChanged(int row) override;
    void BoxesChanged() override;
    void StatusChanged() override;

    void ShowListMenu(const QPoint& pos);
    void UpdateEstimates(int row);

    app::QtScheduler scheduler_;
    hosting::TTranscodeEngine engine_;
    profiles::MainWindowBoxes boxes_;
    std::unique_ptr<app::IDialogs> dialogs_;
    std::unique_ptr<app::ConversionWorkflow> workflow_;
    std::vector<std::unique_ptr<ChoiceBoxBinding>> bindings_;
    bool shown_ = false;
    QElapsedTimer fileClock_;  // since the running job started
    QElapsedTimer batchClock_; // since the batch started

    // Controls, by their names in the window.
    QToolButton* ButtonAddFile = nullptr;
    QToolButton* ButtonRemove = nullptr;
    QToolButton* ButtonClear = nullptr;
    QToolButton* ButtonStopConvert = nullptr;
    QToolButton* ButtonConvert = nullptr;
    QLineEdit* EditOutputFolder = nullptr;
    QToolButton* ButtonBrowseForFolder = nullptr;
    DropDownComboBox* ComboOutputFormat = nullptr;
    FileListView* ListView1 = nullptr;
    QPlainTextEdit* Memo1 = nullptr;
    QComboBox* ComboVideoQuality = nullptr;
    QComboBox* ComboVideoSize = nullptr;
    QComboBox* ComboVideoFramerate = nullptr;
    QComboBox* ComboAudioQuality = nullptr;
    QComboBox* ComboAudioChannels = nullptr;
    QSlider* TrackBar1 = nullptr;
    QLabel* LabelVolume = nullptr;
    QProgressBar* ProgressBar1 = nullptr;
    QToolButton* ButtonStopSmall = nullptr;
    QLabel* StatusPanels[3] = {};
    preview::PreviewPane* Preview1 = nullptr;
    QMenu* PopupListView1 = nullptr;
    std::vector<QMenu*> mainMenus_; // the top-level entries of MainMenu1
    QAction* SplitSelectedFile = nullptr;
    AboutBox* about_ = nullptr;
    OptionsDialog* options_ = nullptr;
    IDesktop* desktop_ = nullptr;
};

} // namespace corvina::window
