// The floor of a conversion: what the libraries alone need to decode the clip and to encode
// what the conversion wrote, with the engine's thread settings (one thread per codec) and
// nothing else — no demuxer of the output, no scaling, no resampling, no muxing counted.
#pragma once

#include "binding/EntryPoints.h"

#include <cstdint>
#include <string>

namespace corvina::bench {

// Time spent in some calls: on the clock, and on the process's CPU (the floor runs on one
// thread, so the second does not grow when others share the cores).
struct Spent {
    double wall = 0;
    double cpu = 0;
    Spent& operator+=(const Spent& o) {
        wall += o.wall;
        cpu += o.cpu;
        return *this;
    }
};

// One pass over the clip; the time spent in each part.
struct DecodeCost {
    bool ok = false;
    std::string error;
    Spent demux; // reading packets
    Spent video; // decoding the video stream
    Spent audio; // decoding the audio stream
    int64_t videoFrames = 0;
    int64_t audioSamples = 0;
    AVRational videoRate{25, 1};
    int audioRate = 0;
};

DecodeCost MeasureDecode(const std::string& clip);

// What a conversion wrote, read back from the file.
struct OutputInfo {
    bool opened = false;
    std::string error;
    bool hasVideo = false;
    AVCodecID videoId = AV_CODEC_ID_NONE;
    int width = 0, height = 0;
    AVPixelFormat pixFmt = AV_PIX_FMT_NONE;
    int64_t videoPackets = 0;
    double videoSeconds = 0; // first timestamp to the end of the last picture
    int64_t videoBytes = 0;
    bool hasAudio = false;
    AVCodecID audioId = AV_CODEC_ID_NONE;
    int sampleRate = 0, channels = 0;
    AVSampleFormat sampleFmt = AV_SAMPLE_FMT_NONE;
    int64_t audioBytes = 0;
};

OutputInfo ReadOutput(const std::string& path);

// The encoder settings a job leads to; names are the profile's (legacy) encoder names.
struct VideoEncodeTarget {
    std::string encoder; // empty: the container's default for `id`
    AVCodecID id = AV_CODEC_ID_NONE;
    int width = 0, height = 0;
    AVPixelFormat pixFmt = AV_PIX_FMT_NONE; // kept when the encoder takes it
    AVRational rate{25, 1};
    int64_t frames = 0;
    int64_t bitRate = 0, maxRate = 0, minRate = 0, bufSize = 0, tolerance = 0;
    int gop = 0; // 0: the encoder's default
    bool globalHeader = false;
};

struct AudioEncodeTarget {
    std::string encoder;
    AVCodecID id = AV_CODEC_ID_NONE;
    int sampleRate = 0, channels = 0; // the sample format follows the engine's rule
    int64_t bitRate = 0;
    bool globalHeader = false;
};

struct EncodeCost {
    bool ok = false;
    std::string error;
    std::string encoder; // the library's (or the engine's) encoder that ran
    std::string format;  // the picture or sample format it was given
    Spent spent;         // inside the encoder calls only (opening included)
    int64_t units = 0;   // frames, or samples per channel
    int64_t bytes = 0;   // coded size, to compare with what the conversion wrote
};

// Encodes target.frames pictures made from the clip's own frames, decoded and scaled to the
// output size beforehand (untimed); of the clip's inputFrames pictures some are dropped or
// repeated to meet the count, as a change of frame rate does.
EncodeCost MeasureVideoEncode(const std::string& clip, const VideoEncodeTarget& target,
                              int64_t inputFrames);
// Encodes the clip's whole audio, decoded and resampled beforehand (untimed).
EncodeCost MeasureAudioEncode(const std::string& clip, const AudioEncodeTarget& target);

// The whole conversion as one pass without an engine around it: packets are read and
// decoded, and each frame is encoded as it comes (scaled, resampled and given the target
// frame count only where the target differs from the clip), nothing muxed or written. All
// of it is timed, from opening the clip to the encoders' last packet. Either target may be
// null; the audio one needs a library encoder.
struct PipelineCost {
    bool ok = false;
    std::string error;
    Spent spent;
    int64_t videoFrames = 0, audioSamples = 0, bytes = 0;
};

PipelineCost MeasurePipeline(const std::string& clip, const VideoEncodeTarget* video,
                             const AudioEncodeTarget* audio, int64_t inputFrames);

} // namespace corvina::bench
