#include "app/core/JobText.h"

#include <cstdio>
#include <cstdlib>
#include <variant>

namespace corvina::app {

namespace {

// One record field: its name and a pointer to member of one of the record's types.
template <typename Record>
using FieldPtr = std::variant<std::string Record::*, int Record::*, bool Record::*, float Record::*,
                              double Record::*, std::uint32_t Record::*>;

template <typename Record> struct Field {
    const char* Name;
    FieldPtr<Record> Ptr;
};

using In = hosting::TInputOptions;
using Out = hosting::TOutputOptions;

// Record order, one row per field.
const Field<In> kInputFields[] = {
    {"FileName", &In::FileName},   {"FileFormat", &In::FileFormat}, {"StartTime", &In::StartTime},
    {"ProgramID", &In::ProgramID}, {"ExtOptions", &In::ExtOptions},
};

const Field<Out> kOutputFields[] = {
    {"FileName", &Out::FileName},
    {"Reserved", &Out::Reserved},
    {"FileFormat", &Out::FileFormat},
    {"PacketSize", &Out::PacketSize},
    {"MuxRate", &Out::MuxRate},
    {"MuxDelay", &Out::MuxDelay},
    {"MuxPreload", &Out::MuxPreload},
    {"AudioCodec", &Out::AudioCodec},
    {"DisableAudio", &Out::DisableAudio},
    {"AudioVolume", &Out::AudioVolume},
    {"AudioChannels", &Out::AudioChannels},
    {"AudioSampleRate", &Out::AudioSampleRate},
    {"AudioBitrate", &Out::AudioBitrate},
    {"AudioBitrateTolerance", &Out::AudioBitrateTolerance},
    {"AudioLanguage", &Out::AudioLanguage},
    {"AudioSyncMethod", &Out::AudioSyncMethod},
    {"AudioTag", &Out::AudioTag},
    {"VideoCodec", &Out::VideoCodec},
    {"DisableVideo", &Out::DisableVideo},
    {"FrameRate", &Out::FrameRate},
    {"FrameSize", &Out::FrameSize},
    {"AspectRatio", &Out::AspectRatio},
    {"CropTop", &Out::CropTop},
    {"CropBottom", &Out::CropBottom},
    {"CropLeft", &Out::CropLeft},
    {"CropRight", &Out::CropRight},
    {"PadTop", &Out::PadTop},
    {"PadBottom", &Out::PadBottom},
    {"PadLeft", &Out::PadLeft},
    {"PadRight", &Out::PadRight},
    {"PadColor", &Out::PadColor},
    {"GOPSize", &Out::GOPSize},
    {"VideoBitrate", &Out::VideoBitrate},
    {"MaxRate", &Out::MaxRate},
    {"MinRate", &Out::MinRate},
    {"BitrateTolerance", &Out::BitrateTolerance},
    {"BufferSize", &Out::BufferSize},
    {"VideoSyncMethod", &Out::VideoSyncMethod},
    {"VideoTag", &Out::VideoTag},
    {"DisableSubtitle", &Out::DisableSubtitle},
    {"SubtitleLanguage", &Out::SubtitleLanguage},
    {"CopyTimestamps", &Out::CopyTimestamps},
    {"RecordingTime", &Out::RecordingTime},
    {"Timestamp", &Out::Timestamp},
    {"Year", &Out::Year},
    {"Track", &Out::Track},
    {"Title", &Out::Title},
    {"Author", &Out::Author},
    {"Copyright", &Out::Copyright},
    {"Comment", &Out::Comment},
    {"Album", &Out::Album},
    {"Genre", &Out::Genre},
    {"Target", &Out::Target},
    {"TargetNorm", &Out::TargetNorm},
    {"DefaultNorm", &Out::DefaultNorm},
    {"CustomHook", &Out::CustomHook},
    {"BeforeHook", &Out::BeforeHook},
    {"HookRanges", &Out::HookRanges},
    {"ExtOptions", &Out::ExtOptions},
};

std::string ValueText(const std::string& v) {
    return v;
}
std::string ValueText(int v) {
    return std::to_string(v);
}
std::string ValueText(std::uint32_t v) {
    return std::to_string(v);
}
std::string ValueText(bool v) {
    return v ? "true" : "false";
}
std::string ValueText(float v) {
    return ShortestFloatText(v, true);
}
std::string ValueText(double v) {
    return ShortestFloatText(v, false);
}

template <typename Record, size_t N>
std::vector<std::string> Changed(const Record& record, const Field<Record> (&fields)[N],
                                 const char* prefix) {
    const Record reset{};
    std::vector<std::string> lines;
    for (const Field<Record>& f : fields)
        std::visit(
            [&](auto member) {
                if (!(record.*member == reset.*member))
                    lines.push_back(std::string(prefix) + f.Name + "=" + ValueText(record.*member));
            },
            f.Ptr);
    return lines;
}

} // namespace

std::string ShortestFloatText(double value, bool singlePrecision) {
    char buf[64];
    for (int precision = 1; precision <= 17; precision++) {
        std::snprintf(buf, sizeof buf, "%.*g", precision, value);
        const double back = std::strtod(buf, nullptr);
        if (singlePrecision ? static_cast<float>(back) == static_cast<float>(value) : back == value)
            break;
    }
    return buf;
}

std::vector<std::string> ChangedInputFields(const hosting::TInputOptions& options) {
    return Changed(options, kInputFields, "input.");
}

std::vector<std::string> ChangedOutputFields(const hosting::TOutputOptions& options) {
    return Changed(options, kOutputFields, "output.");
}

} // namespace corvina::app
