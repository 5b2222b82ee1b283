// Opening an input: probe the container, apply the input-side settings, and hand the
// found stream parameters back to the settings as defaults for the outputs.
#include "engine/CodecAliases.h"
#include "engine/LibraryErrors.h"
#include "engine/Orientation.h"
#include "engine/ScriptSource.h"
#include "engine/StrFormat.h"
#include "engine/Transcoder.h"

#include <cmath>
#include <strings.h>

namespace corvina::engine {

namespace {

const char* TypeWord(bool encoder) {
    return encoder ? "encoder" : "decoder";
}

// Library I/O gives up as soon as the job is asked to stop.
int InterruptCallback(void* opaque) {
    return static_cast<const TCustomTranscoder*>(opaque)->StopRequested() ? 1 : 0;
}

std::string LowerExtension(const std::string& name) {
    const size_t dot = name.find_last_of('.');
    const size_t slash = name.find_last_of('/');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
        return {};
    std::string ext = name.substr(dot);
    for (char& c : ext)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return ext;
}

// When the library finds no demuxer it reports invalid data, as it does for a damaged
// header; a second look tells the two apart for the message. A demuxer that only guessed
// (a score below the library's retry level) and then failed to parse counts as none.
bool NoDemuxerRecognises(const std::string& fileName, const AVIOInterruptCB* interrupt) {
    ff::Dictionary opts;
    opts.Set("protocol_whitelist", "file");
    AVIOContext* raw = nullptr;
    if (ff::format.avio_open2(&raw, fileName.c_str(), AVIO_FLAG_READ, interrupt, opts.Address()) <
        0)
        return false;
    ff::IoContextPtr io(raw);
    const AVInputFormat* fmt = nullptr;
    // By content alone: the extension would make any file look like what its name says.
    const int score = ff::format.av_probe_input_buffer2(io.get(), &fmt, nullptr, nullptr, 0, 0);
    return score < AVPROBE_SCORE_RETRY;
}

} // namespace

void InterruptibleContext(AVFormatContext* ctx, const TCustomTranscoder* job) {
    ctx->interrupt_callback.callback = InterruptCallback;
    ctx->interrupt_callback.opaque = const_cast<TCustomTranscoder*>(job);
}

bool TCustomTranscoder::CheckCodecName(const std::string& name, AVMediaType type, bool encoder,
                                       AVCodecID& id, const AVCodec** codecOut) {
    id = AV_CODEC_ID_NONE;
    if (codecOut)
        *codecOut = nullptr;
    if (name.empty())
        return true;
    const AVCodec* codec = nullptr;
    if (encoder) {
        if (const EncoderAlias* alias = FindEncoderAlias(name.c_str())) {
            codec = ff::codec.avcodec_find_encoder_by_name(alias->EncoderName);
            if (!codec && alias->EngineFallback) {
                id = alias->Id; // encoded by the engine itself
                return true;
            }
        } else {
            codec = ff::codec.avcodec_find_encoder_by_name(name.c_str());
        }
    } else {
        codec = ff::codec.avcodec_find_decoder_by_name(name.c_str());
    }
    if (!codec) {
        lastError_ = StrFormat("Unknown %s '%s'", TypeWord(encoder), name.c_str());
        return false;
    }
    if (codec->type != type) {
        lastError_ = StrFormat("Invalid %s type '%s'", TypeWord(encoder), name.c_str());
        return false;
    }
    id = codec->id;
    if (codecOut)
        *codecOut = codec;
    return true;
}

void TCustomTranscoder::ClearPerInputSettings() {
    s_.InputFormat = nullptr;
    s_.OutputFormat = nullptr;
    s_.VideoChannel = 0;
    s_.RateEmulation = 0;
    s_.VideoCodecName.clear();
    s_.AudioCodecName.clear();
    s_.SubtitleCodecName.clear();
}

void TCustomTranscoder::HasInputStreams(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const {
    hasVideo = hasAudio = hasSubtitle = false;
    for (const auto& in : inputFiles_)
        for (unsigned i = 0; i < in->Ctx->nb_streams; i++) {
            switch (in->Ctx->streams[i]->codecpar->codec_type) {
            case AVMEDIA_TYPE_VIDEO:
                hasVideo = true;
                break;
            case AVMEDIA_TYPE_AUDIO:
                hasAudio = true;
                break;
            case AVMEDIA_TYPE_SUBTITLE:
                hasSubtitle = true;
                break;
            case AVMEDIA_TYPE_DATA:
            case AVMEDIA_TYPE_ATTACHMENT:
                break;
            default:
                throw ETranscodeError("invalid codec_type of input file");
            }
        }
}

bool TCustomTranscoder::OpenInput(const std::string& requestedName) {
    auto fail = [this](std::string message) {
        lastError_ = std::move(message);
        ClearPerInputSettings();
        return false;
    };
    if (static_cast<int>(inputFiles_.size()) >= kMaxFiles)
        return fail(StrFormat("Too many input files (at most %d)", kMaxFiles));

    // A script names the real source and a constant frame rate for it.
    std::string fileName = requestedName;
    int scriptFps = 0;
    if (IsScriptFile(requestedName)) {
        ScriptSource script;
        std::string error;
        if (!ReadScriptSource(requestedName, script, error))
            return fail(error);
        fileName = script.File;
        scriptFps = script.Fps;
    }

    // The format parameters, for the demuxers that take them (raw data, devices).
    ff::Dictionary opts;
    opts.Set("protocol_whitelist", "file");
    if (s_.AudioSampleRate > 0)
        ff::util.av_dict_set_int(opts.Address(), "sample_rate", s_.AudioSampleRate, 0);
    if (s_.AudioChannels > 0)
        ff::util.av_dict_set_int(opts.Address(), "channels", s_.AudioChannels, 0);
    if (s_.FrameRate.num > 0 && s_.FrameRate.den > 0)
        opts.Set("framerate", StrFormat("%d/%d", s_.FrameRate.num, s_.FrameRate.den).c_str());
    const int width = s_.FrameWidth + s_.PadLeft + s_.PadRight;
    const int height = s_.FrameHeight + s_.PadTop + s_.PadBottom;
    if (width > 0 && height > 0)
        opts.Set("video_size", StrFormat("%dx%d", width, height).c_str());
    if (s_.FramePixFmt >= 0)
        if (const char* pixName =
                ff::util.av_get_pix_fmt_name(static_cast<AVPixelFormat>(s_.FramePixFmt)))
            opts.Set("pixel_format", pixName);
    if (s_.VideoChannel != 0)
        ff::util.av_dict_set_int(opts.Address(), "channel", s_.VideoChannel, 0);
    if (!s_.VideoStandard.empty())
        opts.Set("standard", s_.VideoStandard.c_str());
    if (s_.LoopInput)
        opts.Set("loop", "1");

    // Decoder names, and the codec ids they force.
    AVCodecID videoId, audioId, subtitleId;
    if (!CheckCodecName(s_.VideoCodecName, AVMEDIA_TYPE_VIDEO, false, videoId) ||
        !CheckCodecName(s_.AudioCodecName, AVMEDIA_TYPE_AUDIO, false, audioId) ||
        !CheckCodecName(s_.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false, subtitleId))
        return fail(lastError_);

    AVFormatContext* ctx = ff::format.avformat_alloc_context();
    if (!ctx)
        return fail(LibraryErrorText(fileName, kErrNoMemory));
    // The file alone, and within the opening time limit: this runs on the caller's (the GUI)
    // thread, and a hostile file must neither reach other files nor keep it waiting.
    auto guard = std::make_unique<InputGuard>(fileName, [this] { return StopRequested(); });
    guard->Attach(ctx);
    guard->StartDeadline();
    if (s_.PgmyuvCompatibility)
        videoId = AV_CODEC_ID_PGMYUV;
    ctx->video_codec_id = videoId;
    ctx->audio_codec_id = audioId;
    ctx->subtitle_codec_id = subtitleId;
    // Generic options meant for demuxing.
    if (optionFormat_)
        CopyGenericOptions(optionFormat_.get(), ctx, AV_OPT_FLAG_DECODING_PARAM);

    // Open the file. On failure the library frees the context.
    int r = ff::format.avformat_open_input(&ctx, fileName.c_str(), s_.InputFormat, opts.Address());
    if (r < 0) {
        if (r == AVERROR_INVALIDDATA && !s_.InputFormat &&
            NoDemuxerRecognises(fileName, guard->Interrupt()))
            r = AVERROR_DEMUXER_NOT_FOUND;
        return fail(LibraryErrorText(fileName, r));
    }
    auto file = std::make_unique<InputFile>();
    file->Guard = std::move(guard);
    file->Ctx.reset(ctx);
    file->FileName = fileName;

    // Only the chosen program is read.
    if (s_.ProgramId != 0)
        for (unsigned i = 0; i < ctx->nb_programs; i++)
            if (ctx->programs[i]->id != s_.ProgramId)
                ctx->programs[i]->discard = AVDISCARD_ALL;

    // Stream probing opens decoders inside the library.
    {
        InputGuard::ProbeOptions limits(ctx->nb_streams);
        std::lock_guard lock(CodecLock());
        r = ff::format.avformat_find_stream_info(ctx, limits.Get());
    }
    if (r < 0 && s_.Verbosity >= 0)
        return fail(StrFormat("%s: could not find codec parameters", fileName.c_str()));

    // The start position.
    int64_t timestamp = s_.StartTime;
    if (ctx->start_time != AV_NOPTS_VALUE)
        timestamp += ctx->start_time;
    if (s_.StartTime != 0)
        ff::format.av_seek_frame(ctx, -1, timestamp, AVSEEK_FLAG_BACKWARD);
    s_.StartTime = 0;

    // Per stream, a decoder context and the defaults for the outputs.
    for (unsigned i = 0; i < ctx->nb_streams; i++) {
        AVStream* st = ctx->streams[i];
        AVCodecParameters* par = st->codecpar;
        const AVCodec* decoder = ff::codec.avcodec_find_decoder(par->codec_id);
        ff::CodecContextPtr dec(ff::codec.avcodec_alloc_context3(decoder));
        if (!dec || ff::codec.avcodec_parameters_to_context(dec.get(), par) < 0)
            return fail(LibraryErrorText(fileName, kErrNoMemory));
        dec->pkt_timebase = st->time_base;
        // Frame and slice threads, as the decoder allows. Frame threads hand pictures out
        // several packets late; the run times each picture by its own timestamp.
        dec->thread_count = s_.ThreadCount;
        dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        LimitDecoder(dec.get());
        switch (par->codec_type) {
        case AVMEDIA_TYPE_VIDEO: {
            file->PicturePools.push_back(std::make_unique<FramePool>());
            file->PicturePools.back()->Serve(dec.get());
            if (!FrameSizeAllowed(par->width, par->height))
                return fail(StrFormat("%s: video frame size %dx%d is too large (at most %dx%d, "
                                      "%lld pixels)",
                                      fileName.c_str(), par->width, par->height, kMaxFrameDimension,
                                      kMaxFrameDimension, static_cast<long long>(kMaxFramePixels)));
            if (scriptFps > 0)
                st->r_frame_rate = st->avg_frame_rate = AVRational{scriptFps, 1};
            if (optionCodec_[AVMEDIA_TYPE_VIDEO])
                CopyGenericOptions(optionCodec_[AVMEDIA_TYPE_VIDEO].get(), dec.get(),
                                   AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
            // The outputs get the picture as seen: a recording stored turned is turned
            // upright before it is scaled (TurnUpright).
            const Orientation orient = OrientationOfStream(st);
            int width = 0, height = 0;
            DisplayedSize(orient, par->width, par->height, width, height);
            s_.FrameHeight = height;
            s_.FrameWidth = width;
            AVRational sar =
                st->sample_aspect_ratio.num ? st->sample_aspect_ratio : par->sample_aspect_ratio;
            if (orient.Transpose)
                sar = AVRational{sar.den, sar.num};
            float aspect = 0;
            if (height > 0 && sar.num > 0 && sar.den > 0)
                aspect = static_cast<float>(width * av_q2d(sar) / height);
            if (aspect == 0 || std::isnan(aspect))
                aspect = height > 0 ? static_cast<float>(width) / height : 0;
            s_.FrameAspectRatio = aspect;
            if (par->format == AV_PIX_FMT_NONE &&
                LowerExtension(requestedName).rfind(".rmvb", 0) == 0)
                dec->pix_fmt = AV_PIX_FMT_YUV420P;
            else
                dec->pix_fmt = static_cast<AVPixelFormat>(par->format);
            s_.FramePixFmt = dec->pix_fmt;
            s_.FrameRate = st->r_frame_rate;
            file->RateEmulation = s_.RateEmulation != 0;
            if (s_.VideoDisable)
                st->discard = AVDISCARD_ALL;
            else if (s_.VideoDiscard != 0)
                st->discard = static_cast<AVDiscard>(s_.VideoDiscard);
            break;
        }
        case AVMEDIA_TYPE_AUDIO:
            if (optionCodec_[AVMEDIA_TYPE_AUDIO])
                CopyGenericOptions(optionCodec_[AVMEDIA_TYPE_AUDIO].get(), dec.get(),
                                   AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_DECODING_PARAM);
            s_.AudioChannels = par->ch_layout.nb_channels;
            s_.AudioSampleRate = par->sample_rate;
            if (s_.AudioDisable)
                st->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (s_.SubtitleDisable)
                st->discard = AVDISCARD_ALL;
            break;
        case AVMEDIA_TYPE_DATA:
        case AVMEDIA_TYPE_ATTACHMENT:
            break;
        default:
            // An unknown kind of stream is simply not used.
            st->discard = AVDISCARD_ALL;
            break;
        }
        file->Decoders.push_back(std::move(dec));
    }

    // The file's duration, for the progress reports.
    if (ctx->duration > 0) {
        const int64_t ms = ctx->duration / 1000;
        if (ms > s_.DurationMs)
            s_.DurationMs = static_cast<int>(std::min<int64_t>(ms, INT32_MAX));
    }

    // Reading from here on is bounded by the stop request alone.
    file->Guard->ClearDeadline();
    file->TsOffset = s_.CopyTs ? s_.InputTsOffset : s_.InputTsOffset - timestamp;
    if (s_.Verbosity >= 0)
        ff::format.av_dump_format(ctx, static_cast<int>(inputFiles_.size()), fileName.c_str(), 0);
    inputFiles_.push_back(std::move(file));

    // The per-input options are used up.
    ClearPerInputSettings();
    return true;
}

} // namespace corvina::engine
