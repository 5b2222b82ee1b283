// Decoded frames to written packets: audio/video synchronisation, resampling, crop, scale
// and pad, encoding, subtitles, the encoders' drain at the end, and the vstats lines.
#include "engine/AudioSync.h"
#include "engine/Orientation.h"
#include "engine/PictureOps.h"
#include "engine/SampleConvert.h"
#include "engine/StrFormat.h"
#include "engine/TranscodeRun.h"
#include "engine/VideoSync.h"

extern "C" {
#include <libavutil/intreadwrite.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>

namespace corvina::engine {

namespace {

constexpr AVRational kMicroseconds{1, AV_TIME_BASE};
constexpr AVRational kMilliseconds{1, 1000};
constexpr float kQp2Lambda = 118;
constexpr size_t kSubtitleBufferSize = 65536;

// The styles text subtitles get when their decoder states none: one default style.
constexpr const char* kDefaultSubtitleHeader =
    "[Script Info]\r\n"
    "ScriptType: v4.00+\r\n"
    "PlayResX: 384\r\n"
    "PlayResY: 288\r\n"
    "ScaledBorderAndShadow: yes\r\n"
    "\r\n"
    "[V4+ Styles]\r\n"
    "Format: Name, Fontname, Fontsize, PrimaryColour, SecondaryColour, OutlineColour, "
    "BackColour, Bold, Italic, Underline, StrikeOut, ScaleX, ScaleY, Spacing, Angle, "
    "BorderStyle, Outline, Shadow, Alignment, MarginL, MarginR, MarginV, Encoding\r\n"
    "Style: Default,Arial,16,&Hffffff,&Hffffff,&H0,&H0,0,0,0,0,100,100,0,0,1,1,0,2,10,10,10,0\r\n"
    "\r\n"
    "[Events]\r\n"
    "Format: Layer, Start, End, Style, Name, MarginL, MarginR, MarginV, Effect, Text\r\n";

std::string OpenFailure(const OutputStreamState& ost) {
    return StrFormat("Error while opening codec for output stream #%d.%d - maybe incorrect "
                     "parameters such as bit_rate, rate, width or height",
                     ost.File, ost.Index);
}

bool IsVideo(const OutputStreamState& ost) {
    return ost.Enc->codec_type == AVMEDIA_TYPE_VIDEO;
}

const char* EncodingFailure(const OutputStreamState& ost) {
    return IsVideo(ost) ? "Video encoding failed" : "Audio encoding failed";
}

// A stage's own reason (a picture that could not be converted at all), else the encoder's.
std::string StageFailure(OutputStreamState& ost) {
    std::string reason = ost.Stage->Failure();
    return reason.empty() ? EncodingFailure(ost) : reason;
}

ff::FramePtr& Allocated(ff::FramePtr& frame) {
    if (!frame) {
        frame = ff::MakeFrame();
        if (!frame)
            throw ETranscodeError("av_malloc fail");
    }
    return frame;
}

ff::PacketPtr& Allocated(ff::PacketPtr& packet) {
    if (!packet) {
        packet = ff::MakePacket();
        if (!packet)
            throw ETranscodeError("av_malloc fail");
    }
    return packet;
}

} // namespace

// ---------------------------------------------------------------- set-up

void TranscodeRun::PrepareAudioEncoding(OutputStreamState& ost, InputStreamState& ist) {
    AVCodecContext* enc = ost.Enc;
    AVCodecContext* dec = ist.Dec;
    ost.Fifo.clear();
    ost.Fifo.reserve(1024);
    ost.AudioResample = enc->sample_rate != dec->sample_rate || s_.AudioSyncMethod >= 2;

    // Decoders that can mix down themselves (the AC-3 family) are asked to; whatever still
    // differs is mixed by the resampler.
    const int encChannels = enc->ch_layout.nb_channels;
    if (encChannels > 0 && encChannels < dec->ch_layout.nb_channels) {
        AVChannelLayout layout{};
        ff::util.av_channel_layout_default(&layout, encChannels);
        char text[64];
        if (ff::util.av_channel_layout_describe(&layout, text, sizeof text) > 0)
            ff::util.av_opt_set(dec, "downmix", text, AV_OPT_SEARCH_CHILDREN); // optional
        ff::util.av_channel_layout_uninit(&layout);
    }
}

void TranscodeRun::PrepareVideoEncoding(OutputStreamState& ost, InputStreamState& ist) {
    AVCodecContext* enc = ost.Enc;
    AVCodecContext* dec = ist.Dec;
    ost.CropTop = s_.CropTop;
    ost.CropLeft = s_.CropLeft;
    ost.VideoCrop = s_.CropTop || s_.CropBottom || s_.CropLeft || s_.CropRight;
    ost.PadTop = s_.PadTop;
    ost.PadBottom = s_.PadBottom;
    ost.PadLeft = s_.PadLeft;
    ost.PadRight = s_.PadRight;
    ost.VideoPad = s_.PadTop || s_.PadBottom || s_.PadLeft || s_.PadRight;

    // The picture as seen: one stored turned comes out of TurnUpright in its displayed size.
    int shownWidth = 0, shownHeight = 0;
    DisplayedSize(ist.Orient, dec->width, dec->height, shownWidth, shownHeight);
    const int srcWidth = shownWidth - s_.CropLeft - s_.CropRight;
    const int srcHeight = shownHeight - s_.CropTop - s_.CropBottom;
    ost.VideoResample = enc->width != srcWidth + s_.PadLeft + s_.PadRight ||
                        enc->height != srcHeight + s_.PadTop + s_.PadBottom ||
                        enc->pix_fmt != dec->pix_fmt;

    if ((ost.VideoPad || ost.VideoResample) &&
        !FreshPicture(ost.TempPicture, enc->pix_fmt, enc->width, enc->height))
        throw ETranscodeError(ost.VideoResample ? "Cannot allocate temp picture, check pix fmt"
                                                : "avpicture_alloc fail");
    if (!ost.VideoResample)
        return;
    if (void* scalerOptions = job_.ScalerOptionContext()) {
        int64_t flags = 0;
        if (ff::util.av_opt_get_int(scalerOptions, "sws_flags", 0, &flags) >= 0)
            s_.ScalerFlags = static_cast<int>(flags);
    }
    // A decoder that tells its picture format only with the first picture gets its scaler
    // then (DoVideoOut makes it for whatever arrives).
    if (dec->pix_fmt != AV_PIX_FMT_NONE && srcWidth > 0 && srcHeight > 0 &&
        CanOrient(dec->pix_fmt, ist.Orient))
        EnsureScaler(ost, srcWidth, srcHeight, dec->pix_fmt);
}

void TranscodeRun::EnsureScaler(OutputStreamState& ost, int width, int height,
                                AVPixelFormat format) {
    AVCodecContext* enc = ost.Enc;
    const int dstWidth = enc->width - ost.PadLeft - ost.PadRight;
    const int dstHeight = enc->height - ost.PadTop - ost.PadBottom;
    // Returns the same context while the parameters stay; frees it when they change.
    SwsContext* scaler = ff::scale.sws_getCachedContext(ost.Scaler.release(), width, height, format,
                                                        dstWidth, dstHeight, enc->pix_fmt,
                                                        s_.ScalerFlags, nullptr, nullptr, nullptr);
    ost.Scaler.reset(scaler);
    if (!scaler)
        throw ETranscodeError("Cannot get resampling context");
    ost.ScaledHeight = height;
}

void TranscodeRun::OpenEncoder(OutputStreamState& ost) {
    AVCodecContext* enc = ost.Enc;
    const AVCodec* codec = ost.Setup->Codec;
    if (!codec)
        codec = ff::codec.avcodec_find_encoder(enc->codec_id);

    if (!codec && enc->codec_type == AVMEDIA_TYPE_AUDIO && enc->codec_id == AV_CODEC_ID_AMR_NB) {
        // The libraries lack this encoder; the engine's own takes 8000 Hz mono only.
        if (enc->sample_rate != AmrNbEncoder::kSampleRate || enc->ch_layout.nb_channels != 1)
            throw ETranscodeError(OpenFailure(ost));
        ost.Amr = AmrNbEncoder::Create(enc->bit_rate);
        if (!ost.Amr)
            throw ETranscodeError(OpenFailure(ost));
        enc->sample_fmt = AV_SAMPLE_FMT_S16;
        enc->frame_size = AmrNbEncoder::kFrameSamples;
        enc->bit_rate = AmrNbEncoder::BitRateOfMode(ost.Amr->Mode());
        enc->time_base = AVRational{1, AmrNbEncoder::kSampleRate};
        ost.EncoderOpen = true;
        return;
    }
    if (!codec)
        throw ETranscodeError(
            StrFormat("Unsupported codec for output stream #%d.%d", ost.File, ost.Index));

    switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO:
        enc->sample_fmt = ChooseSampleFormat(codec);
        if (enc->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC && enc->ch_layout.nb_channels > 0) {
            const int channels = enc->ch_layout.nb_channels;
            ff::util.av_channel_layout_uninit(&enc->ch_layout);
            ff::util.av_channel_layout_default(&enc->ch_layout, channels);
        }
        break;
    case AVMEDIA_TYPE_VIDEO:
        if (enc->pix_fmt == AV_PIX_FMT_NONE)
            enc->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
        // Containers that take raw pictures used to get the picture structure itself; this
        // generation of the libraries has no such packet, so those containers are given
        // the rawvideo encoder and their pictures go through the ordinary encoding path.
        ost.St->sample_aspect_ratio = enc->sample_aspect_ratio;
        ost.St->avg_frame_rate = enc->framerate;
        break;
    case AVMEDIA_TYPE_SUBTITLE:
        if (enc->time_base.num <= 0 || enc->time_base.den <= 0)
            enc->time_base = kMilliseconds;
        // Text subtitle encoders take their styles from a header in the decoders' form.
        if (!enc->subtitle_header) {
            const AVCodecContext* dec = ist_[ost.SourceIndex].Dec;
            const bool fromDecoder = dec && dec->subtitle_header && dec->subtitle_header_size > 0;
            const char* header = fromDecoder ? reinterpret_cast<const char*>(dec->subtitle_header)
                                             : kDefaultSubtitleHeader;
            const size_t size =
                fromDecoder ? static_cast<size_t>(dec->subtitle_header_size) : std::strlen(header);
            enc->subtitle_header = static_cast<uint8_t*>(ff::util.av_mallocz(size + 1));
            if (!enc->subtitle_header)
                throw ETranscodeError("av_malloc fail");
            std::memcpy(enc->subtitle_header, header, size);
            enc->subtitle_header_size = static_cast<int>(size);
        }
        break;
    default:
        break;
    }
    if (ost.StatsIn && !enc->stats_in)
        enc->stats_in = ost.StatsIn.get();

    // Encoders that pipeline whole pictures on threads of their own keep every core busy
    // only with more pictures in flight than cores, as their own automatic count does.
    if (s_.ThreadCount > 1 && PipelinesPictures(codec))
        enc->thread_count = s_.ThreadCount + s_.ThreadCount / 2;

    // avcodec_open2 consumes what it uses; the setup keeps its own copy.
    ff::Dictionary options;
    if (ost.Setup->EncoderOptions.Raw())
        ff::util.av_dict_copy(options.Address(), ost.Setup->EncoderOptions.Raw(), 0);
    int r;
    {
        std::lock_guard lock(CodecLock());
        r = ff::codec.avcodec_open2(enc, codec, options.Address());
    }
    if (r < 0)
        throw ETranscodeError(OpenFailure(ost));
    ost.EncoderOpen = true;
}

// ---------------------------------------------------------------- audio

void TranscodeRun::DecodedAudioToS16(InputStreamState& ist, const AVFrame* frame,
                                     std::vector<uint8_t>& out) {
    const int channels = frame->ch_layout.nb_channels;
    const int samples = frame->nb_samples;
    out.resize(static_cast<size_t>(std::max(samples, 0)) * std::max(channels, 0) * 2);
    if (out.empty())
        return;
    if (!ConvertToS16(frame->extended_data, static_cast<AVSampleFormat>(frame->format), samples,
                      channels, reinterpret_cast<int16_t*>(out.data()))) {
        out.clear(); // a sample format no decoder of this generation produces
        return;
    }
    ist.AudioChannels = channels;
    ist.AudioRate = frame->sample_rate;
}

void TranscodeRun::EnsureResampler(OutputStreamState& ost, int decChannels, int decRate) {
    if (ost.Resampler && ost.ResamplerInChannels == decChannels && ost.ResamplerInRate == decRate)
        return;
    AVCodecContext* enc = ost.Enc;
    ost.Resampler.reset();
    AVChannelLayout in{};
    ff::util.av_channel_layout_default(&in, decChannels);
    SwrContext* swr = nullptr;
    const int r =
        ff::resample.swr_alloc_set_opts2(&swr, &enc->ch_layout, AV_SAMPLE_FMT_S16, enc->sample_rate,
                                         &in, AV_SAMPLE_FMT_S16, decRate, 0, nullptr);
    ff::util.av_channel_layout_uninit(&in);
    ost.Resampler.reset(swr);
    if (r < 0 || !swr || ff::resample.swr_init(swr) < 0) {
        ost.Resampler.reset();
        throw ETranscodeError(
            StrFormat("Can not resample %d channels @ %d Hz to %d channels @ %d Hz", decChannels,
                      decRate, enc->ch_layout.nb_channels, enc->sample_rate));
    }
    ost.ResamplerInChannels = decChannels;
    ost.ResamplerInRate = decRate;
}

void TranscodeRun::EncodeWholeFrames(OutputStreamState& ost, int frameSize, int channels) {
    const size_t frameBytes = static_cast<size_t>(frameSize) * 2 * channels;
    size_t pos = 0;
    while (ost.Fifo.size() - pos >= frameBytes) {
        EncodeAudioFrame(ost, ost.Fifo.data() + pos, frameSize);
        pos += frameBytes;
        ost.SyncOpts += frameSize;
    }
    ost.Fifo.erase(ost.Fifo.begin(), ost.Fifo.begin() + static_cast<ptrdiff_t>(pos));
}

void TranscodeRun::DoAudioOut(OutputStreamState& ost, InputStreamState& ist, const uint8_t* buf,
                              int size) {
    AVCodecContext* enc = ost.Enc;
    const int encChannels = enc->ch_layout.nb_channels;
    const int encRate = enc->sample_rate;
    const int decChannels =
        ist.AudioChannels > 0 ? ist.AudioChannels : ist.Dec->ch_layout.nb_channels;
    const int decRate = ist.AudioRate > 0 ? ist.AudioRate : ist.Dec->sample_rate;
    if (!buf || size <= 0 || encChannels <= 0 || encRate <= 0 || decChannels <= 0 || decRate <= 0)
        return;

    // Resample when the layout differs (the rate too: a stream may decode at another rate than it
    // announced).
    if (encChannels != decChannels || encRate != decRate)
        ost.AudioResample = true;
    if (ost.AudioResample)
        EnsureResampler(ost, decChannels, decRate);

    // Audio sync: stretch or squeeze to the timestamps.
    const int64_t fifoBytes = static_cast<int64_t>(ost.Fifo.size());
    if (s_.AudioSyncMethod != 0) {
        AudioSyncInput in;
        in.Method = s_.AudioSyncMethod;
        in.DriftThreshold = s_.AudioDriftThreshold;
        in.SyncIpts = SyncInputPts(ost);
        in.SyncOpts = ost.SyncOpts;
        in.FifoBytes = fifoBytes;
        in.EncRate = encRate;
        in.EncChannels = encChannels;
        in.DecRate = decRate;
        in.DecChannels = decChannels;
        in.IsStart = ist.IsStart;
        in.BlockBytes = size;
        const AudioSyncAction a = DecideAudioSync(in);
        switch (a.Action) {
        case AudioSyncAction::kDrop:
            if (s_.Verbosity > 2)
                job_.LogF(kLevelInfo, "discarding %d audio samples", static_cast<int>(-a.Delta));
            buf += a.Bytes;
            size -= a.Bytes;
            if (size <= 0)
                return;
            ist.IsStart = false;
            break;
        case AudioSyncAction::kSilence:
            silence_.resize(static_cast<size_t>(a.Bytes) + size);
            std::memset(silence_.data(), 0, static_cast<size_t>(a.Bytes));
            std::memcpy(silence_.data() + a.Bytes, buf, static_cast<size_t>(size));
            buf = silence_.data();
            size += a.Bytes;
            if (a.ClearIsStart)
                ist.IsStart = false;
            if (s_.Verbosity > 2)
                job_.LogF(kLevelInfo, "adding %d audio samples of silence",
                          static_cast<int>(a.Delta));
            break;
        case AudioSyncAction::kCompensate:
            if (!ost.AudioResample || !ost.Resampler)
                throw ETranscodeError("Assertion failure");
            if (s_.Verbosity > 2)
                job_.LogF(kLevelInfo, "compensating audio timestamp drift:%f compensation:%d in:%d",
                          a.Delta, a.Compensation, encRate);
            if (ff::resample.swr_set_compensation(ost.Resampler.get(), a.Compensation, encRate) < 0)
                job_.Log(kLevelError, "Can not compensate audio timestamp drift");
            break;
        case AudioSyncAction::kNone:
            break;
        }
    } else {
        // The samples that come out next are those the resampler still holds from earlier
        // blocks: they lie before this block's input time. Without subtracting them the
        // packets claim times ahead of the samples they carry, and a muxer that needs the
        // audio of each video frame (DV) runs short.
        const int64_t held = ost.AudioResample && ost.Resampler
                                 ? ff::resample.swr_get_delay(ost.Resampler.get(), encRate)
                                 : 0;
        ost.SyncOpts =
            std::llrint(SyncInputPts(ost) * encRate) - fifoBytes / (encChannels * 2) - held;
    }

    // Resample to the encoder's layout and rate.
    const uint8_t* out = buf;
    int outBytes = size;
    if (ost.AudioResample) {
        SwrContext* swr = ost.Resampler.get();
        const int inSamples = size / (decChannels * 2);
        const int64_t capacity =
            ff::util.av_rescale_rnd(ff::resample.swr_get_delay(swr, decRate) + inSamples, encRate,
                                    decRate, AV_ROUND_UP) +
            std::abs(s_.AudioSyncMethod) + 256;
        audioWork_.resize(static_cast<size_t>(capacity) * encChannels * 2);
        uint8_t* dst = audioWork_.data();
        const uint8_t* src = buf;
        const int n =
            ff::resample.swr_convert(swr, &dst, static_cast<int>(capacity), &src, inSamples);
        if (n < 0)
            throw ETranscodeError(
                StrFormat("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                          decChannels, decRate, encChannels, encRate));
        out = audioWork_.data();
        outBytes = n * encChannels * 2;
    }

    // Whole encoder frames out of the FIFO.
    const int frameSize = ost.Amr ? AmrNbEncoder::kFrameSamples : enc->frame_size;
    if (frameSize > 1) {
        ost.Fifo.insert(ost.Fifo.end(), out, out + outBytes);
        EncodeWholeFrames(ost, frameSize, encChannels);
    } else {
        // Encoders without a frame size (PCM) take every block whole.
        const int samples = outBytes / (2 * encChannels);
        if (samples > 0) {
            EncodeAudioFrame(ost, out, samples);
            ost.SyncOpts += samples;
        }
    }
}

void TranscodeRun::EncodeAudioFrame(OutputStreamState& ost, const uint8_t* s16, int samples) {
    AVCodecContext* enc = ost.Enc;
    // Timestamps never run backwards, whatever the input's timestamps did.
    int64_t pts = ost.SyncOpts;
    if (ost.NextPts != AV_NOPTS_VALUE && pts < ost.NextPts)
        pts = ost.NextPts;
    ost.NextPts = pts + samples;

    if (ost.Amr) {
        uint8_t coded[AmrNbEncoder::kMaxFrameBytes];
        const int n = ost.Amr->EncodeFrame(reinterpret_cast<const int16_t*>(s16), coded);
        if (n <= 0)
            throw ETranscodeError("Audio encoding failed");
        AVPacket* pkt = Allocated(encodedPacket_).get();
        ff::codec.av_packet_unref(pkt);
        if (ff::codec.av_new_packet(pkt, n) < 0)
            throw ETranscodeError("av_malloc fail");
        std::memcpy(pkt->data, coded, static_cast<size_t>(n));
        pkt->pts = pkt->dts = pts;
        pkt->duration = samples;
        pkt->flags |= AV_PKT_FLAG_KEY;
        ff::codec.av_packet_rescale_ts(pkt, enc->time_base, ost.St->time_base);
        audioSize_ += n;
        WritePacket(ost, pkt);
        return;
    }

    AVFrame* frame = Allocated(encodeFrame_).get();
    ff::util.av_frame_unref(frame);
    frame->format = enc->sample_fmt;
    frame->sample_rate = enc->sample_rate;
    frame->nb_samples = samples;
    if (ff::util.av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout) < 0 ||
        ff::util.av_frame_get_buffer(frame, 0) < 0)
        throw ETranscodeError("av_malloc fail");
    if (!ConvertFromS16(reinterpret_cast<const int16_t*>(s16), samples, enc->ch_layout.nb_channels,
                        enc->sample_fmt, frame->extended_data))
        throw ETranscodeError("Audio encoding failed");
    frame->pts = pts;
    SendFrame(ost, frame);
    ff::util.av_frame_unref(frame);
}

// ---------------------------------------------------------------- encoder output

void TranscodeRun::SendFrame(OutputStreamState& ost, AVFrame* frame) {
    const int r = ff::codec.avcodec_send_frame(ost.Enc, frame);
    if (r < 0 && !(frame == nullptr && r == AVERROR_EOF))
        throw ETranscodeError(EncodingFailure(ost));
    ReceivePackets(ost);
}

void TranscodeRun::ReceivePackets(OutputStreamState& ost) {
    AVPacket* pkt = Allocated(encodedPacket_).get();
    for (;;) {
        ff::codec.av_packet_unref(pkt);
        const int r = ff::codec.avcodec_receive_packet(ost.Enc, pkt);
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return;
        if (r < 0)
            throw ETranscodeError(EncodingFailure(ost));
        WriteCoded(ost, pkt, ost.Enc->stats_out);
    }
}

void TranscodeRun::WriteCoded(OutputStreamState& ost, EncodeStage::Output output) {
    for (const std::string& error : output.Errors)
        job_.Log(kLevelError, error);
    for (EncodeStage::Coded& c : output.Packets)
        WriteCoded(ost, c.Packet.get(), c.Stats.empty() ? nullptr : c.Stats.c_str());
}

void TranscodeRun::WriteCoded(OutputStreamState& ost, AVPacket* pkt, const char* passStats) {
    const AVCodecContext* enc = ost.Enc;
    const int size = pkt->size;
    const bool video = IsVideo(ost);
    if (video) {
        // What the coded picture was: quality and type from the encoder's statistics, or
        // at least the key flag.
        size_t statsSize = 0;
        const uint8_t* stats =
            ff::codec.av_packet_get_side_data(pkt, AV_PKT_DATA_QUALITY_STATS, &statsSize);
        if (stats && statsSize >= 5) {
            ost.LastQuality = static_cast<float>(static_cast<int32_t>(AV_RL32(stats)));
            ost.LastPictType = stats[4];
            ost.LastLumaError =
                statsSize >= 16 && stats[5] > 0 ? static_cast<int64_t>(AV_RL64(stats + 8)) : 0;
        } else {
            ost.LastPictType =
                (pkt->flags & AV_PKT_FLAG_KEY) ? AV_PICTURE_TYPE_I : AV_PICTURE_TYPE_P;
        }
        if (pkt->duration <= 0)
            pkt->duration = 1; // one frame in the encoder's time base
        if (ost.LogFile && passStats)
            std::fputs(passStats, ost.LogFile.get());
        videoSize_ += size;
    } else {
        pkt->flags |= AV_PKT_FLAG_KEY;
        audioSize_ += size;
    }
    ff::codec.av_packet_rescale_ts(pkt, enc->time_base, ost.St->time_base);
    WritePacket(ost, pkt);
    if (video && size > 0 && !s_.VstatsFileName.empty())
        WriteVstats(ost, size);
}

// ---------------------------------------------------------------- video

void TranscodeRun::DoVideoOut(OutputStreamState& ost, InputStreamState& ist, AVFrame* picture) {
    AVCodecContext* enc = ost.Enc;

    // How many times the picture is written (dropped, once, duplicated).
    const VideoSyncDecision sync =
        DecideVideoSync(s_.VideoSyncMethod, enc->time_base, SyncInputPts(ost), ost.SyncOpts);
    ost.SyncOpts = sync.SyncOpts;
    int64_t frames = sync.Frames;
    if (frames == 0) {
        framesDrop_++;
        if (s_.Verbosity > 2)
            job_.Log(kLevelInfo, "*** drop!");
    } else if (frames > 1) {
        framesDup_ += static_cast<int>(frames - 1);
        if (s_.Verbosity > 2)
            job_.LogF(kLevelInfo, "*** %d dup!", static_cast<int>(frames - 1));
    }

    // The frame limit.
    frames = std::min<int64_t>(frames, s_.MaxFrames[kMediaVideo] - ost.FrameNumber);
    if (frames <= 0)
        return;

    // Crop on a reference of its own, so that other outputs see the whole picture.
    ff::FramePtr own;
    AVFrame* src;
    if (ost.Stage) {
        own = ff::MakeFrame(); // the stage keeps it until the picture is coded
        src = own.get();
    } else {
        src = Allocated(encodeFrame_).get();
        ff::util.av_frame_unref(src);
    }
    if (!src || ff::util.av_frame_ref(src, picture) < 0)
        throw ETranscodeError("av_malloc fail");
    const auto srcFormat = static_cast<AVPixelFormat>(src->format);
    const int srcWidth = picture->width - s_.CropLeft - s_.CropRight;
    const int srcHeight = picture->height - s_.CropTop - s_.CropBottom;
    if (ost.VideoCrop) {
        if (srcWidth <= 0 || srcHeight <= 0 ||
            !CropPicture(src->data, src->linesize, srcFormat, ost.CropTop, ost.CropLeft)) {
            job_.Log(kLevelError, "error cropping picture");
            ff::util.av_frame_unref(src);
            return;
        }
        src->width = srcWidth;
        src->height = srcHeight;
    }
    // A picture that arrives in another size or format than announced is scaled too.
    if (srcWidth != enc->width - ost.PadLeft - ost.PadRight ||
        srcHeight != enc->height - ost.PadTop - ost.PadBottom || srcFormat != enc->pix_fmt)
        ost.VideoResample = true;

    // What the encoder reads besides the pixels.
    int topFieldFirst = picture->top_field_first;
    if ((enc->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME)) &&
        s_.TopFieldFirst != -1)
        topFieldFirst = s_.TopFieldFirst;
    const int quality =
        static_cast<int>(std::lrint(s_.SameQuality ? ist.Quality : ost.Setup->Quality));
    const int pictType = s_.MeThreshold == 0 ? AV_PICTURE_TYPE_NONE : picture->pict_type;

    if (ost.Stage) {
        // Converted and coded on the stage's thread; the timestamps are decided here.
        EncodeStage::Picture job;
        job.Source = std::move(own);
        job.Convert = ost.VideoResample;
        job.FirstPts = ost.SyncOpts;
        if (ost.NextPts != AV_NOPTS_VALUE && job.FirstPts < ost.NextPts)
            job.FirstPts = ost.NextPts; // a muxer refuses timestamps that run backwards
        job.Count = frames;
        job.Interlaced = picture->interlaced_frame;
        job.TopFieldFirst = topFieldFirst;
        job.Quality = quality;
        job.PictType = pictType;
        ost.NextPts = ost.SyncOpts = job.FirstPts + frames;
        ost.FrameNumber += frames;
        if (!ost.Stage->Send(std::move(job)))
            throw ETranscodeError(StageFailure(ost));
        WriteCoded(ost, ost.Stage->TakeReady());
        return;
    }

    std::string error;
    AVFrame* out = ConvertPicture(ost, src, ost.VideoResample, error);
    if (!out) {
        job_.Log(kLevelError, error);
        ff::util.av_frame_unref(src);
        return;
    }

    // Encode and write. (Containers that took raw pictures get the rawvideo encoder, see
    // OpenEncoder.)
    out->interlaced_frame = picture->interlaced_frame;
    out->top_field_first = topFieldFirst;
    out->quality = quality;
    out->pict_type = static_cast<AVPictureType>(pictType);
    for (int64_t i = 0; i < frames; i++) {
        if (job_.StopRequested())
            break;
        int64_t pts = ost.SyncOpts;
        if (ost.NextPts != AV_NOPTS_VALUE && pts < ost.NextPts)
            pts = ost.NextPts; // a muxer refuses timestamps that run backwards
        ost.NextPts = pts + 1;
        out->pts = pts;
        out->pkt_duration = 1;
        // Counted before the encoder is called, so the vstats line of this picture reads
        // its own number and time.
        ost.SyncOpts = pts + 1;
        ost.FrameNumber++;
        SendFrame(ost, out);
    }
    ff::util.av_frame_unref(src);
}

AVFrame* TranscodeRun::ConvertPicture(OutputStreamState& ost, AVFrame* src, bool resample,
                                      std::string& error) {
    if (!resample && !ost.VideoPad)
        return src;
    const AVCodecContext* enc = ost.Enc;
    // The encoder may still hold the previous picture: write into a buffer of our own,
    // without copying what it held (the whole picture is written below).
    AVFrame* out = FreshPicture(ost.TempPicture, enc->pix_fmt, enc->width, enc->height);
    if (!out)
        throw ETranscodeError("Cannot allocate temp picture, check pix fmt");

    // Scale (with the picture format conversion).
    if (resample) {
        uint8_t* dst[4] = {out->data[0], out->data[1], out->data[2], out->data[3]};
        if (ost.VideoPad &&
            !CropPicture(dst, out->linesize, enc->pix_fmt, ost.PadTop, ost.PadLeft)) {
            error = "error padding picture";
            return nullptr;
        }
        EnsureScaler(ost, src->width, src->height, static_cast<AVPixelFormat>(src->format));
        if (ff::scale.sws_scale(ost.Scaler.get(), src->data, src->linesize, 0, src->height, dst,
                                out->linesize) <= 0) {
            error = "error scaling picture";
            return nullptr;
        }
    }
    // Pad.
    if (ost.VideoPad &&
        !PadPicture(out->data, out->linesize, resample ? nullptr : src->data, src->linesize,
                    enc->height, enc->width, enc->pix_fmt, ost.PadTop, ost.PadBottom, ost.PadLeft,
                    ost.PadRight, PadColor{s_.PadColorY, s_.PadColorU, s_.PadColorV})) {
        error = "error padding picture";
        return nullptr;
    }
    return out;
}

void TranscodeRun::WriteVstats(OutputStreamState& ost, int frameSize) {
    if (!vstats_) {
        vstats_.reset(std::fopen(s_.VstatsFileName.c_str(), "w"));
        if (!vstats_)
            throw ETranscodeError("fopen fail: " + s_.VstatsFileName);
    }
    std::FILE* f = vstats_.get();
    const AVCodecContext* enc = ost.Enc;
    std::fprintf(f, "frame= %5d q= %2.1f ", static_cast<int>(ost.FrameNumber),
                 ost.LastQuality / kQp2Lambda);
    if (enc->flags & AV_CODEC_FLAG_PSNR) {
        const double error = static_cast<double>(ost.LastLumaError) /
                             (static_cast<double>(enc->width) * enc->height * 255.0 * 255.0);
        std::fprintf(f, "PSNR= %6.2f ", -10.0 * std::log10(error));
    }
    std::fprintf(f, "f_size= %6d ", frameSize);
    const double tb = av_q2d(enc->time_base);
    const double time = std::max(static_cast<double>(ost.SyncOpts) * tb, 0.01);
    const double bitrate = frameSize * 8 / tb / 1000.0;
    const double avgBitrate = static_cast<double>(videoSize_) * 8 / time / 1000.0;
    std::fprintf(f, "s_size= %8.0fkB time= %0.3f br= %7.1fkbits/s avg_br= %7.1fkbits/s ",
                 static_cast<double>(videoSize_) / 1024, time, bitrate, avgBitrate);
    std::fprintf(f, "type= %c\n", PictTypeChar(ost.LastPictType));
}

// ---------------------------------------------------------------- subtitles

void TranscodeRun::DoSubtitleOut(OutputStreamState& ost, InputStreamState& /*ist*/,
                                 const AVSubtitle& sub, int64_t pts) {
    if (pts == AV_NOPTS_VALUE) {
        job_.Log(kLevelError, "Subtitle packets must have a pts");
        return;
    }
    AVCodecContext* enc = ost.Enc;
    if (subtitleBuffer_.size() < kSubtitleBufferSize)
        subtitleBuffer_.resize(kSubtitleBufferSize);
    const AVRational tb = ost.St->time_base;
    // DVB subtitles are shown by one packet and cleared by a second one without regions.
    const bool dvb = enc->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
    for (int i = 0; i < (dvb ? 2 : 1); i++) {
        AVSubtitle copy = sub;
        if (i == 1)
            copy.num_rects = 0;
        const int size = ff::codec.avcodec_encode_subtitle(
            enc, subtitleBuffer_.data(), static_cast<int>(subtitleBuffer_.size()), &copy);
        if (size < 0) {
            job_.Log(kLevelError, "Subtitle encoding failed");
            return;
        }
        if (size == 0)
            continue;
        AVPacket* pkt = Allocated(encodedPacket_).get();
        ff::codec.av_packet_unref(pkt);
        if (ff::codec.av_new_packet(pkt, size) < 0)
            throw ETranscodeError("av_malloc fail");
        std::memcpy(pkt->data, subtitleBuffer_.data(), static_cast<size_t>(size));
        pkt->pts = ff::util.av_rescale_q(pts, kMicroseconds, tb);
        if (dvb) {
            const uint32_t shown = i == 0 ? sub.start_display_time : sub.end_display_time;
            pkt->pts += ff::util.av_rescale_q(shown, kMilliseconds, tb);
        } else if (sub.end_display_time > sub.start_display_time) {
            pkt->duration = ff::util.av_rescale_q(sub.end_display_time - sub.start_display_time,
                                                  kMilliseconds, tb);
        }
        pkt->dts = pkt->pts;
        pkt->flags |= AV_PKT_FLAG_KEY;
        WritePacket(ost, pkt);
    }
}

// ---------------------------------------------------------------- end of input

void TranscodeRun::FlushEncoder(OutputStreamState& ost) {
    if (!ost.EncoderOpen || !ost.Enc)
        return;
    AVCodecContext* enc = ost.Enc;
    switch (enc->codec_type) {
    case AVMEDIA_TYPE_AUDIO: {
        const int channels = enc->ch_layout.nb_channels;
        const int frameSize = ost.Amr ? AmrNbEncoder::kFrameSamples : enc->frame_size;
        // What the resampler still holds.
        if (ost.Resampler && channels > 0) {
            for (;;) {
                constexpr int kChunk = 4096;
                audioWork_.resize(static_cast<size_t>(kChunk) * channels * 2);
                uint8_t* dst = audioWork_.data();
                const int n =
                    ff::resample.swr_convert(ost.Resampler.get(), &dst, kChunk, nullptr, 0);
                if (n <= 0)
                    break;
                if (frameSize > 1) {
                    ost.Fifo.insert(ost.Fifo.end(), dst,
                                    dst + static_cast<size_t>(n) * channels * 2);
                } else {
                    EncodeAudioFrame(ost, dst, n);
                    ost.SyncOpts += n;
                }
            }
        }
        // The FIFO's rest: whole frames first, then the remainder as a short last frame
        // where the encoder takes one, else padded with silence so that nothing is lost.
        if (frameSize > 1 && channels > 0) {
            EncodeWholeFrames(ost, frameSize, channels);
            const int rest = static_cast<int>(ost.Fifo.size() / (2 * channels));
            if (rest > 0) {
                const AVCodec* codec = enc->codec;
                const bool shortFrame = !ost.Amr && codec &&
                                        (codec->capabilities & (AV_CODEC_CAP_SMALL_LAST_FRAME |
                                                                AV_CODEC_CAP_VARIABLE_FRAME_SIZE));
                if (!shortFrame)
                    ost.Fifo.resize(static_cast<size_t>(frameSize) * 2 * channels, 0);
                EncodeAudioFrame(ost, ost.Fifo.data(), shortFrame ? rest : frameSize);
                ost.SyncOpts += rest;
            }
            ost.Fifo.clear();
        }
        if (!ost.Amr)
            SendFrame(ost, nullptr);
        break;
    }
    case AVMEDIA_TYPE_VIDEO:
        if (ost.Stage) {
            EncodeStage::Output rest;
            const bool ok = ost.Stage->Finish(rest);
            WriteCoded(ost, std::move(rest));
            if (!ok)
                throw ETranscodeError(StageFailure(ost));
        } else {
            SendFrame(ost, nullptr);
        }
        break;
    default:
        break; // subtitle encoders hold nothing back
    }
}

} // namespace corvina::engine
