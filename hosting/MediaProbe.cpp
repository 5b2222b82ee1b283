#include "hosting/MediaProbe.h"

#include "engine/Transcoder.h"

#include "binding/Handles.h"
#include "engine/InputGuard.h"
#include "engine/LibraryErrors.h"
#include "engine/Orientation.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <limits>

namespace corvina::hosting {

// Declared in this order so the container closes before the I/O it reads from, and both
// before the guard their callbacks point at.
struct TMediaProbe::OpenFile {
    std::unique_ptr<engine::InputGuard> guard;
    ff::IoContextPtr io;
    ff::InputContextPtr input;
};

TMediaProbe::TMediaProbe() = default;
TMediaProbe::~TMediaProbe() = default;

namespace {

constexpr int kLogError = 0;
constexpr int kLogInfo = 1;
// The probe score of a format chosen by its file extension when its content check found
// nothing.
constexpr int kNameOnlyScore = 1;

void CopyText(char* dst, std::size_t size, const char* src) {
    std::memset(dst, 0, size);
    if (src)
        std::memcpy(dst, src, std::min(std::strlen(src), size - 1));
}

std::int32_t ClampToInt32(std::int64_t v) {
    return static_cast<std::int32_t>(std::clamp<std::int64_t>(
        v, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

const char* Metadata(const AVDictionary* dict, const char* key) {
    const AVDictionaryEntry* e = ff::util.av_dict_get(dict, key, nullptr, 0);
    return e ? e->value : nullptr;
}

// The leading number of "2008", "2008-05-01" or "3/12"; 0 when there is none.
std::int32_t LeadingNumber(const char* text) {
    return text ? ClampToInt32(std::strtoll(text, nullptr, 10)) : 0;
}

} // namespace

void ResetFormatInfo(FormatInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.StartTime = -1;
    info.Duration = -1;
    info.BitRate = -1;
    info.Timestamp = -1;
    info.Year = -1;
    info.Track = -1;
}

void ResetVideoStreamInfo(VideoStreamInfo& info) {
    std::memset(&info, 0, sizeof info);
    info.StartTime = -1;
    info.StartTimeRescaled = -1;
    info.Duration = -1;
    info.DurationRescaled = -1;
    info.BitRate = -1;
    info.Height = -1;
    info.Width = -1;
    info.DisplayAspect = -1.0f;
    info.PixFmt = -1;
    info.FrameRateNum = -1;
    info.FrameRateDen = -1;
}

bool TMediaProbe::LoadFile(const std::string& fileName, const std::string& formatName) {
    binding::CheckLibraries();
    CloseFile();

    const AVInputFormat* format = nullptr;
    if (!formatName.empty()) {
        format = ff::format.av_find_input_format(formatName.c_str());
        if (!format) {
            lastError_ = "Unknown input format: " + formatName;
            return false;
        }
    }

    // Only the file itself: a crafted playlist or reference file must not reach the network or
    // other files through the probe. And only for a while: probing runs on the main thread.
    auto guard = std::make_unique<engine::InputGuard>(fileName);
    guard->StartDeadline();
    ff::Dictionary ioOptions;
    ioOptions.Set("protocol_whitelist", "file");
    AVIOContext* rawIo = nullptr;
    int r = ff::format.avio_open2(&rawIo, fileName.c_str(), AVIO_FLAG_READ, guard->Interrupt(),
                                  ioOptions.Address());
    if (r < 0) {
        lastError_ = engine::LibraryErrorText(fileName, r);
        return false;
    }
    ff::IoContextPtr io(rawIo);

    // Probing first tells data no demuxer recognises apart from a header that fails to parse.
    // A guess resting on the file name alone (the lowest score: the content matched nothing)
    // that then fails to open is unknown data too, whatever its extension promised.
    bool guessedFromNameOnly = false;
    if (!format) {
        r = ff::format.av_probe_input_buffer2(io.get(), &format, fileName.c_str(), nullptr, 0, 0);
        if (r < 0) {
            lastError_ = engine::LibraryErrorText(
                fileName, r == AVERROR_INVALIDDATA ? AVERROR_DEMUXER_NOT_FOUND : r);
            return false;
        }
        guessedFromNameOnly = r <= kNameOnlyScore;
    }

    AVFormatContext* raw = ff::format.avformat_alloc_context();
    if (!raw) {
        lastError_ = engine::LibraryErrorText(fileName, AVERROR(ENOMEM));
        return false;
    }
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    guard->Attach(raw);
    ff::Dictionary openOptions;
    openOptions.Set("protocol_whitelist", "file");
    r = ff::format.avformat_open_input(&raw, fileName.c_str(), format, openOptions.Address());
    if (r < 0) { // the library has freed the context
        lastError_ = engine::LibraryErrorText(
            fileName,
            guessedFromNameOnly && r == AVERROR_INVALIDDATA ? AVERROR_DEMUXER_NOT_FOUND : r);
        return false;
    }
    ff::InputContextPtr input(raw);

    {
        // The decoders probing opens get the engine's size limits.
        engine::InputGuard::ProbeOptions limits(input->nb_streams);
        // Probing opens decoders: serialised with every job's codec opening.
        std::lock_guard codecLock(engine::CodecLock());
        r = ff::format.avformat_find_stream_info(input.get(), limits.Get());
    }
    if (r < 0) {
        lastError_ = fileName + ": could not find codec parameters";
        return false;
    }

    StreamSummary s;
    s.StreamCount = static_cast<int>(input->nb_streams);
    s.ProgramCount = static_cast<int>(input->nb_programs);
    s.AudioStreamCount = s.VideoStreamCount = s.SubtitleStreamCount = 0;
    for (int i = 0; i < s.StreamCount; ++i) {
        switch (input->streams[i]->codecpar->codec_type) {
        case AVMEDIA_TYPE_VIDEO:
            if (s.VideoStreamCount++ == 0)
                s.FirstVideoStream = i;
            break;
        case AVMEDIA_TYPE_AUDIO:
            if (s.AudioStreamCount++ == 0)
                s.FirstAudioStream = i;
            break;
        case AVMEDIA_TYPE_SUBTITLE:
            if (s.SubtitleStreamCount++ == 0)
                s.FirstSubtitleStream = i;
            break;
        default:
            break;
        }
    }

    guard->ClearDeadline();
    summary_ = s;
    open_ = std::make_unique<OpenFile>();
    open_->guard = std::move(guard);
    open_->io = std::move(io);
    open_->input = std::move(input);
    formatName_ = formatName;
    return true;
}

void TMediaProbe::CloseFile() {
    formatName_.clear();
    open_.reset();
    summary_ = StreamSummary{};
}

void TMediaProbe::GetFormatInfo(FormatInfo& info) {
    ResetFormatInfo(info);
    if (!open_) {
        Log(kLogInfo, "file not loaded.\n");
        return;
    }
    const AVFormatContext& ctx = *open_->input;
    const AVDictionary* meta = ctx.metadata;
    info.StartTime = ctx.start_time;
    info.Duration = ctx.duration;
    info.BitRate = ClampToInt32(ctx.bit_rate);
    info.Timestamp = 0;
    if (const char* created = Metadata(meta, "creation_time")) {
        int64_t t = 0;
        if (ff::util.av_parse_time(&t, created, 0) >= 0)
            info.Timestamp = t;
    }
    CopyText(info.Title, sizeof info.Title, Metadata(meta, "title"));
    const char* author = Metadata(meta, "author");
    CopyText(info.Author, sizeof info.Author, author ? author : Metadata(meta, "artist"));
    CopyText(info.Copyright, sizeof info.Copyright, Metadata(meta, "copyright"));
    CopyText(info.Comment, sizeof info.Comment, Metadata(meta, "comment"));
    CopyText(info.Album, sizeof info.Album, Metadata(meta, "album"));
    const char* year = Metadata(meta, "date");
    info.Year = LeadingNumber(year ? year : Metadata(meta, "year"));
    info.Track = LeadingNumber(Metadata(meta, "track"));
    CopyText(info.Genre, sizeof info.Genre, Metadata(meta, "genre"));
}

void TMediaProbe::GetVideoStreamInfo(VideoStreamInfo& info) {
    GetVideoStreamInfo(-1, info);
}

void TMediaProbe::GetVideoStreamInfo(int index, VideoStreamInfo& info) {
    ResetVideoStreamInfo(info);
    if (!open_) {
        Log(kLogInfo, "file not loaded.\n");
        return;
    }
    if (index < 0) {
        index = summary_.FirstVideoStream;
        if (index == -1) {
            Log(kLogError, "no video stream.\n");
            return;
        }
    } else if (index >= summary_.StreamCount) {
        Log(kLogError, "stream index #" + std::to_string(index) + " is invalid.\n");
        return;
    }
    const AVStream& st = *open_->input->streams[index];
    const AVCodecParameters& par = *st.codecpar;
    if (par.codec_type != AVMEDIA_TYPE_VIDEO) {
        Log(kLogError, "stream #" + std::to_string(index) + " is not video stream.\n");
        return;
    }

    // A language code is three letters; the field keeps room for the terminating zero.
    CopyText(info.Language, sizeof info.Language, Metadata(st.metadata, "language"));
    CopyText(info.CodecName, sizeof info.CodecName, ff::codec.avcodec_get_name(par.codec_id));
    info.StartTime = st.start_time;
    if (st.start_time != AV_NOPTS_VALUE)
        info.StartTimeRescaled =
            ff::util.av_rescale_q(st.start_time, st.time_base, AVRational{1, AV_TIME_BASE});
    info.Duration = st.duration;
    if (st.duration != AV_NOPTS_VALUE)
        info.DurationRescaled =
            ff::util.av_rescale_q(st.duration, st.time_base, AVRational{1, AV_TIME_BASE});
    info.BitRate = ClampToInt32(par.bit_rate);
    // The size the picture is seen at: a recording stored turned (a portrait phone video)
    // is shown, and converted, upright.
    const engine::Orientation orient = engine::OrientationOfStream(&st);
    engine::DisplayedSize(orient, par.width, par.height, info.Width, info.Height);
    AVRational sar = par.sample_aspect_ratio;
    if (orient.Transpose)
        sar = AVRational{sar.den, sar.num};
    // No aspect without a defined ratio or height; 0 rather than a division by zero.
    info.DisplayAspect = (sar.den != 0 && info.Height != 0)
                             ? static_cast<float>(info.Width * av_q2d(sar) / info.Height)
                             : 0.0f;
    info.PixFmt = par.format;
    info.FrameRateNum = st.r_frame_rate.num;
    info.FrameRateDen = st.r_frame_rate.den;
}

void TMediaProbe::GetResult(ProbeResult& result) {
    result.Summary = summary_;
    GetFormatInfo(result.Format);
    GetVideoStreamInfo(-1, result.Video);
}

void TMediaProbe::Log(int level, const std::string& text) {
    if (OnLog)
        OnLog(level, text);
}

} // namespace corvina::hosting
