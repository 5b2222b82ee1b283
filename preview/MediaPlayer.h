// The playback framework as the preview rules see it: load a file into the video window,
// run, pause, stop, duration and position, absolute seeking, a linear volume and a copy of
// the picture on screen. The real one plays with Qt Multimedia; tests give a fake.
#pragma once

#include <QImage>
#include <QString>

#include <functional>

namespace corvina::preview {

class IMediaPlayer {
public:
    virtual ~IMediaPlayer() = default;

    // Renders the file for playing. A file that cannot be played is reported through
    // OnError, at once or later, once per load.
    virtual void Load(const QString& file) = 0;
    // Takes the file away: nothing is loaded, nothing plays.
    virtual void Unload() = 0;
    virtual void Play() = 0;
    virtual void Pause() = 0;
    virtual void Stop() = 0;
    virtual qint64 DurationMs() const = 0;
    virtual qint64 PositionMs() const = 0;
    virtual void SetPositionMs(qint64 position) = 0;
    // 0 silent .. 1 full.
    virtual void SetVolume(double linear) = 0;
    // The picture on screen at the video's own size, 24-bit RGB; null when there is none.
    virtual QImage CurrentFrame() const = 0;

    std::function<void()> OnError;
    // The duration became known (it may come after Load).
    std::function<void()> OnDurationChanged;
};

} // namespace corvina::preview
