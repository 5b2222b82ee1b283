// The two option records of one engine task: what the window (or the headless front end)
// fills for an input file and for an output file. Plain data: applying a record to the
// engine is the component's business.
//
// Conventions the component relies on when applying a record: an empty string and an
// integer at its "not set" value leave the engine's own default in place; each field says
// which values take effect.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace corvina::hosting {

struct TInputOptions {
    std::string FileName;   // empty: the component puts the file name given to AddTask
    std::string FileFormat; // forced input container short name; applied when not empty
    int StartTime = -1;     // milliseconds; applied when > 0
    int ProgramID = -1;     // applied when >= 0
    std::string ExtOptions; // extra engine options, one name=value pair per line
};

// Capacities of the metadata texts. They were fixed zero-terminated character arrays; here
// they are strings, of which only FixedFieldText(...) is used: the text up to the first
// zero byte, at most capacity - 1 bytes (the last byte of the array held the terminator),
// and applied only when that is not empty.
inline constexpr std::size_t kMetadataTextCapacity = 512; // Title, Author, Copyright, ...
inline constexpr std::size_t kGenreCapacity = 32;

struct TOutputOptions {
    std::string FileName;     // empty: the component puts the file name given to SetOutputFile
    std::string Reserved;     // never read
    std::string FileFormat;   // output container short name; applied when not empty
    int PacketSize = -1;      // "packetsize" when > 0
    int MuxRate = -1;         // "muxrate" when > 0
    float MuxDelay = -1.0f;   // seconds; when > 0
    float MuxPreload = -1.0f; // seconds; when > 0
    std::string AudioCodec;   // encoder short name; when not empty
    bool DisableAudio = false;
    int AudioVolume = -1;           // when >= 0; 256 means unchanged
    int AudioChannels = -1;         // when > 0
    int AudioSampleRate = -1;       // Hz, when > 0
    int AudioBitrate = -1;          // bits per second, "ab" when > 0
    int AudioBitrateTolerance = -1; // "abt" when > 0
    std::string AudioLanguage;      // always applied
    int AudioSyncMethod = 0;        // always applied
    std::string AudioTag;           // when not empty; must then be 4 characters
    std::string VideoCodec;         // encoder short name; when not empty
    bool DisableVideo = false;
    std::string FrameRate;   // frames per second as text, e.g. "29.97"; when not empty
    std::string FrameSize;   // "320x240"; when not empty
    std::string AspectRatio; // when not empty
    int CropTop = -1;        // each crop and pad size applies when >= 0
    int CropBottom = -1;
    int CropLeft = -1;
    int CropRight = -1;
    int PadTop = -1;
    int PadBottom = -1;
    int PadLeft = -1;
    int PadRight = -1;
    std::uint32_t PadColor = 0; // RGB, red in the lowest byte; 0 is black; always applied
    int GOPSize = -1;           // "gop" when > 0
    int VideoBitrate = -1;      // bits per second, "vb" when > 0
    int MaxRate = -1;           // "maxrate" when > 0
    int MinRate = -1;           // "minrate" when > 0
    int BitrateTolerance = -1;  // "bt" when > 0
    int BufferSize = -1;        // "bufsize" when > 0
    int VideoSyncMethod = -1;   // always applied
    std::string VideoTag;       // when not empty; must then be 4 characters
    bool DisableSubtitle = false;
    std::string SubtitleLanguage; // always applied
    bool CopyTimestamps = false;  // always applied
    int RecordingTime = -1;       // milliseconds; when > 0
    // Days since 30 December 1899, local time: exactly 0 means now, > 0 is converted,
    // < 0 leaves the output timestamp unset.
    double Timestamp = -1.0;
    int Year = -1;         // when > 0
    int Track = -1;        // when > 0
    std::string Title;     // capacity kMetadataTextCapacity, see FixedFieldText
    std::string Author;    // capacity kMetadataTextCapacity
    std::string Copyright; // capacity kMetadataTextCapacity
    std::string Comment;   // capacity kMetadataTextCapacity
    std::string Album;     // capacity kMetadataTextCapacity
    std::string Genre;     // capacity kGenreCapacity
    int Target = 0;        // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
    int TargetNorm = 0;    // 0 "auto", 1 "pal", 2 "ntsc", anything else "auto"
    int DefaultNorm = 1;   // 1 "pal", anything else "ntsc"
    bool CustomHook = false;
    bool BeforeHook = false;
    std::string HookRanges; // time ranges in which the frame hooks run
    std::string ExtOptions; // extra engine options, one name=value pair per line
};

// Reset every field to the defaults above.
void InitInputOptions(TInputOptions& options);
void InitOutputOptions(TOutputOptions& options);

// The effective text of a metadata field of the given capacity: up to the first zero byte,
// cut to capacity - 1 bytes without splitting a UTF-8 sequence.
std::string FixedFieldText(const std::string& value, std::size_t capacity);

} // namespace corvina::hosting
