// The preview's player on Qt Multimedia: a QMediaPlayer with an audio output, showing its
// pictures in the pane's video widget, whose sink gives the frame on screen.
#pragma once

#include "preview/MediaPlayer.h"

#include <QAudioOutput>
#include <QMediaPlayer>

class QVideoWidget;

namespace corvina::preview {

// The playback framework the preview uses: GStreamer, unless the user chose one. (Called
// before the first player is made.)
void PreferPlaybackBackend();

class QtMediaPlayer : public IMediaPlayer {
public:
    explicit QtMediaPlayer(QVideoWidget* video);
    ~QtMediaPlayer() override;

    void Load(const QString& file) override;
    void Unload() override;
    void Play() override;
    void Pause() override;
    void Stop() override;
    qint64 DurationMs() const override;
    qint64 PositionMs() const override;
    void SetPositionMs(qint64 position) override;
    void SetVolume(double linear) override;
    QImage CurrentFrame() const override;

private:
    // Stopping or replacing a playing source blocks the GUI thread for some 300 ms; a paused
    // one does not.
    void Quiet();

    QVideoWidget* video_;
    QAudioOutput audio_;
    QMediaPlayer player_;
    bool errorReported_ = false; // the backend tells one failure twice
};

} // namespace corvina::preview
