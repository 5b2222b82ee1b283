#include "bench/Floor.h"

#include "binding/Handles.h"
#include "engine/AmrNbEncoder.h"
#include "engine/CodecAliases.h"
#include "engine/SampleConvert.h"
#include "engine/Transcoder.h"

#include <algorithm>
#include <chrono>
#include <ctime>
#include <functional>
#include <optional>
#include <vector>

namespace corvina::bench {

namespace {

using Clock = std::chrono::steady_clock;

double ProcessCpu() {
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Adds the time of each call made through it to one counter.
class Stopwatch {
public:
    explicit Stopwatch(Spent& total) : total_(total) {}
    template <typename F> auto operator()(F&& call) {
        const auto start = Clock::now();
        const double cpu = ProcessCpu();
        auto result = call();
        total_.cpu += ProcessCpu() - cpu;
        total_.wall += std::chrono::duration<double>(Clock::now() - start).count();
        return result;
    }

private:
    Spent& total_;
};

ff::CodecContextPtr OpenDecoder(const AVStream* st, std::string& error) {
    const AVCodec* codec = ff::codec.avcodec_find_decoder(st->codecpar->codec_id);
    ff::CodecContextPtr dec(codec ? ff::codec.avcodec_alloc_context3(codec) : nullptr);
    if (!dec || ff::codec.avcodec_parameters_to_context(dec.get(), st->codecpar) < 0) {
        error = "no decoder for stream " + std::to_string(st->index);
        return nullptr;
    }
    dec->thread_count = 1; // as the engine decodes
    dec->pkt_timebase = st->time_base;
    if (ff::codec.avcodec_open2(dec.get(), codec, nullptr) < 0) {
        error = "cannot open the decoder of stream " + std::to_string(st->index);
        return nullptr;
    }
    return dec;
}

// The engine's audio path: samples pass through interleaved 16-bit at the target rate and
// layout on their way to the encoder's format. The floors take the same path, so that they
// encode the very samples the engine gives the encoder: the AAC encoder, for one, works
// measurably longer on 16-bit-quantised input than on the decoder's own floats.
class SixteenBitPath {
public:
    SixteenBitPath(AVSampleFormat format, int rate, int channels) : format_(format), rate_(rate) {
        ff::util.av_channel_layout_default(&layout_, channels);
    }
    ~SixteenBitPath() { ff::util.av_channel_layout_uninit(&layout_); }
    SixteenBitPath(const SixteenBitPath&) = delete;
    SixteenBitPath& operator=(const SixteenBitPath&) = delete;

    // Converts `frame` (null: what the resampler still holds) into the FIFO, which takes the
    // encoder's format; false on failure.
    bool Push(const AVFrame* frame, AVAudioFifo* fifo) {
        if (!toS16_ && !(frame && Init(frame)))
            return frame == nullptr; // nothing ever came: nothing to flush
        const int inSamples = frame ? frame->nb_samples : 0;
        const int inRate = frame ? frame->sample_rate : rate_;
        const int room =
            static_cast<int>(ff::resample.swr_get_delay(toS16_.get(), rate_) +
                             static_cast<int64_t>(inSamples) * rate_ / std::max(inRate, 1) + 256);
        if (!Allocate(s16_.get(), AV_SAMPLE_FMT_S16, room))
            return false;
        const int n = ff::resample.swr_convert(
            toS16_.get(), s16_->extended_data, room,
            frame ? const_cast<const uint8_t**>(frame->extended_data) : nullptr, inSamples);
        if (n <= 0)
            return n == 0;
        uint8_t** data = s16_->extended_data;
        if (toEncoder_) {
            if (!Allocate(out_.get(), format_, n) ||
                ff::resample.swr_convert(toEncoder_.get(), out_->extended_data, n,
                                         const_cast<const uint8_t**>(s16_->extended_data), n) != n)
                return false;
            data = out_->extended_data;
        }
        return ff::util.av_audio_fifo_write(fifo, reinterpret_cast<void**>(data), n) == n;
    }

private:
    // (5.1 takes the layouts without const.)
    static ff::SwrContextPtr Converter(AVChannelLayout* outLayout, AVSampleFormat outFormat,
                                       int outRate, AVChannelLayout* inLayout,
                                       AVSampleFormat inFormat, int inRate) {
        SwrContext* raw = nullptr;
        if (ff::resample.swr_alloc_set_opts2(&raw, outLayout, outFormat, outRate, inLayout,
                                             inFormat, inRate, 0, nullptr) < 0 ||
            ff::resample.swr_init(raw) < 0) {
            ff::resample.swr_free(&raw);
            return nullptr;
        }
        return ff::SwrContextPtr(raw);
    }

    bool Init(const AVFrame* first) {
        toS16_ = Converter(&layout_, AV_SAMPLE_FMT_S16, rate_,
                           const_cast<AVChannelLayout*>(&first->ch_layout),
                           static_cast<AVSampleFormat>(first->format), first->sample_rate);
        if (format_ != AV_SAMPLE_FMT_S16)
            toEncoder_ = Converter(&layout_, format_, rate_, &layout_, AV_SAMPLE_FMT_S16, rate_);
        return toS16_ && (format_ == AV_SAMPLE_FMT_S16 || toEncoder_) && s16_ && out_;
    }

    bool Allocate(AVFrame* frame, AVSampleFormat format, int samples) {
        ff::util.av_frame_unref(frame);
        frame->format = format;
        frame->nb_samples = std::max(samples, 1);
        frame->sample_rate = rate_;
        return ff::util.av_channel_layout_copy(&frame->ch_layout, &layout_) >= 0 &&
               ff::util.av_frame_get_buffer(frame, 0) >= 0;
    }

    AVSampleFormat format_;
    int rate_;
    AVChannelLayout layout_{};
    ff::SwrContextPtr toS16_, toEncoder_;
    ff::FramePtr s16_ = ff::MakeFrame(), out_ = ff::MakeFrame();
};

// The clip with a decoder for each wanted stream.
class ClipReader {
public:
    using FrameSink = std::function<void(AVMediaType, AVFrame*)>;

    bool Open(const std::string& clip, bool wantVideo, bool wantAudio, std::string& error) {
        AVFormatContext* raw = nullptr;
        if (ff::format.avformat_open_input(&raw, clip.c_str(), nullptr, nullptr) < 0) {
            error = "cannot open " + clip;
            return false;
        }
        ctx_.reset(raw);
        if (ff::format.avformat_find_stream_info(ctx_.get(), nullptr) < 0) {
            error = "cannot read the streams of " + clip;
            return false;
        }
        for (unsigned i = 0; i < ctx_->nb_streams; i++) {
            const AVStream* st = ctx_->streams[i];
            const AVMediaType type = st->codecpar->codec_type;
            if (type == AVMEDIA_TYPE_VIDEO && wantVideo && !video_) {
                videoIndex_ = static_cast<int>(i);
                video_ = OpenDecoder(st, error);
                if (!video_)
                    return false;
            } else if (type == AVMEDIA_TYPE_AUDIO && wantAudio && !audio_) {
                audioIndex_ = static_cast<int>(i);
                audio_ = OpenDecoder(st, error);
                if (!audio_)
                    return false;
            }
        }
        return true;
    }

    // Reads every packet and decodes those of the opened decoders, then flushes them. The
    // sink's own time is not counted.
    bool Run(const FrameSink& sink, DecodeCost& cost, std::string& error) {
        ff::PacketPtr pkt = ff::MakePacket();
        ff::FramePtr frame = ff::MakeFrame();
        if (!pkt || !frame) {
            error = "out of memory";
            return false;
        }
        Stopwatch demux(cost.demux);
        while (demux([&] { return ff::format.av_read_frame(ctx_.get(), pkt.get()); }) >= 0) {
            Feed(pkt.get(), frame.get(), sink, cost);
            ff::codec.av_packet_unref(pkt.get());
        }
        Feed(nullptr, frame.get(), sink, cost);
        return true;
    }

    AVCodecContext* Audio() const { return audio_.get(); }
    AVRational VideoRate() const {
        return videoIndex_ < 0 ? AVRational{0, 1} : ctx_->streams[videoIndex_]->avg_frame_rate;
    }

private:
    void Feed(const AVPacket* pkt, AVFrame* frame, const FrameSink& sink, DecodeCost& cost) {
        struct Target {
            AVCodecContext* dec;
            int index;
            AVMediaType type;
            Spent& total;
        };
        const Target targets[] = {{video_.get(), videoIndex_, AVMEDIA_TYPE_VIDEO, cost.video},
                                  {audio_.get(), audioIndex_, AVMEDIA_TYPE_AUDIO, cost.audio}};
        for (const Target& t : targets) {
            if (!t.dec || (pkt && pkt->stream_index != t.index))
                continue;
            Stopwatch watch(t.total);
            // A damaged packet is skipped as the engine skips it.
            watch([&] { return ff::codec.avcodec_send_packet(t.dec, pkt); });
            while (watch([&] { return ff::codec.avcodec_receive_frame(t.dec, frame); }) >= 0) {
                if (t.type == AVMEDIA_TYPE_VIDEO)
                    cost.videoFrames++;
                else
                    cost.audioSamples += frame->nb_samples;
                if (sink)
                    sink(t.type, frame);
                ff::util.av_frame_unref(frame);
            }
        }
    }

    ff::InputContextPtr ctx_;
    int videoIndex_ = -1, audioIndex_ = -1;
    ff::CodecContextPtr video_, audio_;
};

// The encoder the engine would open for a legacy name (or a container default); nullptr
// when the library lacks it.
const AVCodec* ResolveEncoder(const std::string& name, AVCodecID id) {
    if (name.empty())
        return ff::codec.avcodec_find_encoder(id);
    if (const engine::EncoderAlias* alias = engine::FindEncoderAlias(name.c_str()))
        return ff::codec.avcodec_find_encoder_by_name(alias->EncoderName);
    return ff::codec.avcodec_find_encoder_by_name(name.c_str());
}

// Sends one frame (or the flush) and drops whatever packets come out; timed.
bool EncodeTimed(AVCodecContext* enc, const AVFrame* frame, AVPacket* pkt, Spent& total,
                 int64_t& bytes) {
    Stopwatch watch(total);
    if (watch([&] { return ff::codec.avcodec_send_frame(enc, frame); }) < 0)
        return false;
    for (;;) {
        const int r = watch([&] { return ff::codec.avcodec_receive_packet(enc, pkt); });
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        bytes += pkt->size;
        ff::codec.av_packet_unref(pkt);
    }
}

// Scales `frame` into `picture`, whose buffer exists; false when no scaler can be made.
bool ScaleInto(ff::SwsContextPtr& scaler, const AVFrame* frame, AVFrame* picture) {
    scaler.reset(ff::scale.sws_getCachedContext(
        scaler.release(), frame->width, frame->height, static_cast<AVPixelFormat>(frame->format),
        picture->width, picture->height, static_cast<AVPixelFormat>(picture->format), SWS_BICUBIC,
        nullptr, nullptr, nullptr));
    // The encoder may still hold the last picture.
    if (!scaler || ff::util.av_frame_make_writable(picture) < 0)
        return false;
    ff::scale.sws_scale(scaler.get(), frame->data, frame->linesize, 0, frame->height, picture->data,
                        picture->linesize);
    return true;
}

// Takes `samples` samples from the FIFO into `chunk`, made anew in the FIFO's form.
bool ReadFifo(AVAudioFifo* fifo, AVFrame* chunk, AVSampleFormat format, int rate, int channels,
              int samples) {
    ff::util.av_frame_unref(chunk);
    chunk->format = format;
    chunk->nb_samples = samples;
    chunk->sample_rate = rate;
    ff::util.av_channel_layout_default(&chunk->ch_layout, channels);
    return ff::util.av_frame_get_buffer(chunk, 0) >= 0 &&
           ff::util.av_audio_fifo_read(fifo, reinterpret_cast<void**>(chunk->extended_data),
                                       samples) == samples;
}

// The video encoder the engine would open for `target`, opened (timed into `spent`); null
// with cost.error set when it cannot be.
ff::CodecContextPtr OpenVideoEncoder(const VideoEncodeTarget& target, EncodeCost& cost,
                                     Spent& spent) {
    const AVCodec* codec = ResolveEncoder(target.encoder, target.id);
    if (!codec) {
        cost.error = "no encoder for '" + target.encoder + "'";
        return nullptr;
    }
    cost.encoder = codec->name;
    ff::CodecContextPtr enc(ff::codec.avcodec_alloc_context3(codec));
    if (!enc) {
        cost.error = "out of memory";
        return nullptr;
    }
    AVRational rate = target.rate;
    if (codec->supported_framerates)
        rate = engine::NearestSupportedRate(codec->supported_framerates, rate);
    enc->width = target.width;
    enc->height = target.height;
    enc->pix_fmt = target.pixFmt;
    if (codec->pix_fmts) {
        bool listed = false;
        for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; p++)
            listed = listed || *p == target.pixFmt;
        if (!listed)
            enc->pix_fmt = codec->pix_fmts[0];
    } else if (target.pixFmt == AV_PIX_FMT_NONE) {
        enc->pix_fmt = AV_PIX_FMT_YUV420P;
    }
    enc->time_base = AVRational{rate.den, rate.num};
    enc->framerate = rate;
    enc->thread_count = 1; // as the engine encodes
    if (target.bitRate > 0)
        enc->bit_rate = target.bitRate;
    if (target.maxRate > 0)
        enc->rc_max_rate = target.maxRate;
    if (target.minRate > 0)
        enc->rc_min_rate = target.minRate;
    if (target.bufSize > 0)
        enc->rc_buffer_size = static_cast<int>(target.bufSize);
    if (target.tolerance > 0)
        enc->bit_rate_tolerance = static_cast<int>(target.tolerance);
    if (target.gop > 0)
        enc->gop_size = target.gop;
    enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
    if (target.globalHeader)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (const char* name = ff::util.av_get_pix_fmt_name(enc->pix_fmt))
        cost.format = name;
    Stopwatch watch(spent);
    if (watch([&] { return ff::codec.avcodec_open2(enc.get(), codec, nullptr); }) < 0) {
        cost.error = std::string("cannot open ") + codec->name;
        return nullptr;
    }
    return enc;
}

// A library audio encoder as the engine opens it for `target` (timed into `spent`); null
// with cost.error set when it cannot be.
ff::CodecContextPtr OpenAudioEncoder(const AVCodec* codec, const AudioEncodeTarget& target,
                                     EncodeCost& cost, Spent& spent) {
    cost.encoder = codec->name;
    ff::CodecContextPtr enc(ff::codec.avcodec_alloc_context3(codec));
    if (!enc) {
        cost.error = "out of memory";
        return nullptr;
    }
    enc->sample_fmt = engine::ChooseSampleFormat(codec);
    enc->sample_rate = target.sampleRate;
    enc->time_base = AVRational{1, target.sampleRate};
    ff::util.av_channel_layout_default(&enc->ch_layout, target.channels);
    enc->thread_count = 1;
    if (target.bitRate > 0)
        enc->bit_rate = target.bitRate;
    if (target.globalHeader)
        enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    Stopwatch watch(spent);
    if (watch([&] { return ff::codec.avcodec_open2(enc.get(), codec, nullptr); }) < 0) {
        cost.error = std::string("cannot open ") + codec->name;
        return nullptr;
    }
    return enc;
}

} // namespace

DecodeCost MeasureDecode(const std::string& clip) {
    DecodeCost cost;
    ClipReader reader;
    if (!reader.Open(clip, true, true, cost.error) || !reader.Run(nullptr, cost, cost.error))
        return cost;
    cost.audioRate = reader.Audio() ? reader.Audio()->sample_rate : 0;
    if (reader.VideoRate().num > 0)
        cost.videoRate = reader.VideoRate();
    cost.ok = true;
    return cost;
}

OutputInfo ReadOutput(const std::string& path) {
    OutputInfo info;
    AVFormatContext* raw = nullptr;
    if (ff::format.avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        info.error = "cannot open " + path;
        return info;
    }
    ff::InputContextPtr ctx(raw);
    if (ff::format.avformat_find_stream_info(ctx.get(), nullptr) < 0) {
        info.error = "cannot read the streams of " + path;
        return info;
    }
    int videoIndex = -1, audioIndex = -1;
    for (unsigned i = 0; i < ctx->nb_streams; i++) {
        const AVCodecParameters* par = ctx->streams[i]->codecpar;
        if (par->codec_type == AVMEDIA_TYPE_VIDEO && videoIndex < 0) {
            videoIndex = static_cast<int>(i);
            info.hasVideo = true;
            info.videoId = par->codec_id;
            info.width = par->width;
            info.height = par->height;
            info.pixFmt = static_cast<AVPixelFormat>(par->format);
        } else if (par->codec_type == AVMEDIA_TYPE_AUDIO && audioIndex < 0) {
            audioIndex = static_cast<int>(i);
            info.hasAudio = true;
            info.audioId = par->codec_id;
            info.sampleRate = par->sample_rate;
            info.channels = par->ch_layout.nb_channels;
            info.sampleFmt = static_cast<AVSampleFormat>(par->format);
        }
    }
    ff::PacketPtr pkt = ff::MakePacket();
    int64_t first = AV_NOPTS_VALUE, end = AV_NOPTS_VALUE;
    while (pkt && ff::format.av_read_frame(ctx.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == videoIndex) {
            info.videoPackets++;
            info.videoBytes += pkt->size;
            const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
            if (ts != AV_NOPTS_VALUE) {
                first = first == AV_NOPTS_VALUE ? ts : std::min(first, ts);
                end =
                    end == AV_NOPTS_VALUE ? ts + pkt->duration : std::max(end, ts + pkt->duration);
            }
        } else if (pkt->stream_index == audioIndex) {
            info.audioBytes += pkt->size;
        }
        ff::codec.av_packet_unref(pkt.get());
    }
    if (videoIndex >= 0 && first != AV_NOPTS_VALUE)
        info.videoSeconds =
            static_cast<double>(end - first) * av_q2d(ctx->streams[videoIndex]->time_base);
    info.opened = true;
    return info;
}

EncodeCost MeasureVideoEncode(const std::string& clip, const VideoEncodeTarget& target,
                              int64_t inputFrames) {
    EncodeCost cost;
    ff::CodecContextPtr enc = OpenVideoEncoder(target, cost, cost.spent);
    if (!enc)
        return cost;
    const AVCodec* codec = enc->codec;
    ff::FramePtr picture = ff::MakeFrame();
    ff::PacketPtr pkt = ff::MakePacket();
    if (!picture || !pkt) {
        cost.error = "out of memory";
        return cost;
    }
    picture->format = enc->pix_fmt;
    picture->width = enc->width;
    picture->height = enc->height;
    if (ff::util.av_frame_get_buffer(picture.get(), 0) < 0) {
        cost.error = "cannot allocate a picture";
        return cost;
    }
    ff::SwsContextPtr scaler;
    int64_t decoded = 0; // input frames seen
    bool ok = true;
    const int64_t wanted = target.frames;
    const int64_t in = std::max<int64_t>(inputFrames, 1);
    auto sendCopies = [&](int64_t upTo) {
        // Output frame j shows input frame j * in / wanted.
        while (ok && cost.units < upTo) {
            picture->pts = cost.units++;
            ok = EncodeTimed(enc.get(), picture.get(), pkt.get(), cost.spent, cost.bytes);
        }
    };
    ClipReader reader;
    DecodeCost ignored;
    if (!reader.Open(clip, true, false, cost.error))
        return cost;
    const bool read = reader.Run(
        [&](AVMediaType, AVFrame* frame) {
            const int64_t k = decoded++;
            const int64_t upTo = std::min(wanted, ((k + 1) * wanted + in - 1) / in);
            if (!ok || upTo <= cost.units)
                return;
            ok = ScaleInto(scaler, frame, picture.get());
            sendCopies(upTo);
        },
        ignored, cost.error);
    if (!read)
        return cost;
    sendCopies(wanted); // a clip shorter than its header said repeats its last picture
    if (!ok || !EncodeTimed(enc.get(), nullptr, pkt.get(), cost.spent, cost.bytes)) {
        cost.error = std::string("encoding failed in ") + codec->name;
        return cost;
    }
    cost.ok = true;
    return cost;
}

EncodeCost MeasureAudioEncode(const std::string& clip, const AudioEncodeTarget& target) {
    EncodeCost cost;
    const AVCodec* codec = ResolveEncoder(target.encoder, target.id);
    const bool amr = !codec && target.id == AV_CODEC_ID_AMR_NB;
    if (!codec && !amr) {
        cost.error = "no encoder for '" + target.encoder + "'";
        return cost;
    }
    Stopwatch watch(cost.spent);

    // The encoder first: its frame size and sample format shape the prepared samples.
    ff::CodecContextPtr enc;
    std::unique_ptr<engine::AmrNbEncoder> amrEncoder;
    AVSampleFormat format = AV_SAMPLE_FMT_S16;
    int rate = target.sampleRate, channels = target.channels, frameSize = 1024;
    if (amr) {
        cost.encoder = "amr_nb (engine)";
        amrEncoder = watch([&] { return engine::AmrNbEncoder::Create(target.bitRate); });
        if (!amrEncoder) {
            cost.error = "cannot set up the engine's AMR-NB encoder";
            return cost;
        }
        rate = engine::AmrNbEncoder::kSampleRate;
        channels = 1;
        frameSize = engine::AmrNbEncoder::kFrameSamples;
        cost.format = "s16";
    } else {
        enc = OpenAudioEncoder(codec, target, cost, cost.spent);
        if (!enc)
            return cost;
        format = enc->sample_fmt;
        if (const char* name = ff::util.av_get_sample_fmt_name(format))
            cost.format = name;
        if (enc->frame_size > 0)
            frameSize = enc->frame_size;
    }

    // Every sample of the clip, converted to the encoder's form (untimed).
    ff::AudioFifoPtr fifo(ff::util.av_audio_fifo_alloc(format, channels, 1 << 16));
    ff::FramePtr chunk = ff::MakeFrame();
    ff::PacketPtr pkt = ff::MakePacket();
    if (!fifo || !chunk || !pkt) {
        cost.error = "out of memory";
        return cost;
    }
    SixteenBitPath path(format, rate, channels);
    bool ok = true;
    ClipReader reader;
    DecodeCost ignored;
    if (!reader.Open(clip, false, true, cost.error))
        return cost;
    const bool read =
        reader.Run([&](AVMediaType, AVFrame* frame) { ok = ok && path.Push(frame, fifo.get()); },
                   ignored, cost.error);
    ok = ok && path.Push(nullptr, fifo.get());
    if (!read || !ok) {
        if (cost.error.empty())
            cost.error = "cannot prepare the samples";
        return cost;
    }

    // The encoding itself: whole frames of the encoder's size; a last partial frame is
    // left out.
    std::vector<uint8_t> amrOut(engine::AmrNbEncoder::kMaxFrameBytes);
    while (ok && ff::util.av_audio_fifo_size(fifo.get()) >= frameSize) {
        if (!ReadFifo(fifo.get(), chunk.get(), format, rate, channels, frameSize)) {
            ok = false;
            break;
        }
        chunk->pts = cost.units;
        cost.units += frameSize;
        if (amr) {
            const auto* samples = reinterpret_cast<const int16_t*>(chunk->data[0]);
            const int n = watch([&] { return amrEncoder->EncodeFrame(samples, amrOut.data()); });
            ok = n >= 0;
            cost.bytes += std::max(n, 0);
        } else {
            ok = EncodeTimed(enc.get(), chunk.get(), pkt.get(), cost.spent, cost.bytes);
        }
    }
    if (ok && !amr)
        ok = EncodeTimed(enc.get(), nullptr, pkt.get(), cost.spent, cost.bytes);
    if (!ok) {
        cost.error = "encoding failed in " + cost.encoder;
        return cost;
    }
    cost.ok = true;
    return cost;
}

} // namespace corvina::bench

namespace corvina::bench {

PipelineCost MeasurePipeline(const std::string& clip, const VideoEncodeTarget* video,
                             const AudioEncodeTarget* audio, int64_t inputFrames) {
    PipelineCost cost;
    const auto start = Clock::now();
    const double cpuStart = ProcessCpu();
    Spent opening; // inside the total already
    EncodeCost videoCost, audioCost;

    ClipReader reader;
    if (!reader.Open(clip, video != nullptr, audio != nullptr, cost.error))
        return cost;
    ff::CodecContextPtr venc, aenc;
    if (video && !(venc = OpenVideoEncoder(*video, videoCost, opening))) {
        cost.error = videoCost.error;
        return cost;
    }
    if (audio) {
        const AVCodec* codec = ResolveEncoder(audio->encoder, audio->id);
        if (!codec) {
            cost.error = "the one-pass floor needs a library encoder for '" + audio->encoder + "'";
            return cost;
        }
        if (!(aenc = OpenAudioEncoder(codec, *audio, audioCost, opening))) {
            cost.error = audioCost.error;
            return cost;
        }
    }

    ff::PacketPtr pkt = ff::MakePacket();
    ff::FramePtr picture = ff::MakeFrame(), chunk = ff::MakeFrame();
    if (!pkt || !picture || !chunk) {
        cost.error = "out of memory";
        return cost;
    }
    Spent encodeSpent; // not reported apart
    bool ok = true;

    // Video: output frame j shows input frame j * in / wanted, as MeasureVideoEncode.
    ff::SwsContextPtr scaler;
    int64_t decoded = 0, sent = 0;
    const int64_t wanted = video ? video->frames : 0;
    const int64_t in = std::max<int64_t>(inputFrames, 1);
    auto videoFrame = [&](AVFrame* frame) {
        const int64_t k = decoded++;
        const int64_t upTo = std::min(wanted, ((k + 1) * wanted + in - 1) / in);
        if (!ok || upTo <= sent)
            return;
        AVFrame* out = frame;
        if (frame->width != venc->width || frame->height != venc->height ||
            frame->format != venc->pix_fmt) {
            if (!picture->buf[0]) {
                picture->format = venc->pix_fmt;
                picture->width = venc->width;
                picture->height = venc->height;
                ok = ff::util.av_frame_get_buffer(picture.get(), 0) >= 0;
            }
            ok = ok && ScaleInto(scaler, frame, picture.get());
            if (!ok)
                return;
            out = picture.get();
        }
        out->pict_type = AV_PICTURE_TYPE_NONE;
        while (ok && sent < upTo) {
            out->pts = sent++;
            ok = EncodeTimed(venc.get(), out, pkt.get(), encodeSpent, cost.bytes);
        }
    };

    // Audio: through 16-bit as in the engine, then in frames of the encoder's size.
    std::optional<SixteenBitPath> path;
    ff::AudioFifoPtr fifo;
    if (aenc) {
        path.emplace(aenc->sample_fmt, aenc->sample_rate, aenc->ch_layout.nb_channels);
        fifo.reset(
            ff::util.av_audio_fifo_alloc(aenc->sample_fmt, aenc->ch_layout.nb_channels, 1 << 14));
        if (!fifo) {
            cost.error = "out of memory";
            return cost;
        }
    }
    int64_t audioPts = 0;
    const int frameSize = aenc && aenc->frame_size > 0 ? aenc->frame_size : 1024;
    // A short last frame goes only to an encoder that takes one.
    const bool shortLast = aenc && (aenc->codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME |
                                                                 AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
    auto encodeWhole = [&](bool last) {
        while (ok && (ff::util.av_audio_fifo_size(fifo.get()) >= frameSize ||
                      (last && shortLast && ff::util.av_audio_fifo_size(fifo.get()) > 0))) {
            const int n = std::min(frameSize, ff::util.av_audio_fifo_size(fifo.get()));
            ok = ReadFifo(fifo.get(), chunk.get(), aenc->sample_fmt, aenc->sample_rate,
                          aenc->ch_layout.nb_channels, n);
            chunk->pts = audioPts;
            audioPts += n;
            ok = ok && EncodeTimed(aenc.get(), chunk.get(), pkt.get(), encodeSpent, cost.bytes);
        }
    };
    auto audioFrame = [&](AVFrame* frame) {
        ok = ok && path->Push(frame, fifo.get());
        encodeWhole(false);
    };

    DecodeCost decodeSpent; // inside the total already
    const bool read = reader.Run(
        [&](AVMediaType type, AVFrame* frame) {
            if (type == AVMEDIA_TYPE_VIDEO)
                videoFrame(frame);
            else
                audioFrame(frame);
        },
        decodeSpent, cost.error);
    if (read && ok && venc)
        ok = EncodeTimed(venc.get(), nullptr, pkt.get(), encodeSpent, cost.bytes);
    if (read && ok && aenc) {
        ok = path->Push(nullptr, fifo.get());
        encodeWhole(true);
        ok = ok && EncodeTimed(aenc.get(), nullptr, pkt.get(), encodeSpent, cost.bytes);
    }
    cost.spent.cpu = ProcessCpu() - cpuStart;
    cost.videoFrames = sent;
    cost.audioSamples = audioPts;
    cost.spent.wall = std::chrono::duration<double>(Clock::now() - start).count();
    if (!read || !ok) {
        if (cost.error.empty())
            cost.error = "the one-pass floor failed";
        return cost;
    }
    cost.ok = true;
    return cost;
}

} // namespace corvina::bench
