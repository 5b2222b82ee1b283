// The engine's option vocabulary: settings reset and release, the option table, the
// generic-option fallback onto the libraries' option system, and the direct setters.
#include "engine/OptionParsing.h"
#include "engine/OutputNames.h"
#include "engine/StrFormat.h"
#include "engine/Transcoder.h"

#include <cmath>
#include <ctime>
#include <string_view>
#include <unordered_map>

namespace corvina::engine {

namespace {

// Option flags that select each media type's option context, indexed by media type
// (video, audio, data, subtitle, attachment).
constexpr int kMediaTypeOptionFlags[5] = {AV_OPT_FLAG_VIDEO_PARAM, AV_OPT_FLAG_AUDIO_PARAM, 0,
                                          AV_OPT_FLAG_SUBTITLE_PARAM, 0};

// Generic option names of the older library generation that the current one renamed.
struct GenericAlias {
    std::string_view OldName, NewName;
};
constexpr GenericAlias kGenericAliases[] = {
    {"gop", "g"},
};

// Options that are no longer generic but private to a muxer or an encoder. They are kept
// as dictionaries for the output opening, since a private option cannot be set on the
// option contexts, which have no muxer or codec behind them.
enum class PrivateOwner { Muxer, VideoEncoder };
struct PrivateOption {
    std::string_view Name;
    PrivateOwner Owner;
};
constexpr PrivateOption kPrivateOptions[] = {
    {"muxrate", PrivateOwner::Muxer},             // the MPEG program and transport muxers
    {"scan_offset", PrivateOwner::VideoEncoder},  // MPEG-2 video (SVCD)
    {"sc_threshold", PrivateOwner::VideoEncoder}, // MPEG video encoders, x264
    {"preset", PrivateOwner::VideoEncoder},       // x264
    {"tune", PrivateOwner::VideoEncoder},         // x264
    {"crf", PrivateOwner::VideoEncoder},          // x264
};

// The SVCD scan-offset flag was a constant of the generic "flags" option; it is now the
// MPEG-2 encoder's private "scan_offset".
constexpr std::string_view kScanOffsetFlag = "scan_offset";

bool EqualsNoCase(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        char x = a[i], y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

// Splits a flags value "+a-b+c" into signed tokens, takes out the scan-offset token and
// reports its sign ('+', '-', or 0 when absent). The rest is returned as flags text.
std::string TakeScanOffsetFlag(const std::string& value, char& scanOffset) {
    scanOffset = 0;
    std::string rest;
    size_t pos = 0;
    while (pos < value.size()) {
        size_t end = value.find_first_of("+-", pos + 1);
        if (end == std::string::npos)
            end = value.size();
        const std::string token = value.substr(pos, end - pos);
        const bool signedToken = token[0] == '+' || token[0] == '-';
        if (EqualsNoCase(signedToken ? std::string_view(token).substr(1) : token, kScanOffsetFlag))
            scanOffset = token[0] == '-' ? '-' : '+';
        else
            rest += token;
        pos = end;
    }
    return rest;
}

int64_t ParseTimeOption(const std::string& name, const std::string& value, bool duration) {
    int64_t us = 0;
    if (ff::util.av_parse_time(&us, value.c_str(), duration) < 0 || us == INT64_MIN)
        throw ETranscodeError(StrFormat("Invalid %s specification for %s: %s",
                                        duration ? "duration" : "date", name.c_str(),
                                        value.c_str()));
    return us;
}

// Codec-name rule of vcodec, acodec and scodec.
void SetCodecName(std::string& codecName, int& streamCopy, const std::string& value) {
    if (value.empty())
        return;
    codecName.clear();
    if (value == "copy")
        streamCopy = 1;
    else
        codecName = value;
}

enum class Side { Top, Bottom, Left, Right };
constexpr const char* kSideNames[] = {"Top", "Bottom", "Left", "Right"};

void ApplyCrop(EngineSettings& s, Side side, int value) {
    if (value < 0)
        return;
    if (value % 2 != 0)
        throw ETranscodeError(
            StrFormat("%s crop size must be a multiple of 2", kSideNames[int(side)]));
    if (side == Side::Top || side == Side::Bottom) {
        if (value >= s.FrameHeight)
            throw ETranscodeError("Vertical crop dimensions are outside the range of the "
                                  "original image.\nRemember to crop first and scale second.");
        s.FrameHeight -= value;
        (side == Side::Top ? s.CropTop : s.CropBottom) = value;
    } else {
        if (value >= s.FrameWidth)
            throw ETranscodeError("Horizontal crop dimensions are outside the range of the "
                                  "original image.\nRemember to crop first and scale second.");
        s.FrameWidth -= value;
        (side == Side::Left ? s.CropLeft : s.CropRight) = value;
    }
}

void ApplyPad(EngineSettings& s, Side side, int value) {
    if (value < 0)
        return;
    if (value % 2 != 0)
        throw ETranscodeError(
            StrFormat("%s pad size must be a multiple of 2", kSideNames[int(side)]));
    int* fields[] = {&s.PadTop, &s.PadBottom, &s.PadLeft, &s.PadRight};
    *fields[int(side)] = value;
}

uint32_t CodecTag(const std::string& value, const char* assertion) {
    if (value.size() != 4)
        throw ETranscodeError(assertion);
    return FourCcTag(value);
}

std::string VstatsFileNameNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char hhnnss[16];
    std::strftime(hhnnss, sizeof hhnnss, "%H%M%S", &local);
    return StrFormat("%svstats_%s.log", binding::ProgramFolder().c_str(), hhnnss);
}

using OptionHandler = void (*)(TCustomTranscoder& t, const std::string& name,
                               const std::string& value);

// The muxer counts the packets it wrote in each stream.

} // namespace

// --- Settings lifecycle ---

void TCustomTranscoder::SetThreadCount(int count) {
    s_.ThreadCount = std::clamp(count, 1, kMaxCodecThreads);
}

void TCustomTranscoder::ResetSettings() {
    if (!binding::AllLoaded())
        return;
    ReleaseSettings();
    s_ = EngineSettings{};
    for (int type = 0; type < 5; ++type) {
        optionCodec_[type].reset(ff::codec.avcodec_alloc_context3(nullptr));
        if (optionCodec_[type])
            optionCodec_[type]->codec_type = static_cast<AVMediaType>(type);
    }
    optionFormat_.reset(ff::format.avformat_alloc_context());
    optionScaler_.reset(ff::scale.sws_alloc_context());
}

void TCustomTranscoder::ReleaseSettings() {
    for (ff::CodecContextPtr& c : optionCodec_)
        c.reset();
    optionFormat_.reset();
    optionScaler_.reset();
    genericOptionNames_.clear();
    muxerPrivateOptions_.Reset();
    for (ff::Dictionary& d : encoderPrivateOptions_)
        d.Reset();

    s_.IntraMatrix.reset();
    s_.InterMatrix.reset();
    s_.VideoCodecName.clear();
    s_.AudioCodecName.clear();
    s_.SubtitleCodecName.clear();
    s_.VideoRcOverride.clear();
    s_.VideoStandard.clear();
    s_.VstatsFileName.clear();
    s_.AudioLanguage.clear();
    s_.SubtitleLanguage.clear();

    videoHooks_.Release();
    s_.UsingVideoHook = false; // the chain is gone with its plug-in entries

    // A job stopped before a single packet reached a file left no result there, though some
    // containers still write something (an MP4 index without tracks opens as nothing).
    if (stopRequested_)
        for (auto& out : outputFiles_)
            if (out->Ctx && !AnyPacketWritten(*out->Ctx))
                out->DeleteOnClose = true;
    // Their destructors close the files.
    inputFiles_.clear();
    outputFiles_.clear();
}

// --- Option text and the option table ---

void TCustomTranscoder::ApplyOptionText(const std::string& text) {
    for (const auto& [name, value] : SplitOptionText(text))
        SetOption(name, value);
}

void TCustomTranscoder::SetOption(const std::string& name, const std::string& value) {
    // One row per option name; the lambdas share this member's access to the settings.
#define CORVINA_OPTION(...)                                                                        \
    []([[maybe_unused]] TCustomTranscoder& t, [[maybe_unused]] const std::string& n,               \
       [[maybe_unused]] const std::string& v) { __VA_ARGS__; }
#define CORVINA_DO_NOTHING CORVINA_OPTION(t.Log(kLevelInfo, "Do nothing: option - " + n))
#define CORVINA_TODO CORVINA_OPTION(throw ETranscodeError("TODO: option - " + n))

    static const std::unordered_map<std::string_view, OptionHandler> kOptions = {
        // Accepted without effect
        {"L", CORVINA_DO_NOTHING},
        {"h", CORVINA_DO_NOTHING},
        {"version", CORVINA_DO_NOTHING},
        {"formats", CORVINA_DO_NOTHING},
        {"i", CORVINA_DO_NOTHING},
        {"y", CORVINA_DO_NOTHING},
        {"benchmark", CORVINA_DO_NOTHING},
        {"apre", CORVINA_DO_NOTHING},
        {"vpre", CORVINA_DO_NOTHING},
        {"spre", CORVINA_DO_NOTHING},
        // Recognised, not supported
        {"threads", CORVINA_TODO},
        {"absf", CORVINA_TODO},
        {"vbsf", CORVINA_TODO},
        {"sbsf", CORVINA_TODO},

        // Files, timing and metadata
        {"f", CORVINA_OPTION({
             const std::string format = t.PgmyuvRule(v);
             t.s_.InputFormat = ff::format.av_find_input_format(format.c_str());
             t.s_.OutputFormat = ff::format.av_guess_format(format.c_str(), nullptr, nullptr);
             if (!t.s_.InputFormat && !t.s_.OutputFormat)
                 throw ETranscodeError(
                     StrFormat("Unknown input or output format: %s", format.c_str()));
         })},
        {"map", CORVINA_OPTION({
             if (t.s_.StreamMaps.size() >= size_t(kMaxMaps))
                 throw ETranscodeError(StrFormat("Too many stream maps (at most %d)", kMaxMaps));
             t.s_.StreamMaps.push_back(ParseStreamMap(v));
         })},
        {"map_meta_data", CORVINA_OPTION({
             if (t.s_.MetaDataMaps.size() >= size_t(kMaxMaps))
                 throw ETranscodeError(StrFormat("Too many metadata maps (at most %d)", kMaxMaps));
             t.s_.MetaDataMaps.push_back(ParseMetaDataMap(v));
         })},
        {"t", CORVINA_OPTION({
             const int64_t ms = ParseTimeOption(n, v, true) / 1000;
             if (ms > 0) {
                 t.s_.RecordingTime = ms * 1000;
                 t.s_.DurationMs = ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
             }
         })},
        {"fs", CORVINA_OPTION(t.s_.FileSizeLimit = StrToInt64Strict(v))},
        {"ss", CORVINA_OPTION(t.s_.StartTime = ParseTimeOption(n, v, true))},
        {"itsoffset", CORVINA_OPTION(t.s_.InputTsOffset = ParseTimeOption(n, v, true))},
        {"itsscale", CORVINA_OPTION({
             const auto [stream, scale] = ParseTsScale(v);
             // With every input slot taken there is no next input to scale; opening one
             // is refused anyway.
             if (t.InputFileCount() < kMaxFiles)
                 t.s_.InputTsScale[t.InputFileCount()][stream] = scale;
         })},
        {"title", CORVINA_OPTION(t.s_.Title = v)},
        {"author", CORVINA_OPTION(t.s_.Author = v)},
        {"copyright", CORVINA_OPTION(t.s_.Copyright = v)},
        {"comment", CORVINA_OPTION(t.s_.Comment = v)},
        {"genre", CORVINA_OPTION(t.s_.Genre = v)},
        {"album", CORVINA_OPTION(t.s_.Album = v)},
        {"timestamp", CORVINA_OPTION(t.s_.RecordingTimestamp = std::llround(
                                         double(ParseTimeOption(n, v, false)) / 1000000.0))},
        {"dframes", CORVINA_OPTION(t.s_.MaxFrames[kMediaData] = StrToIntStrict(v))},
        {"dump", CORVINA_OPTION(t.s_.PacketDump = 1)},
        {"hex", CORVINA_OPTION(t.s_.HexDump = 1)},
        {"re", CORVINA_OPTION(t.s_.RateEmulation = 1)},
        {"loop_input", CORVINA_OPTION(t.s_.LoopInput = 1)},
        {"loop_output", CORVINA_OPTION(t.s_.LoopOutput = StrToIntStrict(v))},
        {"v", CORVINA_OPTION(t.SetVerbosity(StrToIntStrict(v)))},
        {"target", CORVINA_OPTION(t.ApplyTarget(v))},
        {"vsync", CORVINA_OPTION(t.s_.VideoSyncMethod = StrToIntStrict(v))},
        {"async", CORVINA_OPTION(t.s_.AudioSyncMethod = StrToIntStrict(v))},
        {"adrift_threshold", CORVINA_OPTION(t.s_.AudioDriftThreshold = StrToFloatStrict(v))},
        {"vglobal", CORVINA_OPTION(t.s_.VideoGlobalHeader = StrToIntStrict(v))},
        {"copyts", CORVINA_OPTION(t.s_.CopyTs = 1)},
        {"shortest", CORVINA_OPTION(t.s_.Shortest = 1)},
        {"dts_delta_threshold", CORVINA_OPTION(t.s_.DtsDeltaThreshold = StrToFloatStrict(v))},
        {"programid", CORVINA_OPTION(t.s_.ProgramId = StrToIntStrict(v))},

        // Video
        {"b", CORVINA_OPTION(if (t.SetGenericOption(n, v)) t.BitrateWarning(n))},
        {"vb", CORVINA_OPTION(if (t.SetGenericOption(n, v)) t.BitrateWarning(n))},
        {"vframes", CORVINA_OPTION(t.s_.MaxFrames[kMediaVideo] = StrToIntStrict(v))},
        {"r", CORVINA_OPTION({
             AVRational rate{0, 0};
             if (ff::util.av_parse_video_rate(&rate, v.c_str()) < 0)
                 throw ETranscodeError("Incorrect frame rate");
             t.s_.FrameRate = rate;
         })},
        {"s", CORVINA_OPTION({
             int width = 0, height = 0;
             if (ff::util.av_parse_video_size(&width, &height, v.c_str()) < 0)
                 throw ETranscodeError("Incorrect frame size");
             if (width % 2 != 0 || height % 2 != 0)
                 throw ETranscodeError("Frame size must be a multiple of 2");
             t.s_.FrameWidth = width;
             t.s_.FrameHeight = height;
         })},
        {"aspect", CORVINA_OPTION({
             const float ratio = ParseAspectRatio(v);
             if (ratio == 0)
                 throw ETranscodeError("Incorrect aspect ratio specification.");
             t.s_.FrameAspectRatio = ratio;
         })},
        {"pix_fmt", CORVINA_OPTION({
             if (v != "list") {
                 t.s_.FramePixFmt = ff::util.av_get_pix_fmt(v.c_str());
                 return;
             }
             if (!t.OnLog)
                 return;
             // The header line first, then one line per format the library describes.
             char line[128];
             for (int fmt = -1; fmt < 0 || ff::util.av_pix_fmt_desc_get(AVPixelFormat(fmt)); ++fmt)
                 t.Log(kLevelInfo, TrimBlanks(ff::util.av_get_pix_fmt_string(line, sizeof line,
                                                                             AVPixelFormat(fmt))));
         })},
        {"croptop", CORVINA_OPTION(ApplyCrop(t.s_, Side::Top, StrToIntStrict(v)))},
        {"cropbottom", CORVINA_OPTION(ApplyCrop(t.s_, Side::Bottom, StrToIntStrict(v)))},
        {"cropleft", CORVINA_OPTION(ApplyCrop(t.s_, Side::Left, StrToIntStrict(v)))},
        {"cropright", CORVINA_OPTION(ApplyCrop(t.s_, Side::Right, StrToIntStrict(v)))},
        {"padtop", CORVINA_OPTION(ApplyPad(t.s_, Side::Top, StrToIntStrict(v)))},
        {"padbottom", CORVINA_OPTION(ApplyPad(t.s_, Side::Bottom, StrToIntStrict(v)))},
        {"padleft", CORVINA_OPTION(ApplyPad(t.s_, Side::Left, StrToIntStrict(v)))},
        {"padright", CORVINA_OPTION(ApplyPad(t.s_, Side::Right, StrToIntStrict(v)))},
        {"padcolor", CORVINA_OPTION({
             const PadColorYuv c = PadColorFromRgb(StrToIntStrict(v));
             t.s_.PadColorY = c.Y;
             t.s_.PadColorU = c.U;
             t.s_.PadColorV = c.V;
         })},
        {"intra", CORVINA_OPTION(t.s_.IntraOnly = 1)},
        {"vn", CORVINA_OPTION(t.s_.VideoDisable = 1)},
        {"vdt", CORVINA_OPTION(t.s_.VideoDiscard = StrToIntStrict(v))},
        {"qscale", CORVINA_OPTION({
             const float q = StrToFloatStrict(v);
             if (!(q > 0.0f && q <= 255.0f))
                 throw ETranscodeError("qscale must be > 0.0 and <= 255");
             t.s_.VideoQScale = q;
         })},
        {"rc_override", CORVINA_OPTION(t.s_.VideoRcOverride = v)},
        {"vcodec", CORVINA_OPTION(SetCodecName(t.s_.VideoCodecName, t.s_.VideoStreamCopy, v))},
        {"me_threshold", CORVINA_OPTION(t.s_.MeThreshold = StrToIntStrict(v))},
        {"sameq", CORVINA_OPTION(t.s_.SameQuality = 1)},
        {"pass", CORVINA_OPTION({
             const int pass = StrToIntStrict(v);
             if (pass != 1 && pass != 2)
                 throw ETranscodeError("pass number can be only 1 or 2");
             t.s_.DoPass = pass;
         })},
        {"passlogfile", CORVINA_OPTION(t.s_.PassLogFileName = v)},
        {"deinterlace", CORVINA_OPTION(t.s_.Deinterlace = 1)},
        {"psnr", CORVINA_OPTION(t.s_.DoPsnr = 1)},
        {"vstats", CORVINA_OPTION(t.s_.VstatsFileName = VstatsFileNameNow())},
        {"vstats_file", CORVINA_OPTION(t.s_.VstatsFileName = v)},
        {"vhook", CORVINA_OPTION(t.AddVideoHook(v))},
        {"intra_matrix", CORVINA_OPTION(t.s_.IntraMatrix = ParseMatrix(v))},
        {"inter_matrix", CORVINA_OPTION(t.s_.InterMatrix = ParseMatrix(v))},
        {"top", CORVINA_OPTION(t.s_.TopFieldFirst = StrToIntStrict(v))},
        {"dc", CORVINA_OPTION(t.s_.IntraDcPrecision = StrToIntStrict(v))},
        {"vtag",
         CORVINA_OPTION(t.s_.VideoCodecTag = CodecTag(v, "video tag parameter must be 4 chars"))},
        {"newvideo", CORVINA_OPTION(t.NewVideoStream(t.LastOutputFile()))},
        {"qphist", CORVINA_OPTION(t.s_.QpHistogram = 1)},
        {"vc", CORVINA_OPTION(t.s_.VideoChannel = StrToIntStrict(v))},
        {"tvstd", CORVINA_OPTION(t.s_.VideoStandard = v)},

        // Audio and subtitles
        {"ab", CORVINA_OPTION(if (t.SetGenericOption(n, v)) t.BitrateWarning(n))},
        {"aframes", CORVINA_OPTION(t.s_.MaxFrames[kMediaAudio] = StrToIntStrict(v))},
        {"aq", CORVINA_OPTION(t.s_.AudioQScale = StrToFloatStrict(v))},
        {"ar", CORVINA_OPTION({
             const int rate = StrToIntStrict(v);
             if (rate > 0)
                 t.s_.AudioSampleRate = rate;
         })},
        {"ac", CORVINA_OPTION({
             const int channels = StrToIntStrict(v);
             if (channels > 0)
                 t.s_.AudioChannels = channels;
         })},
        {"an", CORVINA_OPTION(t.s_.AudioDisable = 1)},
        {"acodec", CORVINA_OPTION(SetCodecName(t.s_.AudioCodecName, t.s_.AudioStreamCopy, v))},
        {"atag",
         CORVINA_OPTION(t.s_.AudioCodecTag = CodecTag(v, "audio tag parameter must be 4 chars"))},
        {"vol", CORVINA_OPTION(t.s_.AudioVolume = StrToIntStrict(v))},
        {"newaudio", CORVINA_OPTION(t.NewAudioStream(t.LastOutputFile()))},
        {"alang", CORVINA_OPTION(t.s_.AudioLanguage = v)},
        {"sn", CORVINA_OPTION(t.s_.SubtitleDisable = 1)},
        {"scodec",
         CORVINA_OPTION(SetCodecName(t.s_.SubtitleCodecName, t.s_.SubtitleStreamCopy, v))},
        {"newsubtitle", CORVINA_OPTION(t.NewSubtitleStream(t.LastOutputFile()))},
        {"slang", CORVINA_OPTION(t.s_.SubtitleLanguage = v)},
        {"isync", CORVINA_OPTION(t.s_.InputSync = 1)},
        {"muxdelay", CORVINA_OPTION(t.s_.MuxMaxDelay = StrToFloatStrict(v))},
        {"muxpreload", CORVINA_OPTION(t.s_.MuxPreload = StrToFloatStrict(v))},
    };
#undef CORVINA_TODO
#undef CORVINA_DO_NOTHING
#undef CORVINA_OPTION

    const auto row = kOptions.find(name);
    if (row != kOptions.end())
        row->second(*this, name, value);
    else
        SetGenericOption(name, value); // unknown to the libraries too: dropped silently
}

void TCustomTranscoder::BitrateWarning(const std::string& optionName) const {
    if (!OnLog)
        return;
    void* context = CodecOptionContext(optionName[0] == 'a' ? kMediaAudio : kMediaVideo);
    int64_t bitrate = 0;
    if (context && ff::util.av_opt_get_int(context, "b", 0, &bitrate) >= 0 && bitrate < 1000)
        Log(kLevelInfo, "WARNING: The bitrate parameter is set too low. It takes bits/s as "
                        "argument, not kbits/s");
}

// Video-hook plug-ins load by the path given; the working directory and PATH stay as they
// are (both are process-wide and other jobs run).
void TCustomTranscoder::AddVideoHook(const std::string& value) {
    const std::vector<std::string> words = SplitHookArgs(value);
    if (words.empty() || videoHooks_.Add(words) != 0)
        throw ETranscodeError("Failed to add video hook function: " + value);
    s_.UsingVideoHook = true;
}

// --- Generic options ---

bool TCustomTranscoder::SetPrivateOption(const std::string& name, const std::string& value) {
    for (const PrivateOption& p : kPrivateOptions) {
        if (p.Name != name)
            continue;
        ff::Dictionary& dict = p.Owner == PrivateOwner::Muxer ? muxerPrivateOptions_
                                                              : encoderPrivateOptions_[kMediaVideo];
        return dict.Set(name.c_str(), value.c_str()) >= 0;
    }
    return false;
}

bool TCustomTranscoder::SetGenericOption(const std::string& rawName, const std::string& rawValue) {
    std::string name = TrimBlanks(rawName);
    std::string value = TrimBlanks(rawValue);
    if (name.empty() || value.empty())
        return false;
    for (const ff::CodecContextPtr& c : optionCodec_)
        if (!c)
            return false; // libraries not bound, or the settings were released
    if (!optionFormat_ || !optionScaler_)
        return false;

    for (const GenericAlias& alias : kGenericAliases)
        if (alias.OldName == name)
            name = alias.NewName;
    if (SetPrivateOption(name, value))
        return true;
    if (name == "flags") {
        char scanOffset = 0;
        value = TakeScanOffsetFlag(value, scanOffset);
        if (scanOffset)
            encoderPrivateOptions_[kMediaVideo].Set(std::string(kScanOffsetFlag).c_str(),
                                                    scanOffset == '+' ? "1" : "0");
        if (value.empty())
            return scanOffset != 0;
    }

    const AVOption* found = nullptr;
    auto trySet = [&](void* context, const char* optionName) {
        const AVOption* o = ff::util.av_opt_find(context, optionName, nullptr, 0, 0);
        if (o && ff::util.av_opt_set(context, optionName, value.c_str(), 0) >= 0)
            found = o;
    };

    // The codec option contexts whose media type the option is flagged for.
    for (int type = 0; type < 5; ++type) {
        const AVOption* o = ff::util.av_opt_find(optionCodec_[kMediaVideo].get(), name.c_str(),
                                                 nullptr, kMediaTypeOptionFlags[type], 0);
        if (o && ff::util.av_opt_set(optionCodec_[type].get(), name.c_str(), value.c_str(), 0) >= 0)
            found = o;
    }
    if (!found)
        trySet(optionFormat_.get(), name.c_str());
    if (!found)
        trySet(optionScaler_.get(), name.c_str());
    // "ab", "vb", "sfoo": the option without its media-type letter on that type's context.
    if (!found && name.size() > 1) {
        const int type = name[0] == 'a'   ? kMediaAudio
                         : name[0] == 'v' ? kMediaVideo
                         : name[0] == 's' ? kMediaSubtitle
                                          : -1;
        if (type >= 0)
            trySet(optionCodec_[type].get(), name.c_str() + 1);
    }
    if (!found)
        return false;

    const std::string optionName = found->name;
    bool known = false;
    for (const std::string& n : genericOptionNames_)
        known = known || n == optionName;
    if (!known)
        genericOptionNames_.push_back(optionName);

    if (optionCodec_[kMediaVideo]->debug != 0 || optionFormat_->debug != 0) {
        ff::util.av_log_set_level(2);
        s_.Verbosity = 2;
        binding::SetCachedLogLevel(2);
    }
    return true;
}

void TCustomTranscoder::CopyGenericOptions(void* source, void* target, int flags) const {
    if (!source || !target)
        return;
    for (const std::string& name : genericOptionNames_) {
        if (!ff::util.av_opt_find(source, name.c_str(), nullptr, flags, 0))
            continue;
        uint8_t* text = nullptr;
        if (ff::util.av_opt_get(source, name.c_str(), 0, &text) < 0 || !text)
            continue;
        const ff::AvBufferPtr<uint8_t> owned(text);
        ff::util.av_opt_set(target, name.c_str(), reinterpret_cast<const char*>(text), 0);
    }
}

// --- Direct setters ---

std::string TCustomTranscoder::PgmyuvRule(const std::string& formatName) {
    if (formatName != "pgmyuv")
        return formatName;
    s_.PgmyuvCompatibility = true;
    Log(kLevelInfo, "pgmyuv format is deprecated, use image2");
    return "image2";
}

void TCustomTranscoder::SetInputFormat(const std::string& name) {
    const std::string format = PgmyuvRule(name);
    const AVInputFormat* f = ff::format.av_find_input_format(format.c_str());
    if (!f)
        throw ETranscodeError(StrFormat("Unknown input format: %s", format.c_str()));
    s_.InputFormat = f;
}

void TCustomTranscoder::SetOutputFormat(const std::string& name) {
    const std::string format = PgmyuvRule(name);
    const AVOutputFormat* f = ff::format.av_guess_format(format.c_str(), nullptr, nullptr);
    if (!f)
        throw ETranscodeError(StrFormat("Unknown output format: %s", format.c_str()));
    s_.OutputFormat = f;
}

void TCustomTranscoder::SetStartTime(int64_t us) {
    if (us > 0)
        s_.StartTime = us;
}

void TCustomTranscoder::SetProgramId(int id) {
    if (id >= 0)
        s_.ProgramId = id;
}

void TCustomTranscoder::SetVolume(int volume) {
    if (volume >= 0)
        s_.AudioVolume = volume;
}

void TCustomTranscoder::SetAudioSyncMethod(int method) {
    s_.AudioSyncMethod = method;
}

void TCustomTranscoder::SetVideoSyncMethod(int method) {
    s_.VideoSyncMethod = method;
}

void TCustomTranscoder::SetMuxMaxDelay(float seconds) {
    if (seconds > 0)
        s_.MuxMaxDelay = seconds;
}

void TCustomTranscoder::SetMuxPreload(float seconds) {
    if (seconds > 0)
        s_.MuxPreload = seconds;
}

void TCustomTranscoder::SetTitle(const std::string& s) {
    if (!s.empty())
        s_.Title = s;
}

void TCustomTranscoder::SetAuthor(const std::string& s) {
    if (!s.empty())
        s_.Author = s;
}

void TCustomTranscoder::SetCopyright(const std::string& s) {
    if (!s.empty())
        s_.Copyright = s;
}

void TCustomTranscoder::SetComment(const std::string& s) {
    if (!s.empty())
        s_.Comment = s;
}

void TCustomTranscoder::SetGenre(const std::string& s) {
    if (!s.empty())
        s_.Genre = s;
}

void TCustomTranscoder::SetAlbum(const std::string& s) {
    if (!s.empty())
        s_.Album = s;
}

void TCustomTranscoder::SetYear(int year) {
    if (year > 0)
        s_.Year = year;
}

void TCustomTranscoder::SetTrack(int track) {
    if (track > 0)
        s_.Track = track;
}

// The threshold is process-wide: it applies to every job's library log lines.
void TCustomTranscoder::SetVerbosity(int level) {
    s_.Verbosity = level;
    if (binding::AllLoaded())
        ff::util.av_log_set_level(level);
    binding::SetCachedLogLevel(level);
}

} // namespace corvina::engine
