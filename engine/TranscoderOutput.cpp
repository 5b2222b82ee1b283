// Creating an output: container, the streams the settings ask for, metadata, the file.
#include "engine/LibraryErrors.h"
#include "engine/OutputNames.h"
#include "engine/StrFormat.h"
#include "engine/Transcoder.h"

#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <cstring>

namespace corvina::engine {

namespace {

constexpr int kQp2Lambda = 118;

void SetLanguage(AVStream* st, std::string& language) {
    if (!language.empty())
        ff::util.av_dict_set(&st->metadata, "language", language.substr(0, 3).c_str(), 0);
    language.clear();
}

void OrFlags(void* optionContext, const char* name, int64_t bits) {
    if (!optionContext)
        return;
    int64_t value = 0;
    if (ff::util.av_opt_get_int(optionContext, name, 0, &value) >= 0)
        ff::util.av_opt_set_int(optionContext, name, value | bits, 0);
}

} // namespace

AVRational NearestSupportedRate(const AVRational* rates, AVRational fps) {
    AVRational best = rates[0];
    double bestDiff = -1;
    for (const AVRational* r = rates; r->num || r->den; r++) {
        const double diff = std::fabs(av_q2d(*r) - av_q2d(fps));
        if (bestDiff < 0 || diff < bestDiff) {
            best = *r;
            bestDiff = diff;
        }
    }
    return best;
}

std::vector<RcOverride> ParseRcOverride(const std::string& text) {
    std::vector<RcOverride> out;
    const char* p = text.c_str();
    while (p && *p) {
        int start, end, q;
        if (std::sscanf(p, "%d,%d,%d", &start, &end, &q) != 3)
            throw ETranscodeError("error parsing rc_override");
        RcOverride o{};
        o.start_frame = start;
        o.end_frame = end;
        if (q > 0) {
            o.qscale = q;
            o.quality_factor = 1.0f;
        } else {
            o.qscale = 0;
            o.quality_factor = -q / 100.0f;
        }
        out.push_back(o);
        p = std::strchr(p, '/');
        if (p)
            p++;
    }
    return out;
}

namespace {

// The encoder context takes ownership of buffers allocated with the library's allocator.
template <typename T> T* LibraryCopy(const T* data, size_t count) {
    T* copy = static_cast<T*>(ff::util.av_malloc(sizeof(T) * count));
    if (!copy)
        throw ETranscodeError("Could not alloc stream");
    std::memcpy(copy, data, sizeof(T) * count);
    return copy;
}

} // namespace

OutputFile& TCustomTranscoder::LastOutputFile() {
    if (outputFiles_.empty())
        throw ETranscodeError("At least one output file must be specified");
    return *outputFiles_.back();
}

namespace {
// The stream and its encoder context, allocated for the chosen encoder so that the
// encoder's own defaults and private options are in place.
OutputStreamSetup& NewStream(OutputFile& file, AVMediaType type, const AVCodec* codec,
                             AVCodecID id) {
    AVStream* st = ff::format.avformat_new_stream(file.Ctx.get(), nullptr);
    if (!st)
        throw ETranscodeError("Could not alloc stream");
    st->id = static_cast<int>(file.Ctx->nb_streams) - 1;
    auto setup = std::make_unique<OutputStreamSetup>();
    setup->Stream = st;
    setup->Enc.reset(ff::codec.avcodec_alloc_context3(codec));
    if (!setup->Enc)
        throw ETranscodeError("Could not alloc stream");
    setup->Codec = codec;
    setup->Enc->codec_type = type;
    setup->Enc->codec_id = id;
    st->codecpar->codec_type = type;
    file.Streams.push_back(std::move(setup));
    return *file.Streams.back();
}
} // namespace

void TCustomTranscoder::NewVideoStream(OutputFile& file) {
    try {
        AVCodecID id = AV_CODEC_ID_NONE;
        const AVCodec* codec = nullptr;
        if (!s_.VideoStreamCopy) {
            if (!s_.VideoCodecName.empty()) {
                if (!CheckCodecName(s_.VideoCodecName, AVMEDIA_TYPE_VIDEO, true, id, &codec))
                    throw ETranscodeError(lastError_);
            } else {
                id = ff::format.av_guess_codec(file.Ctx->oformat, nullptr, file.FileName.c_str(),
                                               nullptr, AVMEDIA_TYPE_VIDEO);
                codec = ff::codec.avcodec_find_encoder(id);
            }
        }
        OutputStreamSetup& os = NewStream(file, AVMEDIA_TYPE_VIDEO, codec, id);
        AVCodecContext* enc = os.Enc.get();
        enc->thread_count = s_.ThreadCount;
        if (s_.VideoCodecTag)
            enc->codec_tag = s_.VideoCodecTag;
        void* videoOptions = optionCodec_[AVMEDIA_TYPE_VIDEO].get();
        if ((s_.VideoGlobalHeader & 1) ||
            (s_.VideoGlobalHeader == 0 && (file.Ctx->oformat->flags & AVFMT_GLOBALHEADER))) {
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            OrFlags(videoOptions, "flags", AV_CODEC_FLAG_GLOBAL_HEADER);
        }
        if (s_.VideoGlobalHeader & 2) {
            enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
            OrFlags(videoOptions, "flags2", AV_CODEC_FLAG2_LOCAL_HEADER);
        }
        if (s_.VideoStreamCopy) {
            os.StreamCopy = true;
        } else {
            AVRational fps = s_.FrameRate.num ? s_.FrameRate : AVRational{25, 1};
            if (videoOptions)
                CopyGenericOptions(videoOptions, enc,
                                   AV_OPT_FLAG_VIDEO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
            ff::util.av_dict_copy(os.EncoderOptions.Address(),
                                  encoderPrivateOptions_[AVMEDIA_TYPE_VIDEO].Raw(), 0);
            if (codec && codec->supported_framerates)
                fps = NearestSupportedRate(codec->supported_framerates, fps);
            enc->time_base = AVRational{fps.den, fps.num};
            enc->framerate = fps;
            enc->width = s_.FrameWidth + s_.PadLeft + s_.PadRight;
            enc->height = s_.FrameHeight + s_.PadTop + s_.PadBottom;
            if (enc->width > 0)
                enc->sample_aspect_ratio = ff::util.av_d2q(
                    static_cast<double>(s_.FrameAspectRatio) * enc->height / enc->width, 255);
            enc->pix_fmt = static_cast<AVPixelFormat>(s_.FramePixFmt);
            if (codec && codec->pix_fmts) {
                bool listed = false;
                for (const AVPixelFormat* p = codec->pix_fmts; *p != AV_PIX_FMT_NONE; p++)
                    listed = listed || *p == enc->pix_fmt;
                if (!listed)
                    enc->pix_fmt = codec->pix_fmts[0];
            }
            if (s_.IntraOnly)
                enc->gop_size = 0;
            if (s_.VideoQScale != 0 || s_.SameQuality) {
                enc->flags |= AV_CODEC_FLAG_QSCALE;
                os.Quality = kQp2Lambda * s_.VideoQScale;
                enc->global_quality = static_cast<int>(os.Quality);
            }
            if (s_.IntraMatrix)
                enc->intra_matrix = LibraryCopy(s_.IntraMatrix->data(), 64);
            if (s_.InterMatrix)
                enc->inter_matrix = LibraryCopy(s_.InterMatrix->data(), 64);
            if (!s_.VideoRcOverride.empty()) {
                std::vector<RcOverride> overrides = ParseRcOverride(s_.VideoRcOverride);
                enc->rc_override = LibraryCopy(overrides.data(), overrides.size());
                enc->rc_override_count = static_cast<int>(overrides.size());
            }
            if (enc->rc_initial_buffer_occupancy == 0)
                enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
            enc->intra_dc_precision = s_.IntraDcPrecision - 8;
            if (s_.DoPsnr)
                enc->flags |= AV_CODEC_FLAG_PSNR;
            if (s_.DoPass == 1)
                enc->flags |= AV_CODEC_FLAG_PASS1;
            else if (s_.DoPass == 2)
                enc->flags |= AV_CODEC_FLAG_PASS2;
        }
    } catch (...) {
        s_.VideoCodecName.clear();
        throw;
    }
    s_.VideoDisable = 0;
    s_.VideoCodecName.clear();
    s_.VideoStreamCopy = 0;
}

void TCustomTranscoder::NewAudioStream(OutputFile& file) {
    try {
        AVCodecID id = AV_CODEC_ID_NONE;
        const AVCodec* codec = nullptr;
        if (!s_.AudioStreamCopy) {
            id = ff::format.av_guess_codec(file.Ctx->oformat, nullptr, file.FileName.c_str(),
                                           nullptr, AVMEDIA_TYPE_AUDIO);
            codec = ff::codec.avcodec_find_encoder(id);
            if (!s_.AudioCodecName.empty() &&
                !CheckCodecName(s_.AudioCodecName, AVMEDIA_TYPE_AUDIO, true, id, &codec))
                throw ETranscodeError(lastError_);
        }
        OutputStreamSetup& os = NewStream(file, AVMEDIA_TYPE_AUDIO, codec, id);
        AVCodecContext* enc = os.Enc.get();
        enc->thread_count = s_.ThreadCount;
        if (s_.AudioCodecTag)
            enc->codec_tag = s_.AudioCodecTag;
        void* audioOptions = optionCodec_[AVMEDIA_TYPE_AUDIO].get();
        if (file.Ctx->oformat->flags & AVFMT_GLOBALHEADER) {
            enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
            OrFlags(audioOptions, "flags", AV_CODEC_FLAG_GLOBAL_HEADER);
        }
        if (s_.AudioStreamCopy) {
            os.StreamCopy = true;
        } else {
            if (audioOptions)
                CopyGenericOptions(audioOptions, enc,
                                   AV_OPT_FLAG_AUDIO_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
            if (s_.AudioQScale > -99999) {
                enc->flags |= AV_CODEC_FLAG_QSCALE;
                os.Quality = kQp2Lambda * s_.AudioQScale;
                enc->global_quality = static_cast<int>(os.Quality);
            }
        }
        ff::util.av_channel_layout_uninit(&enc->ch_layout);
        ff::util.av_channel_layout_default(&enc->ch_layout, s_.AudioChannels);
        enc->sample_rate = s_.AudioSampleRate;
        enc->time_base = AVRational{1, s_.AudioSampleRate};
        SetLanguage(os.Stream, s_.AudioLanguage);
    } catch (...) {
        s_.AudioCodecName.clear();
        throw;
    }
    s_.AudioDisable = 0;
    s_.AudioCodecName.clear();
    s_.AudioStreamCopy = 0;
}

void TCustomTranscoder::NewSubtitleStream(OutputFile& file) {
    try {
        AVCodecID id = AV_CODEC_ID_NONE;
        const AVCodec* codec = nullptr;
        if (!s_.SubtitleStreamCopy) {
            if (!CheckCodecName(s_.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, true, id, &codec))
                throw ETranscodeError(lastError_);
            if (id == AV_CODEC_ID_NONE) {
                // No name: the container's own subtitle codec.
                id = file.Ctx->oformat->subtitle_codec;
                codec = ff::codec.avcodec_find_encoder(id);
            }
        }
        OutputStreamSetup& os = NewStream(file, AVMEDIA_TYPE_SUBTITLE, codec, id);
        if (s_.SubtitleStreamCopy) {
            os.StreamCopy = true;
        } else if (void* subtitleOptions = optionCodec_[AVMEDIA_TYPE_SUBTITLE].get()) {
            CopyGenericOptions(subtitleOptions, os.Enc.get(),
                               AV_OPT_FLAG_SUBTITLE_PARAM | AV_OPT_FLAG_ENCODING_PARAM);
        }
        SetLanguage(os.Stream, s_.SubtitleLanguage);
    } catch (...) {
        s_.SubtitleCodecName.clear();
        s_.SubtitleLanguage.clear();
        throw;
    }
    s_.SubtitleDisable = 0;
    s_.SubtitleCodecName.clear();
    s_.SubtitleStreamCopy = 0;
}

bool TCustomTranscoder::OpenOutput(const std::string& fileName) {
    if (static_cast<int>(outputFiles_.size()) >= kMaxFiles) {
        lastError_ = StrFormat("Too many output files (at most %d)", kMaxFiles);
        return false;
    }
    // The container: named, or guessed from the file name.
    const AVOutputFormat* format = s_.OutputFormat;
    if (!format)
        format = ff::format.av_guess_format(nullptr, fileName.c_str(), nullptr);
    if (!format) {
        lastError_ =
            StrFormat("Unable to find a suitable output format for '%s'", fileName.c_str());
        return false;
    }
    auto file = std::make_unique<OutputFile>();
    AVFormatContext* ctx = nullptr;
    if (ff::format.avformat_alloc_output_context2(&ctx, format, nullptr, fileName.c_str()) < 0 ||
        !ctx) {
        lastError_ = LibraryErrorText(fileName, kErrNoMemory);
        return false;
    }
    file->Ctx.reset(ctx);
    file->FileName = fileName;
    // No interrupt callback on the output: after a stop the trailer must still be written.

    // What the file gets.
    bool useVideo =
        s_.VideoStreamCopy || format->video_codec != AV_CODEC_ID_NONE || !s_.VideoCodecName.empty();
    bool useAudio =
        s_.AudioStreamCopy || format->audio_codec != AV_CODEC_ID_NONE || !s_.AudioCodecName.empty();
    bool useSubtitle = s_.SubtitleStreamCopy || format->subtitle_codec != AV_CODEC_ID_NONE ||
                       !s_.SubtitleCodecName.empty();
    if (!inputFiles_.empty()) {
        bool hasVideo, hasAudio, hasSubtitle;
        try {
            HasInputStreams(hasVideo, hasAudio, hasSubtitle);
        } catch (const ETranscodeError& e) {
            lastError_ = StrFormat("check_audio_video_sub_inputs fail: %s", e.what());
            return false;
        }
        useVideo = useVideo && hasVideo;
        useAudio = useAudio && hasAudio;
        useSubtitle = useSubtitle && hasSubtitle;
    }
    if (s_.VideoDisable)
        useVideo = false;
    if (s_.AudioDisable)
        useAudio = false;
    if (s_.SubtitleDisable)
        useSubtitle = false;

    // Add the streams.
    struct Kind {
        bool wanted;
        void (TCustomTranscoder::*create)(OutputFile&);
        const char* failure;
    };
    const Kind kinds[] = {
        {useVideo, &TCustomTranscoder::NewVideoStream, "new_video_stream fail: %s"},
        {useAudio, &TCustomTranscoder::NewAudioStream, "new_audio_stream fail: %s"},
        {useSubtitle, &TCustomTranscoder::NewSubtitleStream, "new_subtitle_stream fail: %s"},
    };
    for (const Kind& k : kinds) {
        if (!k.wanted)
            continue;
        try {
            (this->*k.create)(*file);
        } catch (const ETranscodeError& e) {
            lastError_ = StrFormat(k.failure, e.what());
            return false;
        }
    }

    // Metadata.
    auto setMeta = [ctx](const char* key, const std::string& value, size_t maxLen) {
        if (!value.empty())
            ff::util.av_dict_set(&ctx->metadata, key, value.substr(0, maxLen).c_str(), 0);
    };
    setMeta("title", s_.Title, 511);
    setMeta("author", s_.Author, 511);
    setMeta("copyright", s_.Copyright, 511);
    setMeta("comment", s_.Comment, 511);
    setMeta("album", s_.Album, 511);
    setMeta("genre", s_.Genre, 31);
    if (s_.Year > 0)
        ff::util.av_dict_set_int(&ctx->metadata, "date", s_.Year, 0);
    if (s_.Track > 0)
        ff::util.av_dict_set_int(&ctx->metadata, "track", s_.Track, 0);
    if (s_.RecordingTimestamp != 0) {
        char text[32];
        const time_t t = static_cast<time_t>(s_.RecordingTimestamp);
        struct tm utc;
        gmtime_r(&t, &utc);
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S.000000Z", &utc);
        ff::util.av_dict_set(&ctx->metadata, "creation_time", text, 0);
    }

    // The file joins the outputs.
    OutputFile& out = *file;
    outputFiles_.push_back(std::move(file));

    // Image sequences need a number in the name.
    if ((format->flags & AVFMT_NEEDNUMBER) &&
        !ff::format.av_filename_number_test(fileName.c_str())) {
        lastError_ = LibraryErrorText(fileName, kErrImageNameSyntax);
        return false;
    }

    // Open the file.
    if (!(format->flags & AVFMT_NOFILE)) {
        // A plain file only: an output name must not reach the network or another protocol.
        ff::Dictionary ioOptions;
        ioOptions.Set("protocol_whitelist", "file");
        // Written under a hidden name until it is complete (OutputNames.h). A final name
        // taken by something that is no plain file (a folder) can never be given.
        struct stat st;
        if (stat(PlainPath(fileName).c_str(), &st) == 0 && !S_ISREG(st.st_mode)) {
            lastError_ = StrFormat("Could not open '%s'", fileName.c_str());
            return false;
        }
        out.WritePath = ReserveWritePath(PlainPath(fileName));
        if (out.WritePath.empty() ||
            ff::format.avio_open2(&ctx->pb, out.WritePath.c_str(), AVIO_FLAG_WRITE, nullptr,
                                  ioOptions.Address()) < 0) {
            if (!out.WritePath.empty())
                std::remove(out.WritePath.c_str());
            out.WritePath.clear();
            lastError_ = StrFormat("Could not open '%s'", fileName.c_str());
            return false;
        }
        out.FileOpened = true;
    }

    // Muxer parameters.
    if (s_.MuxPreload > 0)
        ff::util.av_dict_set_int(out.MuxerOptions.Address(), "preload",
                                 static_cast<int64_t>(s_.MuxPreload * 1000000), 0);
    ctx->max_delay = static_cast<int>(s_.MuxMaxDelay * 1000000);
    if (s_.LoopOutput >= 0)
        ff::util.av_dict_set_int(out.MuxerOptions.Address(), "loop", s_.LoopOutput, 0);
    if (optionFormat_)
        CopyGenericOptions(optionFormat_.get(), ctx, AV_OPT_FLAG_ENCODING_PARAM);
    ff::util.av_dict_copy(out.MuxerOptions.Address(), muxerPrivateOptions_.Raw(), 0);

    // The per-output options are used up.
    s_.OutputFormat = nullptr;
    s_.InputFormat = nullptr;
    return true;
}

} // namespace corvina::engine
