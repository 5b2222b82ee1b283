// Reads a media file back with the libraries, to verify what was written independently of
// whatever wrote it: streams, codecs, sizes, rates, durations, and a full decode of every
// packet (flush included) with its error count.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace corvina::test {

struct Ratio {
    int num = 0;
    int den = 1;
    double value() const { return den != 0 ? static_cast<double>(num) / den : 0.0; }
    bool known() const { return num != 0 && den != 0; }
};

enum class StreamKind { Video, Audio, Subtitle, Data, Other };
const char* StreamKindName(StreamKind kind); // "video", "audio", ...

struct StreamInfo {
    int index = -1;
    StreamKind kind = StreamKind::Other;
    std::string codec; // the codec's short name, e.g. "h264", "aac", "mov_text"
    int width = 0, height = 0;
    Ratio avgFrameRate; // as the container states it; 0/1 when unknown
    Ratio sampleAspect; // 0/1 when unknown
    int sampleRate = 0;
    int channels = 0;
    double duration = -1.0; // the stream's own duration in seconds, -1 when not stated
    // Timeline seen in the packets: first pts and the end (pts + duration) of the last one,
    // in seconds; -1 when no packet carried a timestamp.
    double firstTime = -1.0;
    double endTime = -1.0;
    int64_t packets = 0;
    int64_t frames = 0;  // decoded frames (video, audio) or subtitles
    int64_t samples = 0; // decoded audio samples per channel
    int64_t decodeErrors = 0;
    bool decoderOpened = false;
    std::string firstDecodeError; // text of the first decode error, empty when none
    bool displayMatrix = false;   // the stream tells players to turn or mirror its pictures
    // The first decoded picture as 24-bit RGB rows (width * 3 bytes each), stored size; only
    // with ReadBackOptions::keepFirstPicture.
    std::vector<uint8_t> firstPictureRgb;
    // The colour of a pixel of that picture, x and y as shares of its width and height.
    std::array<int, 3> RgbAt(double x, double y) const;
    // The decoded samples as seconds (audio); 0 for other kinds.
    double decodedSeconds() const { return sampleRate > 0 ? double(samples) / sampleRate : 0.0; }
};

struct MediaInfo {
    bool opened = false;
    std::string error;      // why the file could not be opened; empty when opened
    std::string container;  // the demuxer's name, e.g. "mov,mp4,m4a,3gp,3g2,mj2", "rm"
    double duration = -1.0; // container duration in seconds, -1 when not stated
    std::vector<StreamInfo> streams;
    // Reading stopped on an error other than the end of the file (e.g. cut data).
    std::string readError;

    int Count(StreamKind kind) const;
    // The first stream of a kind, or nullptr.
    const StreamInfo* First(StreamKind kind) const;
    const StreamInfo* Video() const { return First(StreamKind::Video); }
    const StreamInfo* Audio() const { return First(StreamKind::Audio); }
    const StreamInfo* Subtitle() const { return First(StreamKind::Subtitle); }
    int64_t TotalDecodeErrors() const;
    // Opened, read to its end without a read error, every stream's decoder opened and not
    // one decode error.
    bool DecodesCleanly() const;
};

struct ReadBackOptions {
    bool decode = true; // false: only open, read packets and count them
    // Decoders report bitstream damage as errors instead of concealing it; turn off only for
    // codecs whose decoders flag sound streams.
    bool strict = true;
    bool keepFirstPicture = false; // keep each video stream's first picture as RGB
};

// Binds the libraries if needed. Never throws for a bad file: a file that can't be opened
// comes back with opened=false and the reason in error.
MediaInfo ReadBack(const std::filesystem::path& file, const ReadBackOptions& options = {});

// A one-paragraph summary for failure messages.
std::string Describe(const MediaInfo& info);

} // namespace corvina::test
