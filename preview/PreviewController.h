// The preview's rules: Play, Pause, Stop, the row selection, the seek bar, the volume menu
// and the snapshot, over a player (IMediaPlayer) and the workflow core, whose running batch
// silences every button. Main thread only.
#pragma once

#include "app/core/Dialogs.h"
#include "app/core/Workflow.h"
#include "preview/MediaPlayer.h"

#include <QString>
#include <QTimer>

#include <functional>

namespace corvina::preview {

// The seek bar: whole seconds once the first second has passed.
struct SeekBar {
    int Minimum = 0;
    int Maximum = 0;
    int Position = 0;
    bool Pressed = false; // the left button is held on it: no updates
};

class PreviewController : private app::WorkflowObserver {
public:
    PreviewController(app::ConversionWorkflow& workflow, app::IDialogs& dialogs,
                      IMediaPlayer& player);
    ~PreviewController() override;
    PreviewController(const PreviewController&) = delete;
    PreviewController& operator=(const PreviewController&) = delete;

    // --- the buttons and the list ---
    void Play();
    void Pause();
    void Stop();
    void Snapshot();
    void SelectVolume(int level); // an index into kVolumeLevels
    // The window closes: the file is taken away and the graph deactivated.
    void Close();

    // --- the seek bar ---
    void SeekBarPressed();
    void SeekBarReleased(int position);
    void TimerTick(); // once a second while playing
    bool TimerRunning() const { return timer_.isActive(); }

    // --- state, for the view ---
    const SeekBar& Bar() const { return bar_; }
    bool Active() const { return active_; }
    bool Paused() const { return paused_; }
    bool Stopped() const { return stopped_; }
    int PreviewRow() const { return previewRow_; }
    const QString& PreviewFile() const { return previewFile_; }
    int Volume() const { return volume_; }
    const char* VolumePicture() const { return volumePicture_; }

    // --- what the view supplies ---
    std::function<void(const QString&)> ShowError; // the program's error box
    std::function<void()> PlaySnapSound;           // bounded: never waits long
    std::function<void()> OnChanged;               // seek bar, volume picture, state

    // Where the snapshot of `file` goes in `folder`: its name with ".bmp", numbered "-1",
    // "-2", ... while taken.
    static QString SnapshotName(const QString& folder, const QString& file);

private:
    // WorkflowObserver.
    void SelectionChanged(int row) override;
    void StopPreview() override;

    bool Converting() const { return workflow_.Batch.Converting; }
    void StartTimer();
    void StopTimer();
    void Changed();
    bool CheckOutputFolder();

    app::ConversionWorkflow& workflow_;
    app::IDialogs& dialogs_;
    IMediaPlayer& player_;
    QTimer timer_;
    SeekBar bar_;
    bool active_ = false; // the graph has been activated and not deactivated since
    bool paused_ = false;
    bool stopped_ = false;
    bool errorShown_ = false; // the failure of the current load has been told
    int previewRow_ = -1;
    QString previewFile_;
    int volume_ = 10000;
    const char* volumePicture_ = "spkfull";
};

} // namespace corvina::preview
