#include "profiles/EngineSteps.h"

#include <algorithm>
#include <charconv>
#include <cstdint>
#include <span>

namespace corvina::profiles {

namespace {

struct NameMap {
    std::string_view from; // lower case
    std::string_view to;
};

constexpr NameMap kCommonVideoCodecs[] = {
    {"mpeg4", "mpeg4"}, {"h264", "libx264"},   {"xvid", "libxvid"},
    {"wmv2x", "wmv2"},  {"mpeg4_qt", "mpeg4"},
};

constexpr NameMap kDeviceVideoCodecs[] = {
    {"mpeg4", "mpeg4"},
    {"h264", "libx264"},
    {"xvid", "libxvid"},
};

// Tested in this order. The legacy encoder names stay as they are: the engine resolves them.
constexpr NameMap kCommonAudioCodecs[] = {
    {"aac", "libfaac"},         {"ac3", "ac3"},
    {"flac", "flac"},           {"asf", "mp3"},
    {"mp3", "libmp3lame"},      {"m4a", "mpeg4aac"},
    {"mpeg4aac", "libfaac"},    {"ra", "ac3"},
    {"wma7x", "wmav2"},         {"wav", "pcm_s16le"},
    {"mpeg4aac_qt", "libfaac"}, {"amr_nb", "libamr_nb"},
};

constexpr std::string_view kVideoDroppingExtensions[] = {
    "aac", "ac3", "au", "mp2", "mp3", "wav", "wma", "ra", "m4a", "asf", "amr",
};

// Size items that stand for the source's own size, so no frame size is set. "Auto" of the
// portable players' list is taken to mean the same as "Original Video Size": it has no
// width and height, and passing the word on would fail the output.
constexpr std::string_view kSourceSizeItems[] = {"Original Video Size", "Auto"};

constexpr std::string_view kMobileAudioEncoder = "libamr_nb";
constexpr std::string_view kAppleAudioEncoder = "libfaac";

std::string Lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = static_cast<char>(c - 'A' + 'a');
    return out;
}

std::string MapName(std::span<const NameMap> table, std::string_view item) {
    std::string name = Lower(item);
    for (const NameMap& row : table)
        if (row.from == name)
            return std::string(row.to);
    return name;
}

bool Contains(std::span<const std::string_view> list, std::string_view text) {
    return std::find(list.begin(), list.end(), text) != list.end();
}

// The frame size of a size item; the items that keep the source size set none.
void WriteFrameSize(const std::string& item, hosting::TOutputOptions& options) {
    if (!Contains(kSourceSizeItems, item))
        options.FrameSize = ParseFrameSize(item);
}

// The texts every step starts from.
struct BoxTexts {
    std::string vb, ab, sr, vs;
};

BoxTexts ReadTexts(const MainWindowBoxes& boxes) {
    return {boxes.ComboVideoBitrate.Text(), boxes.ComboAudioBitrate.Text(),
            boxes.ComboSamplingRate.Text(), boxes.ComboVideoSize.Text()};
}

// Kbps items to bits per second by appending "000"; an empty box gives "000", that is 0.
std::string KbpsToBits(const std::string& item) {
    return FirstToken(item) + "000";
}

// Bitrates and sampling rate, converted in this order so a failure leaves the earlier ones.
void WriteNumbers(const std::string& vb, const std::string& ab, const std::string& sr,
                  hosting::TOutputOptions& options) {
    options.VideoBitrate = StrToInt(vb);
    options.AudioBitrate = StrToInt(ab);
    options.AudioSampleRate = StrToInt(sr);
}

} // namespace

EInvalidInteger::EInvalidInteger(std::string_view text)
    : std::runtime_error("'" + std::string(text) + "' is not a valid integer value") {}

int StrToInt(std::string_view text) {
    std::string_view digits = text;
    bool negative = false;
    if (!digits.empty() && (digits.front() == '-' || digits.front() == '+')) {
        negative = digits.front() == '-';
        digits.remove_prefix(1);
    }
    if (digits.empty() ||
        !std::all_of(digits.begin(), digits.end(), [](char c) { return c >= '0' && c <= '9'; }))
        throw EInvalidInteger(text);
    std::int64_t value = 0;
    for (char c : digits) {
        value = value * 10 + (c - '0');
        if (value > std::int64_t{INT32_MAX} + 1)
            throw EInvalidInteger(text);
    }
    if (negative)
        value = -value;
    if (value > INT32_MAX || value < INT32_MIN)
        throw EInvalidInteger(text);
    return static_cast<int>(value);
}

std::string FirstToken(std::string_view text) {
    std::size_t blank = text.find(' ');
    return blank == std::string_view::npos ? std::string{} : std::string(text.substr(0, blank));
}

std::string ParseFrameSize(std::string_view text) {
    text = text.substr(0, text.find('('));
    std::string size;
    for (char c : text)
        if (c != ' ')
            size += c;
    return size;
}

std::string ParseFrameRate(std::string_view text) {
    std::string_view trimmed = text;
    auto isSpace = [](char c) { return static_cast<unsigned char>(c) <= ' '; };
    while (!trimmed.empty() && isSpace(trimmed.front()))
        trimmed.remove_prefix(1);
    while (!trimmed.empty() && isSpace(trimmed.back()))
        trimmed.remove_suffix(1);
    // "Auto" stands for a fixed 25 frames per second, whatever the source's rate.
    if (Lower(trimmed) == "auto")
        return "25";
    return FirstToken(text);
}

std::string CommonVideoEncoder(std::string_view item) {
    return MapName(kCommonVideoCodecs, item);
}

std::string DeviceVideoEncoder(std::string_view item) {
    return MapName(kDeviceVideoCodecs, item);
}

std::string CommonAudioEncoder(std::string_view item) {
    return MapName(kCommonAudioCodecs, item);
}

bool ExtensionDropsVideo(std::string_view extension) {
    return Contains(kVideoDroppingExtensions, Lower(extension));
}

void ApplyCommonOptions(const MainWindowBoxes& boxes, hosting::TOutputOptions& options) {
    const BoxTexts t = ReadTexts(boxes);
    const std::string vb = KbpsToBits(t.vb);
    // Items in "bps" (the AMR rates) are already bits per second.
    const std::string ab =
        t.ab.find("Kbps") != std::string::npos ? KbpsToBits(t.ab) : FirstToken(t.ab);
    const std::string sr = FirstToken(t.sr);

    options.VideoCodec = CommonVideoEncoder(boxes.ComboVideoCodec.Text());
    options.AudioCodec = CommonAudioEncoder(boxes.ComboAudioCodec.Text());
    WriteFrameSize(t.vs, options);
    options.AudioChannels = boxes.ComboAudioChannels.Text() == "Stereo" ? 2 : 1;
    // The mobile containers take mono only.
    if (boxes.OutputExtension == "3GP" || boxes.OutputExtension == "3G2")
        options.AudioChannels = 1;
    if (ExtensionDropsVideo(boxes.OutputExtension))
        options.DisableVideo = true;
    WriteNumbers(vb, ab, sr, options);
}

void ApplyMobileAmrOptions(const MainWindowBoxes& boxes, hosting::TOutputOptions& options) {
    const BoxTexts t = ReadTexts(boxes);
    const std::string vb = KbpsToBits(t.vb);
    const std::string ab = FirstToken(t.ab); // the AMR items are in bits per second
    const std::string sr = FirstToken(t.sr);

    options.VideoCodec = DeviceVideoEncoder(boxes.ComboVideoCodec.Text());
    options.AudioCodec = std::string(kMobileAudioEncoder);
    WriteFrameSize(t.vs, options);
    WriteNumbers(vb, ab, sr, options);
    options.AudioChannels = 1;
}

void ApplyAppleOptions(const MainWindowBoxes& boxes, hosting::TOutputOptions& options) {
    const BoxTexts t = ReadTexts(boxes);
    const std::string vb = KbpsToBits(t.vb);
    const std::string ab = KbpsToBits(t.ab);
    const std::string sr = FirstToken(t.sr);

    options.VideoCodec = DeviceVideoEncoder(boxes.ComboVideoCodec.Text());
    options.AudioCodec = std::string(kAppleAudioEncoder);
    WriteFrameSize(t.vs, options);
    WriteNumbers(vb, ab, sr, options);
    // The channel count is left to the source.
}

} // namespace corvina::profiles
