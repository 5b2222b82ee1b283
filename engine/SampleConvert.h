// Conversion between the engine's working form of audio (interleaved signed 16-bit) and the
// sample formats decoders produce and encoders take, at an unchanged rate and channel count.
#pragma once

#include <cstdint>

extern "C" {
#include <libavcodec/codec.h>
#include <libavutil/samplefmt.h>
}

namespace corvina::engine {

// `data`: one plane per channel for planar formats, else one plane. false for a format it
// does not know.
bool ConvertToS16(const uint8_t* const* data, AVSampleFormat format, int samples, int channels,
                  int16_t* out);
bool ConvertFromS16(const int16_t* in, int samples, int channels, AVSampleFormat format,
                    uint8_t* const* data);

// The format an encoder is opened with: 16-bit when it takes that (the working form, no
// conversion), else the first format it lists.
AVSampleFormat ChooseSampleFormat(const AVCodec* codec);

} // namespace corvina::engine
