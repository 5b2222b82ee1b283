#include "preview/QtMediaPlayer.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QUrl>
#include <QVideoFrame>
#include <QVideoSink>
#include <QVideoWidget>

namespace corvina::preview {

namespace {

constexpr int kSettleMs = 15;

} // namespace

void PreferPlaybackBackend() {
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND"))
        qputenv("QT_MEDIA_BACKEND", "gstreamer");
}

QtMediaPlayer::QtMediaPlayer(QVideoWidget* video) : video_(video) {
    player_.setAudioOutput(&audio_);
    player_.setVideoOutput(video_);
    QObject::connect(&player_, &QMediaPlayer::errorOccurred, &player_,
                     [this](QMediaPlayer::Error error, const QString&) {
                         if (error == QMediaPlayer::NoError || errorReported_)
                             return;
                         errorReported_ = true;
                         if (OnError)
                             OnError();
                     });
    QObject::connect(&player_, &QMediaPlayer::durationChanged, &player_, [this](qint64) {
        if (OnDurationChanged)
            OnDurationChanged();
    });
}

QtMediaPlayer::~QtMediaPlayer() {
    Quiet();
    player_.setSource(QUrl());
}

void QtMediaPlayer::Quiet() {
    if (player_.playbackState() != QMediaPlayer::PlayingState)
        return;
    player_.pause();
    // The pause takes effect once the backend's messages are handled; then stopping or
    // replacing the source costs a few milliseconds instead of some 300.
    QElapsedTimer clock;
    clock.start();
    while (clock.elapsed() < kSettleMs)
        QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, kSettleMs);
}

void QtMediaPlayer::Load(const QString& file) {
    Quiet();
    errorReported_ = false;
    player_.setSource(QUrl::fromLocalFile(file));
}

void QtMediaPlayer::Unload() {
    Quiet();
    if (!player_.source().isEmpty())
        player_.setSource(QUrl());
}

void QtMediaPlayer::Play() {
    player_.play();
}

void QtMediaPlayer::Pause() {
    player_.pause();
}

void QtMediaPlayer::Stop() {
    Quiet();
    player_.stop();
}

qint64 QtMediaPlayer::DurationMs() const {
    return player_.duration();
}

qint64 QtMediaPlayer::PositionMs() const {
    return player_.position();
}

void QtMediaPlayer::SetPositionMs(qint64 position) {
    player_.setPosition(position);
}

void QtMediaPlayer::SetVolume(double linear) {
    audio_.setVolume(static_cast<float>(linear));
}

QImage QtMediaPlayer::CurrentFrame() const {
    const QVideoFrame frame = video_->videoSink()->videoFrame();
    if (!frame.isValid())
        return {};
    // RGB32 or premultiplied RGBA depending on the platform: the snapshot is 24-bit.
    return frame.toImage().convertToFormat(QImage::Format_RGB888);
}

} // namespace corvina::preview
