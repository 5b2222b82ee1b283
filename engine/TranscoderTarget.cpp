// The `target` option: one word that becomes a complete disc or camcorder encoding. Every
// value goes through the same setter its own option uses, with that setter's checks.
#include "engine/OptionParsing.h"
#include "engine/StrFormat.h"
#include "engine/Transcoder.h"

#include <cmath>
#include <string_view>

namespace corvina::engine {

namespace {

enum class Norm { Pal, Ntsc, Film };

enum class ChannelRule {
    Stereo,       // always two channels
    MonoToStereo, // mono becomes stereo, anything else is kept
};

// One preset per target type. Size, pixel format and GOP come in an NTSC/FILM and a PAL
// variant; a null text leaves the setting as it is (or, for generic options, unset).
struct TargetPreset {
    std::string_view Type;
    const char* VideoCodec;
    const char* AudioCodec;
    const char* Format;
    const char* SizeNtsc;
    const char* SizePal;
    const char* PixFmtNtsc;
    const char* PixFmtPal;
    const char* GopNtsc;
    const char* GopPal;
    const char* Bitrate;
    const char* MaxRate;
    const char* MinRate;
    const char* BufSize;
    const char* Flags;
    const char* AudioBitrate;
    int SampleRate;
    ChannelRule Channels;
    const char* PacketSize;
    const char* MuxRate;
    float MuxPreload;   // seconds; 0 leaves it as it is
    const char* Aspect; // only when no aspect ratio is set yet
};

// clang-format off
constexpr TargetPreset kTargetPresets[] = {
    // type    vcodec        acodec  format  size NTSC  size PAL   pix_fmt NTSC pix_fmt PAL gop NTSC/PAL b          maxrate    minrate    bufsize    flags           ab        rate   channels                   packetsize muxrate     preload aspect
    {"vcd",  "mpeg1video", "mp2",  "vcd",  "352x240", "352x288", nullptr,   nullptr,   "18",   "15",   "1150000", "1150000", "1150000", "327680",  nullptr,        "224000", 44100, ChannelRule::Stereo,       "2324",    "1411200",  0.44f,  "4:3"},
    {"svcd", "mpeg2video", "mp2",  "svcd", "480x480", "480x576", nullptr,   nullptr,   "18",   "15",   "2040000", "2516000", "0",       "1835008", "+SCAN_OFFSET", "224000", 44100, ChannelRule::MonoToStereo, "2324",    nullptr,    0,      "4:3"},
    {"dvd",  "mpeg2video", "ac3",  "dvd",  "720x480", "720x576", nullptr,   nullptr,   "18",   "15",   "6000000", "9000000", "0",       "1835008", nullptr,        "448000", 48000, ChannelRule::MonoToStereo, "2048",    "10080000", 0,      "16:9"},
    {"dv",   nullptr,      nullptr, "dv",  "720x480", "720x576", "yuv411p", "yuv420p", nullptr, nullptr, nullptr, nullptr,   nullptr,   nullptr,   nullptr,        nullptr,  48000, ChannelRule::Stereo,       nullptr,   nullptr,    0,      nullptr},
    {"dv50", nullptr,      nullptr, "dv",  "720x480", "720x576", "yuv422p", "yuv422p", nullptr, nullptr, nullptr, nullptr,   nullptr,   nullptr,   nullptr,        nullptr,  48000, ChannelRule::Stereo,       nullptr,   nullptr,    0,      nullptr},
};
// clang-format on

// The frame rate each norm stands for, in the `r` option's text.
const char* NormFrameRate(Norm norm) {
    switch (norm) {
    case Norm::Pal:
        return "25";
    case Norm::Ntsc:
        return "30000/1001";
    case Norm::Film:
        break;
    }
    return "24000/1001";
}

// A frame rate in thousandths of a frame per second, rounded: 25000 is PAL, 29970 and
// 23976 are NTSC; anything else decides nothing.
bool NormFromMilliFps(double milliFps, Norm& norm) {
    const long long fr = std::llround(milliFps);
    if (fr == 25000) {
        norm = Norm::Pal;
        return true;
    }
    if (fr == 29970 || fr == 23976) {
        norm = Norm::Ntsc;
        return true;
    }
    return false;
}

// The first video stream of the opened inputs whose rate names a norm.
bool NormFromInputs(const TCustomTranscoder& t, Norm& norm) {
    for (int i = 0; i < t.InputFileCount(); ++i) {
        const AVFormatContext* ctx = t.Input(i).Ctx.get();
        if (!ctx)
            continue;
        for (unsigned j = 0; j < ctx->nb_streams; ++j) {
            const AVStream* st = ctx->streams[j];
            if (st->codecpar->codec_type != AVMEDIA_TYPE_VIDEO)
                continue;
            // The stream's frame rate stands in for the decoder time base the libraries no
            // longer expose (its inverse): average rate first, the base rate when that is
            // unknown. Integer thousandths over the rate's denominator, as with a time base.
            AVRational rate = st->avg_frame_rate;
            if (rate.num <= 0 || rate.den <= 0)
                rate = st->r_frame_rate;
            if (rate.num <= 0 || rate.den <= 0)
                continue;
            if (NormFromMilliFps(static_cast<double>(int64_t{rate.num} * 1000) / rate.den, norm))
                return true;
        }
    }
    return false;
}

} // namespace

// [norm-]type, the norm one of "pal-", "ntsc-", "film-"; without one it is guessed.
void TCustomTranscoder::ApplyTarget(const std::string& value) {
    const std::string text = TrimBlanks(value);
    static constexpr std::string_view kNormPrefixes[] = {"pal-", "ntsc-", "film-"};
    for (std::string_view prefix : kNormPrefixes)
        if (text.compare(0, prefix.size(), prefix) == 0) {
            ApplyTargetPreset(text.substr(prefix.size()),
                              std::string(prefix.substr(0, prefix.size() - 1)), "ntsc");
            return;
        }
    ApplyTargetPreset(text, "auto", "ntsc");
}

void TCustomTranscoder::ApplyTargetPreset(const std::string& type, const std::string& norm,
                                          const std::string& defaultNorm) {
    Norm resolved = Norm::Pal;
    if (norm == "pal") {
        resolved = Norm::Pal;
    } else if (norm == "ntsc") {
        resolved = Norm::Ntsc;
    } else if (norm == "film") {
        resolved = Norm::Film;
    } else {
        // Guessed: from the rate asked for, then from the inputs, then the default.
        if (s_.FrameRate.den == 0)
            throw ETranscodeError("frame_rate is invalid.");
        if (!NormFromMilliFps(static_cast<double>(s_.FrameRate.num) * 1000.0 / s_.FrameRate.den,
                              resolved) &&
            !NormFromInputs(*this, resolved))
            resolved = defaultNorm == "film"   ? Norm::Film
                       : defaultNorm == "ntsc" ? Norm::Ntsc
                                               : Norm::Pal;
        if (s_.Verbosity > 0 && OnLog)
            LogF(kLevelInfo, "Assuming %s for target.", resolved == Norm::Pal ? "PAL" : "NTSC");
    }

    const TargetPreset* preset = nullptr;
    for (const TargetPreset& p : kTargetPresets)
        if (p.Type == type)
            preset = &p;
    if (!preset)
        throw ETranscodeError("Unknown target type");
    const TargetPreset& p = *preset;
    const bool pal = resolved == Norm::Pal;

    if (p.VideoCodec)
        SetOption("vcodec", p.VideoCodec);
    if (p.AudioCodec)
        SetOption("acodec", p.AudioCodec);
    SetOutputFormat(p.Format);
    SetOption("s", pal ? p.SizePal : p.SizeNtsc);
    if (const char* pixFmt = pal ? p.PixFmtPal : p.PixFmtNtsc)
        SetOption("pix_fmt", pixFmt);
    SetOption("r", NormFrameRate(resolved));

    const std::pair<const char*, const char*> codecOptions[] = {
        {"gop", pal ? p.GopPal : p.GopNtsc},
        {"b", p.Bitrate},
        {"maxrate", p.MaxRate},
        {"minrate", p.MinRate},
        {"bufsize", p.BufSize},
        {"flags", p.Flags},
        {"ab", p.AudioBitrate},
    };
    for (const auto& [name, optionValue] : codecOptions)
        if (optionValue)
            SetGenericOption(name, optionValue);

    s_.AudioSampleRate = p.SampleRate;
    if (p.Channels == ChannelRule::Stereo || s_.AudioChannels == 1)
        s_.AudioChannels = 2;

    const std::pair<const char*, const char*> muxerOptions[] = {
        {"packetsize", p.PacketSize},
        {"muxrate", p.MuxRate},
    };
    for (const auto& [name, optionValue] : muxerOptions)
        if (optionValue)
            SetGenericOption(name, optionValue);
    if (p.MuxPreload > 0)
        SetMuxPreload(p.MuxPreload);

    // After everything else, and only when the caller chose no aspect ratio.
    if (p.Aspect && s_.FrameAspectRatio == 0)
        SetOption("aspect", p.Aspect);
}

} // namespace corvina::engine
