// corvina-make-fixtures DIR [--bench]: writes the synthetic media the tests read.
// Everything is encoded with the bound libraries from a moving test pattern and a sine tone,
// so the set is the same on every run and nothing has to be downloaded.
#include "binding/Binding.h"
#include "binding/Handles.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <numbers>
#include <random>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace fs = std::filesystem;
using namespace corvina;

namespace {

// ---- recipes --------------------------------------------------------------------------------

struct VideoRecipe {
    const char* encoder = nullptr; // none: audio-only file
    int width = 0, height = 0;
    int fpsNum = 0, fpsDen = 1;
    int64_t bitRate = 0; // 0: the encoder's own rate control (x264: constant quality)
    int gop = 0;
    // Stored turned, as phones store portrait recordings: players turn the picture this many
    // degrees clockwise (the stream's display matrix), and the markers land at the top.
    int turn = 0;
};

struct AudioRecipe {
    const char* encoder = nullptr;
    int sampleRate = 0;
    int channels = 0;
    int64_t bitRate = 0;
};

enum class Post { None, Truncate };

struct Recipe {
    const char* name;
    const char* muxer;
    VideoRecipe video;
    AudioRecipe audio;
    bool subtitles;
    int durationMs;
    const char* movflags; // muxer option, or nullptr
    Post post;
    bool benchOnly;
};

constexpr AudioRecipe kAac44Stereo{"aac", 44100, 2, 128000};

constexpr Recipe kRecipes[] = {
    {"h264_aac_640x480_25.mov",
     "mov",
     {"libx264", 640, 480, 25, 1, 0, 25},
     kAac44Stereo,
     false,
     3000,
     nullptr,
     Post::None,
     false},
    {"mpeg4_aac_854x480_30000_1001.mp4",
     "mp4",
     {"mpeg4", 854, 480, 30000, 1001, 1500000, 30},
     {"aac", 48000, 2, 128000},
     false,
     3000,
     nullptr,
     Post::None,
     false},
    {"h264_aac_640x480_24000_1001.m4v",
     "ipod",
     {"libx264", 640, 480, 24000, 1001, 0, 24},
     kAac44Stereo,
     false,
     3000,
     nullptr,
     Post::None,
     false},
    {"aac_44100_stereo.m4a", "ipod", {}, kAac44Stereo, false, 3000, nullptr, Post::None, false},
    {"h264_aac_mono_176x144_15.mov",
     "mov",
     {"libx264", 176, 144, 15, 1, 0, 15},
     {"aac", 22050, 1, 64000},
     false,
     2000,
     nullptr,
     Post::None,
     false},
    {"h264_aac_mov_text.mov",
     "mov",
     {"libx264", 640, 480, 25, 1, 0, 25},
     kAac44Stereo,
     true,
     3000,
     nullptr,
     Post::None,
     false},
    {"rv20_ac3.rmvb",
     "rm",
     {"rv20", 352, 288, 25, 1, 600000, 25},
     {"ac3", 44100, 2, 192000},
     false,
     3000,
     nullptr,
     Post::None,
     false},
    // Index at the front, so the cut file still opens and only its data ends early.
    {"truncated.mov",
     "mov",
     {"libx264", 640, 480, 25, 1, 0, 25},
     kAac44Stereo,
     false,
     3000,
     "+faststart",
     Post::Truncate,
     false},
    // Portrait phone recordings, stored landscape and turned by the player, and one held
    // upside down.
    {"portrait_turn90.mov",
     "mov",
     {"libx264", 320, 176, 25, 1, 0, 25, 90},
     kAac44Stereo,
     false,
     2000,
     nullptr,
     Post::None,
     false},
    {"portrait_turn270.mov",
     "mov",
     {"libx264", 320, 176, 25, 1, 0, 25, 270},
     kAac44Stereo,
     false,
     2000,
     nullptr,
     Post::None,
     false},
    {"upside_down_turn180.mov",
     "mov",
     {"libx264", 320, 176, 25, 1, 0, 25, 180},
     kAac44Stereo,
     false,
     2000,
     nullptr,
     Post::None,
     false},
    {"bench_720p_20s.mov",
     "mov",
     {"libx264", 1280, 720, 25, 1, 0, 50},
     kAac44Stereo,
     false,
     20000,
     nullptr,
     Post::None,
     true},
    // What a phone or camera records today, for the preview's start-up time.
    {"bench_1080p_10s.mov",
     "mov",
     {"libx264", 1920, 1080, 25, 1, 0, 50},
     kAac44Stereo,
     false,
     10000,
     nullptr,
     Post::None,
     true},
    // The largest pictures users bring (phones record 4K), for the engine's per-picture
    // costs.
    {"bench_2160p_3s.mov",
     "mov",
     {"libx264", 3840, 2160, 25, 1, 0, 50},
     kAac44Stereo,
     false,
     3000,
     nullptr,
     Post::None,
     true},
};

constexpr double kTruncateFraction = 0.4;
constexpr const char* kGarbageName = "garbage.mov";
constexpr size_t kGarbageBytes = 64 * 1024;
constexpr uint32_t kGarbageSeed = 0xC0FF1E5u;

// Subtitle events of the subtitle fixture: start, end (ms) and text.
struct SubtitleEvent {
    int startMs, endMs;
    const char* text;
};
constexpr SubtitleEvent kSubtitleEvents[] = {
    {200, 1000, "First line"},
    {1200, 2000, "Second line"},
    {2200, 2800, "Third line"},
};

// A minimal ASS header: the text encoder takes its default style from here.
constexpr const char kAssHeader[] =
    "[Script Info]\r\n"
    "ScriptType: v4.00+\r\n"
    "PlayResX: 384\r\n"
    "PlayResY: 288\r\n"
    "\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
    "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
    "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
    "Style: Default,Sans,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\r\n"
    "\r\n"
    "[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

// ---- errors and handles ---------------------------------------------------------------------

class FixtureError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

std::string ErrorString(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    if (ff::util.av_strerror(code, buf, sizeof buf) < 0)
        std::snprintf(buf, sizeof buf, "error %d", code);
    return buf;
}

// Names the file being written in every failure.
struct Where {
    std::string file;
    [[noreturn]] void Fail(const std::string& step) const {
        throw FixtureError(file + ": " + step + " failed");
    }
    [[noreturn]] void Fail(const std::string& step, int code) const {
        throw FixtureError(file + ": " + step + " failed: " + ErrorString(code));
    }
    int Check(int ret, const std::string& step) const {
        if (ret < 0)
            Fail(step, ret);
        return ret;
    }
};

using ff::CodecContextPtr;
using ff::FramePtr;
using ff::PacketPtr;

void SetOption(const Where& w, ff::Dictionary& d, const char* key, const char* value) {
    w.Check(d.Set(key, value), std::string("setting ") + key);
}

// Options still in the dictionary after an open were recognised by nobody.
void CheckConsumed(const Where& w, const ff::Dictionary& d, const std::string& step) {
    if (const AVDictionaryEntry* e =
            ff::util.av_dict_get(d.Raw(), "", nullptr, AV_DICT_IGNORE_SUFFIX))
        w.Fail(step + " (option " + e->key + " not recognised)");
}

// The output file: the muxer context and its opened I/O.
class OutputFile {
public:
    OutputFile(const Where& w, const char* muxer, const fs::path& path) {
        w.Check(ff::format.avformat_alloc_output_context2(&ctx_, nullptr, muxer, path.c_str()),
                std::string("creating the ") + muxer + " muxer");
        if (!ctx_)
            w.Fail(std::string("creating the ") + muxer + " muxer");
        if (!(ctx_->oformat->flags & AVFMT_NOFILE))
            w.Check(
                ff::format.avio_open2(&ctx_->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr),
                "opening the file for writing");
    }
    ~OutputFile() {
        if (ctx_ && !(ctx_->oformat->flags & AVFMT_NOFILE))
            ff::format.avio_closep(&ctx_->pb);
        ff::format.avformat_free_context(ctx_);
    }
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;
    AVFormatContext* get() const { return ctx_; }

private:
    AVFormatContext* ctx_ = nullptr;
};

// ---- synthetic content ----------------------------------------------------------------------

// Moving diagonal gradient with a sweeping vertical and horizontal bar; every frame differs,
// so an encoder cannot reduce the clip to repeats.
void DrawPattern(AVFrame* f, int64_t index) {
    const int w = f->width, h = f->height;
    const int barWidth = std::max(4, w / 10);
    const int barX = static_cast<int>((index * 8) % w);
    const int barY = static_cast<int>((index * 4) % h);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0];
        const bool inHBar = y >= barY && y < barY + barWidth / 2;
        for (int x = 0; x < w; ++x) {
            const int dx = (x - barX + w) % w;
            if (dx < barWidth)
                row[x] = 235;
            else if (inHBar)
                row[x] = 16;
            else
                row[x] = static_cast<uint8_t>(16 + ((x + y + index * 3) % 220));
        }
    }
    for (int y = 0; y < (h + 1) / 2; ++y) {
        uint8_t* u = f->data[1] + static_cast<ptrdiff_t>(y) * f->linesize[1];
        uint8_t* v = f->data[2] + static_cast<ptrdiff_t>(y) * f->linesize[2];
        for (int x = 0; x < (w + 1) / 2; ++x) {
            u[x] = static_cast<uint8_t>(64 + ((x * 2 + index * 2) % 128));
            v[x] = static_cast<uint8_t>(64 + ((y * 2 + index) % 128));
        }
    }
}

// Marker colours (BT.601, limited range): red at the top left of the picture as seen, blue
// at the top right, grey elsewhere. Which corner of the stored picture each goes to follows
// from the turn a player makes: for 90 degrees clockwise, the stored bottom-left corner ends
// up at the top left.
struct Yuv {
    uint8_t y, u, v;
};
constexpr Yuv kMarkerRed{81, 90, 240};
constexpr Yuv kMarkerBlue{41, 240, 110};
constexpr Yuv kMarkerGrey{128, 128, 128};

enum Corner { kTopLeft, kTopRight, kBottomLeft, kBottomRight };

void FillBlock(AVFrame* f, int x0, int y0, int w, int h, Yuv c) {
    for (int y = y0; y < y0 + h; ++y)
        std::memset(f->data[0] + static_cast<ptrdiff_t>(y) * f->linesize[0] + x0, c.y,
                    static_cast<size_t>(w));
    for (int y = y0 / 2; y < (y0 + h) / 2; ++y) {
        std::memset(f->data[1] + static_cast<ptrdiff_t>(y) * f->linesize[1] + x0 / 2, c.u,
                    static_cast<size_t>(w / 2));
        std::memset(f->data[2] + static_cast<ptrdiff_t>(y) * f->linesize[2] + x0 / 2, c.v,
                    static_cast<size_t>(w / 2));
    }
}

void DrawMarkers(AVFrame* f, int turn) {
    const int w = f->width, h = f->height;
    FillBlock(f, 0, 0, w, h, kMarkerGrey);
    // Stored corners of the seen top-left and top-right, per clockwise turn.
    Corner red = kTopLeft, blue = kTopRight;
    switch (turn) {
    case 90:
        red = kBottomLeft, blue = kTopLeft;
        break;
    case 180:
        red = kBottomRight, blue = kBottomLeft;
        break;
    case 270:
        red = kTopRight, blue = kBottomRight;
        break;
    default:
        break;
    }
    const int side = std::min(w, h) / 4 & ~1;
    for (auto [corner, colour] : {std::pair{red, kMarkerRed}, std::pair{blue, kMarkerBlue}}) {
        const int x = (corner == kTopRight || corner == kBottomRight) ? w - side : 0;
        const int y = (corner == kBottomLeft || corner == kBottomRight) ? h - side : 0;
        FillBlock(f, x, y, side, side, colour);
    }
}

// The display matrix of a clockwise turn (16.16, last entry 2.30): a stored point (x, y)
// is seen at (a*x + c*y, b*x + d*y) plus a shift into the picture.
std::array<int32_t, 9> TurnMatrix(int turn, int w, int h) {
    constexpr int32_t one = 1 << 16;
    switch (turn) {
    case 90:
        return {0, one, 0, -one, 0, 0, h * one, 0, 1 << 30};
    case 180:
        return {-one, 0, 0, 0, -one, 0, w * one, h * one, 1 << 30};
    case 270:
        return {0, -one, 0, one, 0, 0, 0, w * one, 1 << 30};
    default:
        return {one, 0, 0, 0, one, 0, 0, 0, 1 << 30};
    }
}

// A tone per channel (440 Hz, 660 Hz, ...), from the absolute sample position.
float ToneSample(int64_t sample, int channel, int rate) {
    const double freq = 440.0 * (1.0 + 0.5 * channel);
    return static_cast<float>(
        0.3 * std::sin(2.0 * std::numbers::pi * freq * static_cast<double>(sample) / rate));
}

// Room noise about 40 dB below the tone, the same for a sample whatever frame it falls in.
// A recording always has some; a pure tone would let encoders skip work no real clip lets
// them skip, which would skew the benchmarks.
float NoiseSample(int64_t sample, int channel) {
    uint64_t x = static_cast<uint64_t>(sample) * 2 + static_cast<uint64_t>(channel);
    x ^= x >> 33;
    x *= 0xff51afd7ed558ccdULL;
    x ^= x >> 33;
    x *= 0xc4ceb9fe1a85ec53ULL;
    x ^= x >> 33;
    return static_cast<float>(static_cast<double>(x >> 11) / 9007199254740992.0 - 0.5) * 0.006f;
}

void FillTone(const Where& w, AVFrame* f, int64_t first, int64_t valid, int rate, bool noise) {
    const int channels = f->ch_layout.nb_channels;
    const auto format = static_cast<AVSampleFormat>(f->format);
    for (int i = 0; i < f->nb_samples; ++i) {
        for (int c = 0; c < channels; ++c) {
            const float s = i >= valid ? 0.0f
                            : noise    ? ToneSample(first + i, c, rate) + NoiseSample(first + i, c)
                                       : ToneSample(first + i, c, rate);
            const int16_t s16 = static_cast<int16_t>(std::lrint(s * 32767.0f));
            switch (format) {
            case AV_SAMPLE_FMT_FLTP:
                reinterpret_cast<float*>(f->data[c])[i] = s;
                break;
            case AV_SAMPLE_FMT_FLT:
                reinterpret_cast<float*>(f->data[0])[i * channels + c] = s;
                break;
            case AV_SAMPLE_FMT_S16P:
                reinterpret_cast<int16_t*>(f->data[c])[i] = s16;
                break;
            case AV_SAMPLE_FMT_S16:
                reinterpret_cast<int16_t*>(f->data[0])[i * channels + c] = s16;
                break;
            default:
                w.Fail("filling audio (sample format not handled)");
            }
        }
    }
}

// ---- one track ------------------------------------------------------------------------------

// An encoder feeding one output stream. Tracks are advanced in order of their next timestamp,
// which keeps the file interleaved without a large muxing queue.
class Track {
public:
    virtual ~Track() = default;
    bool Done() const { return done_; }
    // The next timestamp this track will produce, in NextTimeBase() units.
    virtual int64_t NextTime() const = 0;
    virtual AVRational NextTimeBase() const = 0;
    // Encodes the next unit (or the flush) and writes what the encoder gives back.
    virtual void Step() = 0;

protected:
    bool done_ = false;
};

class EncodedTrack : public Track {
public:
    EncodedTrack(const Where& w, AVFormatContext* oc, const char* encoderName) : w_(w), oc_(oc) {
        codec_ = ff::codec.avcodec_find_encoder_by_name(encoderName);
        if (!codec_)
            w_.Fail(std::string("finding the encoder ") + encoderName);
        ctx_.reset(ff::codec.avcodec_alloc_context3(codec_));
        if (!ctx_)
            w_.Fail("allocating the codec context");
        stream_ = ff::format.avformat_new_stream(oc, nullptr);
        if (!stream_)
            w_.Fail("adding a stream");
        packet_ = ff::MakePacket();
        if (!packet_)
            w_.Fail("allocating a packet");
        if (oc->oformat->flags & AVFMT_GLOBALHEADER)
            ctx_->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    }

    // Opens the encoder with its private options and hands its parameters to the stream.
    void Open(ff::Dictionary& options) {
        w_.Check(ff::codec.avcodec_open2(ctx_.get(), codec_, options.Address()),
                 std::string("opening the encoder ") + codec_->name);
        CheckConsumed(w_, options, std::string("opening the encoder ") + codec_->name);
        w_.Check(ff::codec.avcodec_parameters_from_context(stream_->codecpar, ctx_.get()),
                 "copying the stream parameters");
        stream_->time_base = ctx_->time_base;
    }

protected:
    void SendAndWrite(const AVFrame* frame) {
        const int sent = ff::codec.avcodec_send_frame(ctx_.get(), frame);
        if (sent < 0)
            w_.Fail(std::string("encoding with ") + codec_->name, sent);
        for (;;) {
            const int ret = ff::codec.avcodec_receive_packet(ctx_.get(), packet_.get());
            if (ret == AVERROR(EAGAIN))
                return;
            if (ret == AVERROR_EOF) {
                done_ = true;
                return;
            }
            w_.Check(ret, std::string("encoding with ") + codec_->name);
            ff::codec.av_packet_rescale_ts(packet_.get(), ctx_->time_base, stream_->time_base);
            packet_->stream_index = stream_->index;
            w_.Check(ff::format.av_interleaved_write_frame(oc_, packet_.get()), "writing a packet");
        }
    }

    Where w_;
    AVFormatContext* oc_;
    const AVCodec* codec_ = nullptr;
    CodecContextPtr ctx_;
    AVStream* stream_ = nullptr;
    PacketPtr packet_;
    FramePtr frame_;
};

class VideoTrack : public EncodedTrack {
public:
    VideoTrack(const Where& w, AVFormatContext* oc, const VideoRecipe& r, int durationMs)
        : EncodedTrack(w, oc, r.encoder) {
        total_ = ff::util.av_rescale(durationMs, r.fpsNum, static_cast<int64_t>(r.fpsDen) * 1000);
        ctx_->width = r.width;
        ctx_->height = r.height;
        ctx_->time_base = AVRational{r.fpsDen, r.fpsNum};
        ctx_->framerate = AVRational{r.fpsNum, r.fpsDen};
        ctx_->sample_aspect_ratio = AVRational{1, 1};
        ctx_->pix_fmt = AV_PIX_FMT_YUV420P;
        ctx_->gop_size = r.gop;
        if (r.bitRate > 0)
            ctx_->bit_rate = r.bitRate;
        stream_->avg_frame_rate = ctx_->framerate;
        stream_->sample_aspect_ratio = ctx_->sample_aspect_ratio;
        turn_ = r.turn;
        if (turn_ != 0) {
            const std::array<int32_t, 9> matrix = TurnMatrix(turn_, r.width, r.height);
            uint8_t* side = ff::format.av_stream_new_side_data(stream_, AV_PKT_DATA_DISPLAYMATRIX,
                                                               sizeof matrix);
            if (!side)
                w.Fail("adding the display matrix");
            std::memcpy(side, matrix.data(), sizeof matrix);
        }

        ff::Dictionary options;
        if (std::strcmp(r.encoder, "libx264") == 0)
            SetOption(w, options, "preset", "ultrafast");
        Open(options);

        frame_ = ff::MakeFrame();
        if (!frame_)
            w_.Fail("allocating a video frame");
        frame_->format = ctx_->pix_fmt;
        frame_->width = r.width;
        frame_->height = r.height;
        w_.Check(ff::util.av_frame_get_buffer(frame_.get(), 0), "allocating a picture");
    }

    int64_t NextTime() const override { return next_; }
    AVRational NextTimeBase() const override { return ctx_->time_base; }

    void Step() override {
        if (next_ >= total_) {
            SendAndWrite(nullptr);
            return;
        }
        // The encoder may still hold the previous picture.
        w_.Check(ff::util.av_frame_make_writable(frame_.get()), "making the picture writable");
        if (turn_ != 0)
            DrawMarkers(frame_.get(), turn_);
        else
            DrawPattern(frame_.get(), next_);
        frame_->pts = next_++;
        SendAndWrite(frame_.get());
    }

private:
    int64_t total_ = 0;
    int64_t next_ = 0;
    int turn_ = 0;
};

class AudioTrack : public EncodedTrack {
public:
    AudioTrack(const Where& w, AVFormatContext* oc, const AudioRecipe& r, int durationMs,
               bool noise)
        : EncodedTrack(w, oc, r.encoder), noise_(noise) {
        total_ = ff::util.av_rescale(durationMs, r.sampleRate, 1000);
        ctx_->sample_rate = r.sampleRate;
        ctx_->time_base = AVRational{1, r.sampleRate};
        ctx_->bit_rate = r.bitRate;
        ctx_->sample_fmt = codec_->sample_fmts ? codec_->sample_fmts[0] : AV_SAMPLE_FMT_S16;
        ff::util.av_channel_layout_default(&ctx_->ch_layout, r.channels);

        ff::Dictionary options;
        Open(options);

        const bool variable = codec_->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE;
        frameSize_ = (variable || ctx_->frame_size <= 0) ? 1024 : ctx_->frame_size;
        smallLast_ = variable || (codec_->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);

        frame_ = ff::MakeFrame();
        if (!frame_)
            w_.Fail("allocating an audio frame");
        frame_->format = ctx_->sample_fmt;
        frame_->sample_rate = ctx_->sample_rate;
        frame_->nb_samples = frameSize_;
        w_.Check(ff::util.av_channel_layout_copy(&frame_->ch_layout, &ctx_->ch_layout),
                 "copying the channel layout");
        w_.Check(ff::util.av_frame_get_buffer(frame_.get(), 0), "allocating audio samples");
    }

    int64_t NextTime() const override { return next_; }
    AVRational NextTimeBase() const override { return ctx_->time_base; }

    void Step() override {
        if (next_ >= total_) {
            SendAndWrite(nullptr);
            return;
        }
        const int64_t left = total_ - next_;
        w_.Check(ff::util.av_frame_make_writable(frame_.get()), "making the samples writable");
        // Encoders without a short last frame get the tail padded with silence.
        frame_->nb_samples =
            (left < frameSize_ && smallLast_) ? static_cast<int>(left) : frameSize_;
        FillTone(w_, frame_.get(), next_, left, ctx_->sample_rate, noise_);
        frame_->pts = next_;
        next_ += frame_->nb_samples;
        SendAndWrite(frame_.get());
    }

private:
    int64_t total_ = 0;
    int64_t next_ = 0;
    int frameSize_ = 1024;
    bool smallLast_ = false;
    bool noise_ = false;
};

class SubtitleTrack : public EncodedTrack {
public:
    SubtitleTrack(const Where& w, AVFormatContext* oc) : EncodedTrack(w, oc, "mov_text") {
        ctx_->time_base = AVRational{1, 1000};
        // The context frees its header with the libraries' allocator, so it is made with it.
        ctx_->subtitle_header = static_cast<uint8_t*>(ff::util.av_mallocz(sizeof kAssHeader));
        if (!ctx_->subtitle_header)
            w_.Fail("allocating the subtitle header");
        std::memcpy(ctx_->subtitle_header, kAssHeader, sizeof kAssHeader);
        ctx_->subtitle_header_size = static_cast<int>(sizeof kAssHeader - 1);
        ff::Dictionary options;
        Open(options);
    }

    int64_t NextTime() const override { return kSubtitleEvents[next_].startMs; }
    AVRational NextTimeBase() const override { return AVRational{1, 1000}; }

    void Step() override {
        const SubtitleEvent& e = kSubtitleEvents[next_++];
        // ReadOrder,Layer,Style,Name,MarginL,MarginR,MarginV,Effect,Text
        std::string line = std::to_string(next_) + ",0,Default,,0,0,0,," + e.text;
        AVSubtitleRect rect{};
        rect.type = SUBTITLE_ASS;
        rect.ass = line.data();
        AVSubtitleRect* rects[] = {&rect};
        AVSubtitle sub{};
        sub.start_display_time = 0;
        sub.end_display_time = static_cast<uint32_t>(e.endMs - e.startMs);
        sub.num_rects = 1;
        sub.rects = rects;
        sub.pts = ff::util.av_rescale(e.startMs, AV_TIME_BASE, 1000);

        std::vector<uint8_t> buffer(1024);
        const int size =
            w_.Check(ff::codec.avcodec_encode_subtitle(ctx_.get(), buffer.data(),
                                                       static_cast<int>(buffer.size()), &sub),
                     "encoding a subtitle");
        w_.Check(ff::codec.av_new_packet(packet_.get(), size), "allocating a subtitle packet");
        std::memcpy(packet_->data, buffer.data(), static_cast<size_t>(size));
        const AVRational ms{1, 1000};
        packet_->pts = packet_->dts = ff::util.av_rescale_q(e.startMs, ms, stream_->time_base);
        packet_->duration = ff::util.av_rescale_q(e.endMs - e.startMs, ms, stream_->time_base);
        packet_->stream_index = stream_->index;
        w_.Check(ff::format.av_interleaved_write_frame(oc_, packet_.get()),
                 "writing a subtitle packet");
        done_ = next_ >= std::size(kSubtitleEvents);
    }

private:
    size_t next_ = 0;
};

// ---- files ----------------------------------------------------------------------------------

void Encode(const Recipe& r, const fs::path& path, const Where& w) {
    OutputFile out(w, r.muxer, path);
    AVFormatContext* oc = out.get();

    std::vector<std::unique_ptr<Track>> tracks;
    if (r.video.encoder)
        tracks.push_back(std::make_unique<VideoTrack>(w, oc, r.video, r.durationMs));
    if (r.audio.encoder)
        tracks.push_back(std::make_unique<AudioTrack>(w, oc, r.audio, r.durationMs, r.benchOnly));
    if (r.subtitles)
        tracks.push_back(std::make_unique<SubtitleTrack>(w, oc));

    ff::Dictionary muxOptions;
    if (r.movflags)
        SetOption(w, muxOptions, "movflags", r.movflags);
    w.Check(ff::format.avformat_write_header(oc, muxOptions.Address()), "writing the header");
    CheckConsumed(w, muxOptions, "writing the header");

    for (;;) {
        Track* next = nullptr;
        for (auto& t : tracks) {
            if (t->Done())
                continue;
            if (!next || ff::util.av_compare_ts(t->NextTime(), t->NextTimeBase(), next->NextTime(),
                                                next->NextTimeBase()) < 0)
                next = t.get();
        }
        if (!next)
            break;
        next->Step();
    }
    w.Check(ff::format.av_write_trailer(oc), "writing the trailer");
}

// Keeps the first part of a finished file: it opens, but its data ends early.
void CutFile(const fs::path& from, const fs::path& to, double fraction, const Where& w) {
    std::ifstream in(from, std::ios::binary);
    if (!in)
        w.Fail("reading back the full file");
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const auto keep = static_cast<size_t>(static_cast<double>(bytes.size()) * fraction);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(keep));
    out.close();
    if (!out)
        w.Fail("writing the cut file");
}

void WriteGarbage(const fs::path& to, const Where& w) {
    std::mt19937 rng(kGarbageSeed);
    std::vector<char> bytes(kGarbageBytes);
    for (char& b : bytes)
        b = static_cast<char>(rng() & 0xFF);
    std::ofstream out(to, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        w.Fail("writing the file");
}

// A partial file never carries the final name: written aside, then renamed into place.
class PartFile {
public:
    explicit PartFile(fs::path finalPath) : final_(std::move(finalPath)) {
        part_ = final_;
        part_ += ".part";
    }
    ~PartFile() {
        std::error_code ec;
        fs::remove(part_, ec);
    }
    PartFile(const PartFile&) = delete;
    PartFile& operator=(const PartFile&) = delete;
    const fs::path& path() const { return part_; }
    void Commit(const Where& w) {
        std::error_code ec;
        fs::rename(part_, final_, ec);
        if (ec)
            w.Fail("renaming into place (" + ec.message() + ")");
    }

private:
    fs::path final_, part_;
};

void Make(const Recipe& r, const fs::path& dir) {
    const Where w{(dir / r.name).string()};
    PartFile target(dir / r.name);
    if (r.post == Post::Truncate) {
        PartFile full(dir / (std::string(r.name) + ".full"));
        Encode(r, full.path(), w);
        CutFile(full.path(), target.path(), kTruncateFraction, w);
    } else {
        Encode(r, target.path(), w);
    }
    target.Commit(w);
}

int Usage() {
    std::fprintf(stderr, "usage: corvina-make-fixtures DIR [--bench]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2 || argc > 3)
        return Usage();
    const fs::path dir = argv[1];
    bool bench = false;
    if (argc == 3) {
        if (std::strcmp(argv[2], "--bench") != 0)
            return Usage();
        bench = true;
    }

    if (!binding::LoadAll("", true)) {
        std::fprintf(stderr, "corvina-make-fixtures: cannot bind the libraries: %s\n",
                     binding::LoaderErrorText().c_str());
        return 1;
    }
    // Encoder statistics would drown the real messages.
    ff::util.av_log_set_level(AV_LOG_ERROR);

    try {
        std::error_code ec;
        fs::create_directories(dir, ec);
        if (ec)
            throw FixtureError(dir.string() + ": creating the folder failed: " + ec.message());
        for (const Recipe& r : kRecipes)
            if (bench || !r.benchOnly)
                Make(r, dir);
        const Where w{(dir / kGarbageName).string()};
        PartFile garbage(dir / kGarbageName);
        WriteGarbage(garbage.path(), w);
        garbage.Commit(w);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "corvina-make-fixtures: %s\n", e.what());
        return 1;
    }
    return 0;
}
