#include "tests/support/MediaReadBack.h"

#include "binding/Binding.h"
#include "binding/Handles.h"

#include <algorithm>
#include <memory>
#include <sstream>

namespace corvina::test {

namespace {

using ff::CodecContextPtr;
using ff::Dictionary;
using ff::FramePtr;
using ff::InputContextPtr;
using ff::PacketPtr;

std::string ErrorString(int code) {
    char buf[AV_ERROR_MAX_STRING_SIZE] = {};
    if (ff::util.av_strerror(code, buf, sizeof buf) < 0)
        return "error " + std::to_string(code);
    return buf;
}

Ratio ToRatio(AVRational r) {
    return Ratio{r.num, r.den};
}

StreamKind KindOf(AVMediaType type) {
    switch (type) {
    case AVMEDIA_TYPE_VIDEO:
        return StreamKind::Video;
    case AVMEDIA_TYPE_AUDIO:
        return StreamKind::Audio;
    case AVMEDIA_TYPE_SUBTITLE:
        return StreamKind::Subtitle;
    case AVMEDIA_TYPE_DATA:
        return StreamKind::Data;
    default:
        return StreamKind::Other;
    }
}

// One stream's decoder and the counters it fills.
class StreamDecoder {
public:
    StreamDecoder(StreamInfo& info, const AVStream* st, const ReadBackOptions& options)
        : info_(info), keepPicture_(options.keepFirstPicture && info.kind == StreamKind::Video) {
        if (!options.decode || (info.kind != StreamKind::Video && info.kind != StreamKind::Audio &&
                                info.kind != StreamKind::Subtitle))
            return;
        const AVCodec* codec = ff::codec.avcodec_find_decoder(st->codecpar->codec_id);
        if (!codec) {
            Error("no decoder");
            return;
        }
        ctx_.reset(ff::codec.avcodec_alloc_context3(codec));
        if (!ctx_) {
            Error("allocating the decoder");
            return;
        }
        int ret = ff::codec.avcodec_parameters_to_context(ctx_.get(), st->codecpar);
        if (ret < 0) {
            Error("decoder parameters: " + ErrorString(ret));
            return;
        }
        ctx_->pkt_timebase = st->time_base;
        // Bitstream damage becomes a returned error instead of silent concealment.
        if (options.strict)
            ctx_->err_recognition |= AV_EF_EXPLODE;
        ctx_->thread_count = 1;
        ret = ff::codec.avcodec_open2(ctx_.get(), codec, nullptr);
        if (ret < 0) {
            ctx_.reset();
            Error("opening the decoder: " + ErrorString(ret));
            return;
        }
        frame_ = ff::MakeFrame();
        if (!frame_) {
            ctx_.reset();
            Error("allocating a frame");
            return;
        }
        info_.decoderOpened = true;
    }

    // A packet, or nullptr for the flush at the end.
    void Decode(const AVPacket* pkt) {
        if (!ctx_)
            return;
        if (info_.kind == StreamKind::Subtitle) {
            DecodeSubtitle(pkt);
            return;
        }
        int ret = ff::codec.avcodec_send_packet(ctx_.get(), pkt);
        if (ret == AVERROR(EAGAIN)) {
            Drain();
            ret = ff::codec.avcodec_send_packet(ctx_.get(), pkt);
        }
        if (ret < 0 && ret != AVERROR_EOF)
            Error("sending a packet: " + ErrorString(ret));
        Drain();
    }

private:
    void Drain() {
        for (;;) {
            const int ret = ff::codec.avcodec_receive_frame(ctx_.get(), frame_.get());
            if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF)
                return;
            if (ret < 0) {
                // The decoder keeps its state; the next packet may decode again.
                Error("receiving a frame: " + ErrorString(ret));
                return;
            }
            ++info_.frames;
            if (keepPicture_ && info_.firstPictureRgb.empty())
                KeepPicture(frame_.get());
            if (info_.kind == StreamKind::Audio)
                info_.samples += frame_->nb_samples;
            if ((frame_->flags & AV_FRAME_FLAG_CORRUPT) || frame_->decode_error_flags != 0)
                Error("frame marked as damaged");
            ff::util.av_frame_unref(frame_.get());
        }
    }

    void DecodeSubtitle(const AVPacket* pkt) {
        if (!pkt)
            return; // text decoders hold nothing back
        AVSubtitle sub{};
        int got = 0;
        // The decoder takes a non-const packet but does not change it.
        const int ret =
            ff::codec.avcodec_decode_subtitle2(ctx_.get(), &sub, &got, const_cast<AVPacket*>(pkt));
        if (ret < 0) {
            Error("decoding a subtitle: " + ErrorString(ret));
            return;
        }
        if (got) {
            ++info_.frames;
            ff::codec.avsubtitle_free(&sub);
        }
    }

    void KeepPicture(const AVFrame* f) {
        ff::SwsContextPtr toRgb(ff::scale.sws_getContext(
            f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width, f->height,
            AV_PIX_FMT_RGB24, SWS_POINT, nullptr, nullptr, nullptr));
        if (!toRgb) {
            Error("converting the first picture");
            return;
        }
        std::vector<uint8_t> rgb(static_cast<size_t>(f->width) * f->height * 3);
        uint8_t* rows[4] = {rgb.data(), nullptr, nullptr, nullptr};
        const int strides[4] = {f->width * 3, 0, 0, 0};
        if (ff::scale.sws_scale(toRgb.get(), f->data, f->linesize, 0, f->height, rows, strides) <=
            0) {
            Error("converting the first picture");
            return;
        }
        info_.firstPictureRgb = std::move(rgb);
    }

    void Error(const std::string& text) {
        ++info_.decodeErrors;
        if (info_.firstDecodeError.empty())
            info_.firstDecodeError = text;
    }

    StreamInfo& info_;
    bool keepPicture_ = false;
    CodecContextPtr ctx_;
    FramePtr frame_;
};

void NoteTimeline(StreamInfo& s, const AVPacket* pkt, AVRational tb) {
    const int64_t ts = pkt->pts != AV_NOPTS_VALUE ? pkt->pts : pkt->dts;
    if (ts == AV_NOPTS_VALUE)
        return;
    const double start = static_cast<double>(ts) * av_q2d(tb);
    const double end = static_cast<double>(ts + std::max<int64_t>(pkt->duration, 0)) * av_q2d(tb);
    s.firstTime = s.firstTime < 0 ? start : std::min(s.firstTime, start);
    s.endTime = std::max(s.endTime, end);
}

} // namespace

const char* StreamKindName(StreamKind kind) {
    switch (kind) {
    case StreamKind::Video:
        return "video";
    case StreamKind::Audio:
        return "audio";
    case StreamKind::Subtitle:
        return "subtitle";
    case StreamKind::Data:
        return "data";
    case StreamKind::Other:
        break;
    }
    return "other";
}

std::array<int, 3> StreamInfo::RgbAt(double x, double y) const {
    if (firstPictureRgb.empty() || width <= 0 || height <= 0)
        return {-1, -1, -1};
    const int px = std::clamp(static_cast<int>(x * width), 0, width - 1);
    const int py = std::clamp(static_cast<int>(y * height), 0, height - 1);
    const uint8_t* p = &firstPictureRgb[(static_cast<size_t>(py) * width + px) * 3];
    return {p[0], p[1], p[2]};
}

int MediaInfo::Count(StreamKind kind) const {
    return static_cast<int>(std::count_if(streams.begin(), streams.end(),
                                          [&](const auto& s) { return s.kind == kind; }));
}

const StreamInfo* MediaInfo::First(StreamKind kind) const {
    for (const StreamInfo& s : streams)
        if (s.kind == kind)
            return &s;
    return nullptr;
}

int64_t MediaInfo::TotalDecodeErrors() const {
    int64_t n = 0;
    for (const StreamInfo& s : streams)
        n += s.decodeErrors;
    return n;
}

bool MediaInfo::DecodesCleanly() const {
    if (!opened || !readError.empty() || streams.empty())
        return false;
    for (const StreamInfo& s : streams) {
        const bool decodable = s.kind == StreamKind::Video || s.kind == StreamKind::Audio ||
                               s.kind == StreamKind::Subtitle;
        if (decodable && (!s.decoderOpened || s.decodeErrors != 0))
            return false;
    }
    return true;
}

MediaInfo ReadBack(const std::filesystem::path& file, const ReadBackOptions& options) {
    MediaInfo info;
    if (!binding::AllLoaded() && !binding::LoadAll("", true)) {
        info.error = "binding the libraries: " + binding::LoaderErrorText();
        return info;
    }

    // Local files only, as the program itself opens its inputs.
    Dictionary openOptions;
    int ret = openOptions.Set("protocol_whitelist", "file");
    if (ret < 0) {
        info.error = "setting the open options: " + ErrorString(ret);
        return info;
    }
    AVFormatContext* raw = nullptr;
    ret = ff::format.avformat_open_input(&raw, file.c_str(), nullptr, openOptions.Address());
    if (ret < 0) {
        info.error = "opening: " + ErrorString(ret);
        return info;
    }
    InputContextPtr in(raw);
    ret = ff::format.avformat_find_stream_info(in.get(), nullptr);
    if (ret < 0) {
        info.error = "reading the stream information: " + ErrorString(ret);
        return info;
    }
    if (in->nb_streams == 0) {
        info.error = "no streams";
        return info;
    }

    info.opened = true;
    info.container = in->iformat->name;
    if (in->duration != AV_NOPTS_VALUE && in->duration > 0)
        info.duration = static_cast<double>(in->duration) / AV_TIME_BASE;

    info.streams.resize(in->nb_streams);
    for (unsigned i = 0; i < in->nb_streams; ++i) {
        const AVStream* st = in->streams[i];
        const AVCodecParameters* par = st->codecpar;
        StreamInfo& s = info.streams[i];
        s.index = static_cast<int>(i);
        s.kind = KindOf(par->codec_type);
        s.codec = ff::codec.avcodec_get_name(par->codec_id);
        s.width = par->width;
        s.height = par->height;
        s.avgFrameRate = ToRatio(st->avg_frame_rate);
        s.sampleAspect = ToRatio(st->sample_aspect_ratio.num ? st->sample_aspect_ratio
                                                             : par->sample_aspect_ratio);
        s.sampleRate = par->sample_rate;
        s.channels = par->ch_layout.nb_channels;
        if (st->duration != AV_NOPTS_VALUE && st->duration > 0)
            s.duration = static_cast<double>(st->duration) * av_q2d(st->time_base);
        size_t matrixSize = 0;
        s.displayMatrix = ff::format.av_stream_get_side_data(st, AV_PKT_DATA_DISPLAYMATRIX,
                                                             &matrixSize) != nullptr;
    }

    // The decoders point into info.streams, which no longer grows.
    std::vector<std::unique_ptr<StreamDecoder>> decoders;
    for (unsigned i = 0; i < in->nb_streams; ++i)
        decoders.push_back(
            std::make_unique<StreamDecoder>(info.streams[i], in->streams[i], options));

    PacketPtr pkt = ff::MakePacket();
    if (!pkt) {
        info.readError = "allocating a packet";
        return info;
    }
    for (;;) {
        ret = ff::format.av_read_frame(in.get(), pkt.get());
        if (ret < 0) {
            if (ret != AVERROR_EOF)
                info.readError = ErrorString(ret);
            break;
        }
        const auto index = static_cast<unsigned>(pkt->stream_index);
        if (index < info.streams.size()) {
            StreamInfo& s = info.streams[index];
            ++s.packets;
            NoteTimeline(s, pkt.get(), in->streams[index]->time_base);
            decoders[index]->Decode(pkt.get());
        }
        ff::codec.av_packet_unref(pkt.get());
    }
    for (auto& d : decoders)
        d->Decode(nullptr);
    return info;
}

std::string Describe(const MediaInfo& info) {
    std::ostringstream out;
    if (!info.opened) {
        out << "not opened: " << info.error;
        return out.str();
    }
    out << "container " << info.container << ", duration " << info.duration << " s";
    if (!info.readError.empty())
        out << ", read error: " << info.readError;
    for (const StreamInfo& s : info.streams) {
        out << "\n  #" << s.index << ' ' << StreamKindName(s.kind) << ' ' << s.codec;
        if (s.kind == StreamKind::Video)
            out << ' ' << s.width << 'x' << s.height << " @ " << s.avgFrameRate.num << '/'
                << s.avgFrameRate.den << " sar " << s.sampleAspect.num << ':' << s.sampleAspect.den;
        if (s.kind == StreamKind::Audio)
            out << ' ' << s.sampleRate << " Hz " << s.channels << " ch, " << s.samples
                << " samples";
        out << ", duration " << s.duration << " s, packets " << s.packets << " [" << s.firstTime
            << ", " << s.endTime << "] s, frames " << s.frames << ", decode errors "
            << s.decodeErrors;
        if (!s.firstDecodeError.empty())
            out << " (" << s.firstDecodeError << ')';
    }
    return out.str();
}

} // namespace corvina::test
