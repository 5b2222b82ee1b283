#include "engine/SampleConvert.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvina::engine {

namespace {

bool IsPlanar(AVSampleFormat f) {
    switch (f) {
    case AV_SAMPLE_FMT_U8P:
    case AV_SAMPLE_FMT_S16P:
    case AV_SAMPLE_FMT_S32P:
    case AV_SAMPLE_FMT_FLTP:
    case AV_SAMPLE_FMT_DBLP:
    case AV_SAMPLE_FMT_S64P:
        return true;
    default:
        return false;
    }
}

int16_t FromFloat(double v) {
    return static_cast<int16_t>(std::clamp<long>(std::lrint(v * 32768.0), -32768, 32767));
}

// Sample i of channel c, read in the format's own type and scaled to 16 bits.
template <typename Read>
void Gather(const uint8_t* const* data, bool planar, int samples, int channels, int16_t* out,
            int bytes, Read read) {
    for (int i = 0; i < samples; i++)
        for (int c = 0; c < channels; c++) {
            const uint8_t* p = planar ? data[c] + static_cast<size_t>(i) * bytes
                                      : data[0] + (static_cast<size_t>(i) * channels + c) * bytes;
            out[static_cast<size_t>(i) * channels + c] = read(p);
        }
}

template <typename Write>
void Scatter(const int16_t* in, int samples, int channels, uint8_t* const* data, bool planar,
             int bytes, Write write) {
    for (int i = 0; i < samples; i++)
        for (int c = 0; c < channels; c++) {
            uint8_t* p = planar ? data[c] + static_cast<size_t>(i) * bytes
                                : data[0] + (static_cast<size_t>(i) * channels + c) * bytes;
            write(p, in[static_cast<size_t>(i) * channels + c]);
        }
}

template <typename T> T Load(const uint8_t* p) {
    T v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
template <typename T> void Store(uint8_t* p, T v) {
    std::memcpy(p, &v, sizeof v);
}

} // namespace

bool ConvertToS16(const uint8_t* const* data, AVSampleFormat format, int samples, int channels,
                  int16_t* out) {
    const bool planar = IsPlanar(format);
    switch (format) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P:
        Gather(data, planar, samples, channels, out, 1,
               [](const uint8_t* p) { return static_cast<int16_t>((*p - 128) << 8); });
        return true;
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
        Gather(data, planar, samples, channels, out, 2,
               [](const uint8_t* p) { return Load<int16_t>(p); });
        return true;
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S32P:
        Gather(data, planar, samples, channels, out, 4,
               [](const uint8_t* p) { return static_cast<int16_t>(Load<int32_t>(p) >> 16); });
        return true;
    case AV_SAMPLE_FMT_S64:
    case AV_SAMPLE_FMT_S64P:
        Gather(data, planar, samples, channels, out, 8,
               [](const uint8_t* p) { return static_cast<int16_t>(Load<int64_t>(p) >> 48); });
        return true;
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP:
        Gather(data, planar, samples, channels, out, 4,
               [](const uint8_t* p) { return FromFloat(Load<float>(p)); });
        return true;
    case AV_SAMPLE_FMT_DBL:
    case AV_SAMPLE_FMT_DBLP:
        Gather(data, planar, samples, channels, out, 8,
               [](const uint8_t* p) { return FromFloat(Load<double>(p)); });
        return true;
    default:
        return false;
    }
}

bool ConvertFromS16(const int16_t* in, int samples, int channels, AVSampleFormat format,
                    uint8_t* const* data) {
    const bool planar = IsPlanar(format);
    switch (format) {
    case AV_SAMPLE_FMT_U8:
    case AV_SAMPLE_FMT_U8P:
        Scatter(in, samples, channels, data, planar, 1,
                [](uint8_t* p, int16_t v) { *p = static_cast<uint8_t>((v >> 8) + 128); });
        return true;
    case AV_SAMPLE_FMT_S16:
    case AV_SAMPLE_FMT_S16P:
        Scatter(in, samples, channels, data, planar, 2,
                [](uint8_t* p, int16_t v) { Store<int16_t>(p, v); });
        return true;
    case AV_SAMPLE_FMT_S32:
    case AV_SAMPLE_FMT_S32P:
        Scatter(in, samples, channels, data, planar, 4, [](uint8_t* p, int16_t v) {
            Store<int32_t>(p, static_cast<int32_t>(static_cast<uint32_t>(v) << 16));
        });
        return true;
    case AV_SAMPLE_FMT_S64:
    case AV_SAMPLE_FMT_S64P:
        Scatter(in, samples, channels, data, planar, 8, [](uint8_t* p, int16_t v) {
            Store<int64_t>(p, static_cast<int64_t>(static_cast<uint64_t>(v) << 48));
        });
        return true;
    case AV_SAMPLE_FMT_FLT:
    case AV_SAMPLE_FMT_FLTP:
        Scatter(in, samples, channels, data, planar, 4,
                [](uint8_t* p, int16_t v) { Store<float>(p, v / 32768.0f); });
        return true;
    case AV_SAMPLE_FMT_DBL:
    case AV_SAMPLE_FMT_DBLP:
        Scatter(in, samples, channels, data, planar, 8,
                [](uint8_t* p, int16_t v) { Store<double>(p, v / 32768.0); });
        return true;
    default:
        return false;
    }
}

AVSampleFormat ChooseSampleFormat(const AVCodec* codec) {
    if (!codec->sample_fmts)
        return AV_SAMPLE_FMT_S16;
    // The samples are 16-bit already: the encoder's 16-bit form is exact and the cheapest,
    // then float, which every encoder takes without a conversion of its own.
    for (AVSampleFormat wanted : {AV_SAMPLE_FMT_S16, AV_SAMPLE_FMT_S16P, AV_SAMPLE_FMT_FLTP})
        for (const AVSampleFormat* f = codec->sample_fmts; *f != AV_SAMPLE_FMT_NONE; f++)
            if (*f == wanted)
                return wanted;
    return codec->sample_fmts[0];
}

} // namespace corvina::engine
