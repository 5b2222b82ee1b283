#include "preview/PreviewController.h"

#include "app/core/RowTexts.h"
#include "preview/PlaybackGraph.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

namespace corvina::preview {

namespace {

constexpr int kSeekIntervalMs = 1000;
constexpr const char* kNoCodec = "No Video Codec To Play This File!";
constexpr const char* kNoTimers = "Not enough timers available";
constexpr const char* kInformation = "Information";

} // namespace

PreviewController::PreviewController(app::ConversionWorkflow& workflow, app::IDialogs& dialogs,
                                     IMediaPlayer& player)
    : workflow_(workflow), dialogs_(dialogs), player_(player) {
    timer_.setInterval(kSeekIntervalMs);
    QObject::connect(&timer_, &QTimer::timeout, [this] { TimerTick(); });
    player_.OnError = [this] {
        StopTimer();
        if (errorShown_)
            return; // one load, one message
        errorShown_ = true;
        if (ShowError)
            ShowError(kNoCodec);
    };
    player_.OnDurationChanged = [this] {
        if (bar_.Maximum == 0 && !bar_.Pressed) {
            bar_.Maximum = static_cast<int>(player_.DurationMs());
            Changed();
        }
    };
    workflow_.AddObserver(this);
}

PreviewController::~PreviewController() {
    workflow_.RemoveObserver(this);
    player_.OnError = nullptr;
    player_.OnDurationChanged = nullptr;
}

void PreviewController::Changed() {
    if (OnChanged)
        OnChanged();
}

void PreviewController::StartTimer() {
    timer_.start();
    if (!timer_.isActive() && ShowError)
        ShowError(kNoTimers);
}

void PreviewController::StopTimer() {
    timer_.stop();
}

void PreviewController::Play() {
    if (Converting())
        return;
    if (paused_) {
        player_.Play();
        paused_ = false;
        StartTimer();
        Changed();
        return;
    }
    stopped_ = false;
    player_.Stop();
    StopTimer();
    const int row = workflow_.SelectedRow;
    if (row < 0 || row >= static_cast<int>(workflow_.Rows.size())) {
        Changed();
        return;
    }
    previewRow_ = row;
    previewFile_ = QString::fromStdString(app::Trim(workflow_.Rows[row].Caption));
    paused_ = false;
    // A fresh, empty, active graph.
    player_.Unload();
    active_ = true;
    errorShown_ = false;
    bar_ = SeekBar{};
    player_.Load(previewFile_);
    bar_.Maximum = static_cast<int>(player_.DurationMs());
    player_.Play();
    if (!errorShown_)
        StartTimer();
    Changed();
}

void PreviewController::Pause() {
    if (Converting() || stopped_)
        return;
    player_.Pause();
    paused_ = true;
    StopTimer();
    Changed();
}

void PreviewController::Stop() {
    if (Converting())
        return;
    player_.Stop();
    player_.Unload();
    active_ = false;
    paused_ = false;
    stopped_ = true;
    StopTimer();
    Changed();
}

void PreviewController::SelectionChanged(int row) {
    if (row < 0 || row == previewRow_)
        return; // a deselection, or the playing row again
    player_.Stop();
    paused_ = false;
    StopTimer();
    Changed();
}

void PreviewController::StopPreview() {
    player_.Stop();
    paused_ = false;
    StopTimer();
    Changed();
}

void PreviewController::Close() {
    StopTimer();
    player_.Unload();
    active_ = false;
}

void PreviewController::TimerTick() {
    if (bar_.Pressed)
        return;
    bar_.Minimum = 0;
    bar_.Maximum = static_cast<int>(player_.DurationMs() / 1000);
    bar_.Position = static_cast<int>(player_.PositionMs() / 1000);
    Changed();
}

void PreviewController::SeekBarPressed() {
    bar_.Pressed = true;
}

void PreviewController::SeekBarReleased(int position) {
    bar_.Pressed = false;
    bar_.Position = position;
    if (bar_.Maximum > 0)
        player_.SetPositionMs(player_.DurationMs() * position / bar_.Maximum);
    Changed();
}

void PreviewController::SelectVolume(int level) {
    const VolumeLevel& chosen = kVolumeLevels[std::clamp(level, 0, 2)];
    volume_ = std::clamp(chosen.volume, 0, kMaxVolume);
    volumePicture_ = chosen.picture;
    player_.SetVolume(LinearGain(Attenuation(volume_)));
    Changed();
}

bool PreviewController::CheckOutputFolder() {
    const std::string& folder = workflow_.OutputFolder;
    if (folder.empty()) {
        dialogs_.ShowMessage("Please select an output folder!", kInformation);
        workflow_.BrowseForFolder();
        return false;
    }
    if (!QFileInfo(QString::fromStdString(app::Trim(folder))).isDir()) {
        dialogs_.ShowMessage("The output folder \"" + folder +
                                 "\"\n\rdoes not exist or has been deleted!\n\rPlease choose a "
                                 "new output folder.",
                             kInformation);
        workflow_.BrowseForFolder();
        return false;
    }
    return true;
}

QString PreviewController::SnapshotName(const QString& folder, const QString& file) {
    QString base = folder;
    while (base.size() > 1 && base.endsWith('/'))
        base.chop(1);
    const std::string path = (base + "/" + QFileInfo(file).fileName()).toStdString();
    return QString::fromStdString(app::UniqueOutputName(path, ".bmp"));
}

void PreviewController::Snapshot() {
    if (Converting() || !active_)
        return;
    if (!CheckOutputFolder())
        return;
    // A file without video, or no picture shown yet: nothing to save, not even an empty
    // picture.
    const QImage frame = player_.CurrentFrame();
    if (frame.isNull())
        return;
    const QString name = SnapshotName(QString::fromStdString(workflow_.OutputFolder), previewFile_);
    if (!frame.convertToFormat(QImage::Format_RGB888).save(name, "BMP"))
        return;
    if (PlaySnapSound)
        PlaySnapSound();
}

} // namespace corvina::preview
