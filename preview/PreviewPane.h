// The preview pane of the main window: the video window with the snapshot's picture holder
// behind it, the seek bar, the buttons Play, Pause, Stop, Snapshot and Volume with its menu.
// A view over PreviewController.
#pragma once

#include "preview/PreviewController.h"
#include "preview/QtMediaPlayer.h"

#include <QFrame>

#include <memory>

class QLabel;
class QMenu;
class QSlider;
class QToolButton;
class QVideoWidget;

namespace corvina::preview {

class PreviewPane : public QFrame {
public:
    // `player` null: the Qt Multimedia player on the pane's video widget.
    PreviewPane(app::ConversionWorkflow& workflow, app::IDialogs& dialogs, QWidget* parent,
                std::unique_ptr<IMediaPlayer> player = nullptr);
    ~PreviewPane() override;

    PreviewController& Controller() { return *controller_; }
    IMediaPlayer& Player() { return *player_; }

private:
    void Refresh();
    void ShowVolumeMenu();
    void PlaySnap();

    QVideoWidget* VideoWindow1 = nullptr;
    QLabel* Image1 = nullptr;
    QSlider* DSTrackBar1 = nullptr;
    QToolButton* ButtonVolume = nullptr;
    QMenu* PopupMenuSpeaker = nullptr;
    std::unique_ptr<IMediaPlayer> player_;
    std::unique_ptr<PreviewController> controller_;
};

} // namespace corvina::preview
