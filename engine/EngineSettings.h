// The engine's option state: one set of "current" values filled by the options and read
// when inputs are opened, output streams created and the job runs.
#pragma once

#include "binding/EntryPoints.h"

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace corvina::engine {

inline constexpr int kMaxFiles = 20;   // inputs, and outputs, per job
inline constexpr int kMaxStreams = 20; // per file, for itsscale
inline constexpr int kMaxMaps = 20;    // stream maps, and metadata maps

struct StreamMap {
    int File = 0;
    int Stream = 0;
    int SyncFile = 0;
    int SyncStream = 0;
};

struct MetaDataMap {
    int OutFile = 0;
    int InFile = 0;
};

using QuantMatrix = std::array<uint16_t, 64>;

// Indexes of MaxFrames: the library's media types.
inline constexpr int kMediaVideo = 0, kMediaAudio = 1, kMediaData = 2, kMediaSubtitle = 3;

inline constexpr int kMaxCodecThreads = 16;

struct EngineSettings {
    // Files, maps and limits
    double InputTsScale[kMaxFiles][kMaxStreams] = {};
    std::vector<StreamMap> StreamMaps;
    std::vector<MetaDataMap> MetaDataMaps;
    const AVInputFormat* InputFormat = nullptr;
    const AVOutputFormat* OutputFormat = nullptr;

    // Per-stream video settings, taken over by the next video stream created
    int FrameWidth = 0, FrameHeight = 0;
    float FrameAspectRatio = 0;
    int FramePixFmt = -1;
    int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
    int PadColorY = 16, PadColorU = 128, PadColorV = 128;
    int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
    int MaxFrames[4] = {INT_MAX, INT_MAX, INT_MAX, INT_MAX};
    AVRational FrameRate{0, 0};
    float VideoQScale = 0;
    std::optional<QuantMatrix> IntraMatrix, InterMatrix;
    std::string VideoRcOverride;
    int VideoDisable = 0;
    int VideoDiscard = 0;
    std::string VideoCodecName;
    int VideoStreamCopy = 0;
    uint32_t VideoCodecTag = 0;
    int SameQuality = 0;
    int Deinterlace = 0;
    int TopFieldFirst = -1;
    int MeThreshold = 0;
    int IntraDcPrecision = 8;
    int IntraOnly = 0;
    int QpHistogram = 0;
    int VideoChannel = 0;
    std::string VideoStandard;

    // Per-stream audio and subtitle settings
    int AudioSampleRate = 44100;
    float AudioQScale = -99999.0f;
    int AudioDisable = 0;
    int AudioChannels = 2;
    std::string AudioCodecName;
    int AudioStreamCopy = 0;
    uint32_t AudioCodecTag = 0;
    std::string AudioLanguage;
    int AudioVolume = 256;
    int SubtitleDisable = 0;
    std::string SubtitleCodecName;
    int SubtitleStreamCopy = 0;
    std::string SubtitleLanguage;

    // Per-file and global settings
    int64_t RecordingTime = INT64_MAX; // µs
    int64_t StartTime = 0;             // µs
    int64_t InputTsOffset = 0;         // µs
    int64_t RecordingTimestamp = 0;    // seconds
    std::string Title, Author, Copyright, Comment, Genre, Album;
    int Year = 0, Track = 0;
    int64_t FileSizeLimit = 0;
    int LoopInput = 0;
    int LoopOutput = -1;
    float MuxPreload = 0.5f;
    float MuxMaxDelay = 0.7f;
    int VideoSyncMethod = -1;
    int AudioSyncMethod = 0;
    float AudioDriftThreshold = 0.1f;
    float DtsDeltaThreshold = 10.0f;
    uint8_t CopyTs = 0;
    int Shortest = 0;
    int VideoGlobalHeader = 0;
    int ProgramId = 0;
    int RateEmulation = 0;
    int InputSync = 0;
    int DoPass = 0;
    std::string PassLogFileName; // empty means "ffmpeg2pass"
    int DoPsnr = 0;
    int HexDump = 0, PacketDump = 0;
    std::string VstatsFileName;
    bool UsingVideoHook = false;
    int Verbosity = 1;
    int ScalerFlags = 4; // bicubic
    int ThreadCount = 1; // per codec; see TCustomTranscoder::SetThreadCount
    bool PgmyuvCompatibility = false;
    int DurationMs = -1;
};

} // namespace corvina::engine
