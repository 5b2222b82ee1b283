// Opens a media file, reads its stream information and answers questions about it without
// decoding anything: the frame size, rate and duration the file list shows.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

namespace corvina::hosting {

// What the container says about itself. When no file is loaded every number is -1 and every text
// all zero.
struct FormatInfo {
    std::int64_t StartTime; // microseconds
    std::int64_t Duration;  // microseconds
    std::int32_t BitRate;   // bits per second, 0 when unknown
    std::int64_t Timestamp; // creation time, microseconds since 1970 (0 when the file has none)
    char Title[512];
    char Author[512];
    char Copyright[512];
    char Comment[512];
    char Album[512];
    std::int32_t Year;
    std::int32_t Track;
    char Genre[32];
};

// One video stream; the bracketed defaults are what a field holds when nothing was filled.
struct VideoStreamInfo {
    char Language[4];               // ISO 639 code [zero]
    char CodecName[32];             // [zero]
    std::int64_t StartTime;         // stream time base [-1]
    std::int64_t StartTimeRescaled; // microseconds [-1]
    std::int64_t Duration;          // stream time base [-1]
    std::int64_t DurationRescaled;  // microseconds [-1]
    std::int32_t BitRate;           // [-1]
    std::int32_t Height;            // [-1]
    std::int32_t Width;             // [-1]
    float DisplayAspect;            // width * sample aspect / height [-1.0]
    std::int32_t PixFmt;            // the libraries' pixel-format number [-1]
    std::int32_t FrameRateNum;      // the stream's real frame rate [-1]
    std::int32_t FrameRateDen;      // [-1]
};

// The stream summary: all -1 when no file is loaded; the "first" values are stream indices,
// -1 when there is no stream of that kind.
struct StreamSummary {
    int StreamCount = -1;
    int ProgramCount = -1;
    int AudioStreamCount = -1;
    int VideoStreamCount = -1;
    int SubtitleStreamCount = -1;
    int FirstAudioStream = -1;
    int FirstVideoStream = -1;
    int FirstSubtitleStream = -1;
};

// What the probe yields for one file.
struct ProbeResult {
    StreamSummary Summary;
    FormatInfo Format;
    VideoStreamInfo Video; // of the first video stream
};

void ResetFormatInfo(FormatInfo& info);
void ResetVideoStreamInfo(VideoStreamInfo& info);

// No lock: one thread at a time uses a probe.
class TMediaProbe {
public:
    // Log lines of the queries (each text ends with a line feed). ALevel is the libraries'
    // classic level: 0 for errors, 1 for information. Called only when set.
    std::function<void(int ALevel, const std::string& AMsg)> OnLog;

    TMediaProbe();
    ~TMediaProbe(); // closes the file
    TMediaProbe(const TMediaProbe&) = delete;
    TMediaProbe& operator=(const TMediaProbe&) = delete;

    // Opens fileName (forcing the named input format when formatName is not empty). Raises
    // binding::ELibraryError when the libraries are not bound; otherwise false with the
    // reason in LastError. A failed load leaves no file open.
    bool LoadFile(const std::string& fileName, const std::string& formatName = {});
    void CloseFile();
    bool Loaded() const { return open_ != nullptr; }

    void GetFormatInfo(FormatInfo& info);
    // The first video stream.
    void GetVideoStreamInfo(VideoStreamInfo& info);
    // Stream `index`; below 0 means the first video stream.
    void GetVideoStreamInfo(int index, VideoStreamInfo& info);
    // Summary, format and first video stream together.
    void GetResult(ProbeResult& result);

    const std::string& LastError() const { return lastError_; }
    const std::string& FormatName() const { return formatName_; }
    const StreamSummary& Summary() const { return summary_; }
    int StreamCount() const { return summary_.StreamCount; }
    int ProgramCount() const { return summary_.ProgramCount; }
    int AudioStreamCount() const { return summary_.AudioStreamCount; }
    int VideoStreamCount() const { return summary_.VideoStreamCount; }
    int SubtitleStreamCount() const { return summary_.SubtitleStreamCount; }
    int FirstAudioStream() const { return summary_.FirstAudioStream; }
    int FirstVideoStream() const { return summary_.FirstVideoStream; }
    int FirstSubtitleStream() const { return summary_.FirstSubtitleStream; }

private:
    void Log(int level, const std::string& text);

    struct OpenFile; // the opened container with its I/O and guard (library types)
    std::unique_ptr<OpenFile> open_;
    std::string lastError_;
    std::string formatName_;
    StreamSummary summary_;
};

} // namespace corvina::hosting
