#include "profiles/ProfileTables.h"

#include <initializer_list>
#include <stdexcept>

namespace corvina::profiles {

namespace {

template <std::size_t N>
constexpr BoxFill From(const std::array<std::string_view, N>& list, std::string_view def) {
    return BoxFill{BoxAction::Filled, std::span<const std::string_view>(list), {}, 0, def};
}

constexpr BoxFill List(std::initializer_list<std::string_view> items, std::string_view def) {
    if (items.size() > kMaxOwnItems)
        throw std::length_error("too many items for one box"); // fails the build
    BoxFill fill{BoxAction::Filled, {}, {}, items.size(), def};
    std::size_t i = 0;
    for (std::string_view item : items)
        fill.Own[i++] = item;
    return fill;
}

constexpr BoxFill Only(std::string_view item) {
    return List({item}, item);
}

constexpr BoxFill kEmptied{BoxAction::Emptied};

constexpr std::string_view kStereo = "Stereo", kMono = "Mono", kOriginal = "Original";
constexpr std::string_view kKeep = ""; // channel or aspect selection left alone

constexpr BoxFill kSizesGeneralOriginal = From(kSizesGeneral, "Original Video Size");
constexpr BoxFill kSizesGeneralVga = From(kSizesGeneral, "320 x 240 (VGA)");
constexpr BoxFill kFrameAuto = From(kFrameRatesGeneral, "Auto");
constexpr BoxFill kAudio128 = From(kAudioRatesGeneral, "128 Kbps");

// The video bitrate preselected for ASF is "1200 Kbps", the value its Normal quality level
// picks; the step writes ASF without video anyway, so it never reaches an output.
constexpr ProfileFill kFills[] = {
    // Container and codec formats
    {0, List({"MPEG4", "H263", "H264"}, "MPEG4"), List({"amr_nb", "mpeg4aac"}, "amr_nb"),
     List({"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "128 Kbps"),
     From(kSizesMobile, "176 x 144 (QCIF)"),
     List({"Auto", "11 fps", "14.985 fps", "15 fps"}, "Auto"), From(kAudioRatesAmr, "7400 bps"),
     List({"8000  bps", "16000 bps"}, "8000  bps"), kMono, kKeep},
    {1, List({"MPEG4", "H263", "H264"}, "MPEG4"), List({"amr_nb", "mpeg4aac"}, "amr_nb"),
     List({"48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "128 Kbps"),
     From(kSizesMobile, "176 x 144 (QCIF)"),
     List({"Auto", "11 fps", "14.985 fps", "15 fps"}, "Auto"), From(kAudioRatesAmr, "7400 bps"),
     List({"8000  bps", "16000 bps"}, "8000  bps"), kMono, kKeep},
    {38, Only("MSMPEG4"), Only("mp3"),
     List({"512 Kbps", "768 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"},
          "1200 Kbps"),
     kSizesGeneralOriginal, kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"), kStereo,
     kOriginal},
    {22, List({"MPEG4", "H264"}, "MPEG4"), List({"pcm_s16le", "mp3", "mp2", "ac3"}, "pcm_s16le"),
     From(kVideoRatesAvi, "1200 Kbps"), kSizesGeneralOriginal, kFrameAuto, kAudio128,
     From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {23, Only("MPEG4"), Only("mp3"), From(kVideoRatesAvi, "1200 Kbps"), kSizesGeneralOriginal,
     kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {24, Only("XVID"), Only("mp3"), From(kVideoRatesAvi, "1200 Kbps"), kSizesGeneralOriginal,
     kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {33, Only("FLV"), Only("mp3"),
     List({"1200 Kbps", "512 Kbps", "368 Kbps", "200 Kbps", "120 Kbps"}, "368 Kbps"),
     From(kSizesFlash, "Original Video Size"), From(kFrameRatesFlash, "15.0 fps"),
     From(kAudioRatesGeneral, "96 Kbps"), List({"11025 Hz", "22050 Hz", "44100 Hz"}, "44100 Hz"),
     kKeep, kKeep},
    {26, Only("MPEG4"), Only("mpeg4aac"), From(kVideoRatesGeneral, "1200 Kbps"),
     kSizesGeneralOriginal, kFrameAuto, kAudio128, From(kSampleRatesGeneral, "44100 Hz"), kStereo,
     kOriginal},
    {27, List({"MPEG4", "H264", "XVid"}, "MPEG4"), Only("mpeg4aac"),
     From(kVideoRatesGeneral, "1200 Kbps"), kSizesGeneralOriginal, kFrameAuto, kAudio128,
     From(kSampleRatesGeneral, "44100 Hz"), kStereo, kOriginal},
    {28, Only("MPEG1VIDEO"), Only("mp2"), From(kVideoRatesGeneral, "1600 Kbps"), kSizesGeneralVga,
     From(kFrameRatesGeneral, "25.0 fps"), From(kAudioRatesGeneral, "192 Kbps"),
     From(kSampleRatesGeneral, "44100 Hz"), kStereo, kOriginal},
    {29, Only("MPEG2VIDEO"), List({"mp2", "ac3"}, "mp2"), From(kVideoRatesGeneral, "2000 Kbps"),
     kSizesGeneralVga, From(kFrameRatesGeneral, "25.0 fps"), From(kAudioRatesGeneral, "192 Kbps"),
     From(kSampleRatesGeneral, "44100 Hz"), kStereo, kOriginal},
    {30, List({"RV10", "RV20"}, "RV10"), Only("ac3"),
     List({"384  Kbps", "400  Kbps", "600  Kbps", "1200 Kbps", "1800 Kbps", "2200 Kbps",
           "2600 Kbps", "3000 Kbps"},
          "384  Kbps"),
     kSizesGeneralVga, kFrameAuto, kAudio128, From(kSampleRatesSpaced, "48000 Hz"), kStereo,
     kOriginal},
    {32, Only("FLV"), Only("mp3"),
     List({"800 Kbps", "400 Kbps", "200 Kbps", "128 Kbps", "100 Kbps"}, "200 Kbps"),
     From(kSizesFlash, "Original Video Size"), From(kFrameRatesFlash, "15.0 fps"),
     From(kAudioRatesGeneral, "96 Kbps"), List({"11025 Hz", "22050 Hz", "44100 Hz"}, "44100 Hz"),
     kStereo, kOriginal},
    {35, Only("MPEG2VIDEO"), Only("mp2"), Only("2040 Kbps"), From(kSizesDisc, "480 x 480"),
     From(kFrameRatesDisc, "29.97 fps [NTSC]"), From(kAudioRatesGeneral, "224 Kbps"),
     Only("44100 Hz"), kKeep, kKeep},
    {34, Only("MPEG1VIDEO"), Only("mp2"), Only("1150 Kbps"), From(kSizesDisc, "352 x 240"),
     From(kFrameRatesDisc, "29.97 fps [NTSC]"), From(kAudioRatesGeneral, "224 Kbps"),
     Only("44100 Hz"), kKeep, kKeep},
    {31, Only("WMV2"), Only("wmav2"), From(kVideoRatesGeneral, "1200 Kbps"), kSizesGeneralVga,
     kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    // Audio formats
    {37, kEmptied, Only("aac"), kEmptied, kEmptied, kEmptied, kAudio128,
     From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {40, kEmptied, Only("mpeg4aac"), kEmptied, kEmptied, kEmptied, kAudio128,
     From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {41, kEmptied, Only("mp3"), kEmptied, kEmptied, kEmptied, From(kAudioRatesGeneral, "192 Kbps"),
     From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {42, kEmptied, Only("vorbis"), kEmptied, kEmptied, kEmptied,
     From(kAudioRatesGeneral, "160 Kbps"), From(kSampleRatesGeneral, "48000 Hz"), kStereo,
     kOriginal},
    {43, kEmptied, Only("ac3"), kEmptied, kEmptied, kEmptied, kAudio128,
     From(kSampleRatesSpaced, "48000 Hz"), kStereo, kOriginal},
    {44, kEmptied, Only("pcm_s16le"), kEmptied, kEmptied, kEmptied, kAudio128,
     From(kSampleRatesSpaced, "44100 Hz"), kStereo, kOriginal},
    {45, kEmptied, Only("wmav2"), kEmptied, kEmptied, kEmptied, kAudio128,
     From(kSampleRatesSpaced, "48000 Hz"), kStereo, kOriginal},
    // Apple devices
    {18, Only("MPEG4"), Only("mpeg4aac"), From(kVideoRatesApple, "1200 Kbps"), Only("480 x 320"),
     kFrameAuto, From(kAudioRatesGeneral, "80 Kbps"), From(kSampleRatesGeneral, "44100 Hz"),
     kStereo, kOriginal},
    {3, List({"MPEG4", "H264"}, "MPEG4"), Only("mpeg4aac"), From(kVideoRatesApple, "512 Kbps"),
     Only("320 x 240"), kFrameAuto, From(kAudioRatesGeneral, "64 Kbps"),
     From(kSampleRatesGeneral, "44100 Hz"), kKeep, kKeep},
    {13, Only("MPEG4"), Only("mpeg4aac"), From(kVideoRatesApple, "1200 Kbps"), Only("480 x 320"),
     kFrameAuto, From(kAudioRatesGeneral, "80 Kbps"), From(kSampleRatesGeneral, "44100 Hz"), kKeep,
     kKeep},
    {10, Only("MPEG4"), Only("mpeg4aac"), From(kVideoRatesApple, "1500 Kbps"), Only("640 x 480"),
     kFrameAuto, kAudio128, From(kSampleRatesGeneral, "44100 Hz"), kStereo, kOriginal},
    // Portable players and phones
    {63, Only("MPEG4"), List({"mp3", "mp2"}, "mp3"), From(kVideoRatesPlayer, "1500 Kbps"),
     From(kSizesPlayer, "480 x 272"), kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"),
     kKeep, kKeep},
    {64, Only("MPEG4"), List({"mp3", "mp2"}, "mp3"), From(kVideoRatesPlayer, "2000 Kbps"),
     From(kSizesPlayer, "720 x 480"), kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"),
     kKeep, kKeep},
    {67, Only("MPEG4"), Only("mpeg4aac"),
     List({"80 Kbps", "128 Kbps", "200 Kbps", "256 Kbps", "300 Kbps", "512 Kbps"}, "300 Kbps"),
     List({"176 x 144", "240 x 180", "320 x 240"}, "320 x 240"),
     List({"11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}, "24 fps"),
     List({"40 Kbps", "48 Kbps", "64 Kbps", "80 Kbps", "96 Kbps", "112 Kbps"}, "80 Kbps"),
     From(kSampleRatesGeneral, "44100 Hz"), kKeep, kKeep},
    {68, Only("H263"), List({"mp3", "pcm_s16le"}, "mp3"),
     List({"80 Kbps", "120 Kbps", "200 Kbps", "256 Kbps", "300 Kbps", "512 Kbps"}, "300 Kbps"),
     Only("176 x 144"), List({"11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}, "24 fps"),
     From(kAudioRatesGeneral, "64 Kbps"), From(kSampleRatesGeneral, "44100 Hz"), kKeep, kKeep},
    {69, List({"MPEG4", "H263"}, "MPEG4"), List({"amr_nb", "mpeg4aac"}, "amr_nb"),
     List({"40 Kbps", "80 Kbps", "120 Kbps", "128 Kbps", "256 Kbps", "512 Kbps"}, "128 Kbps"),
     List({"176 x 144", "240 x 180", "320 x 240"}, "176 x 144"),
     List({"Auto", "11 fps", "15 fps", "20 fps", "24 fps", "25 fps"}, "15 fps"),
     From(kAudioRatesAmr, "4750 bps"), List({"8000  Hz", "16000 Hz"}, "8000  Hz"), kKeep, kKeep},
    {65, Only("MPEG4"), List({"mp3", "mp2"}, "mp3"), From(kVideoRatesPlayer, "1500 Kbps"),
     From(kSizesPlayer, "640 x 480"), kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"),
     kKeep, kKeep},
    {66, Only("MPEG4"), List({"mp3", "mp2"}, "mp3"), From(kVideoRatesPlayer, "1500 Kbps"),
     From(kSizesPlayer, "640 x 480"), kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"),
     kKeep, kKeep},
    // Consoles, PSP and Zune
    {53, List({"MPEG4", "H264", "XVID"}, "MPEG4"), Only("mpeg4aac"),
     List({"128 Kbps", "216 Kbps", "384 Kbps", "512 Kbps", "768 Kbps"}, "768 Kbps"),
     List({"160 x 112", "320 x 240", "368 x 208", "480 x 272"}, "368 x 208"),
     List({"14.985 fps", "29.97 fps"}, "29.97 fps"),
     List({"32 Kbps", "48 Kbps", "64 Kbps", "96 Kbps", "128 Kbps", "160 Kbps"}, "64 Kbps"),
     Only("24000 Hz"), kStereo, kOriginal},
    {58, Only("H264"), Only("mpeg4aac"),
     List({"1200 Kbps", "1500 Kbps", "2000 Kbps", "2500 Kbps", "3000 Kbps"}, "1200 Kbps"),
     List({"640 x 480", "720 x 480", "720 x 576"}, "720 x 480"), Only("29.97 fps"),
     From(kAudioRatesGeneral, "96 Kbps"), From(kSampleRatesSpaced, "44100 Hz"), kStereo, kOriginal},
    {71, List({"MPEG4", "H264", "XVid"}, "MPEG4"), Only("mpeg4aac"),
     From(kVideoRatesGeneral, "1200 Kbps"), kSizesGeneralOriginal, kFrameAuto, kAudio128,
     From(kSampleRatesGeneral, "44100 Hz"), kStereo, kOriginal},
    {72, Only("WMV2"), Only("wmav2"), From(kVideoRatesGeneral, "1200 Kbps"), kSizesGeneralVga,
     kFrameAuto, kAudio128, From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {73, List({"MPEG4", "H264"}, "MPEG4"), List({"pcm_s16le", "mp3", "mp2", "ac3"}, "pcm_s16le"),
     From(kVideoRatesAvi, "1200 Kbps"), kSizesGeneralOriginal, kFrameAuto, kAudio128,
     From(kSampleRatesGeneral, "48000 Hz"), kStereo, kOriginal},
    {74, Only("MPEG2VIDEO"), List({"mp2", "ac3"}, "mp2"), From(kVideoRatesGeneral, "2000 Kbps"),
     kSizesGeneralVga, From(kFrameRatesGeneral, "25.0 fps"), From(kAudioRatesGeneral, "192 Kbps"),
     From(kSampleRatesGeneral, "44100 Hz"), kStereo, kOriginal},
    {49, List({"MPEG4", "H264"}, "MPEG4"), Only("mpeg4aac"),
     List({"256 Kbps", "512 Kbps", "768 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps"}, "1500 Kbps"),
     List({"320 x 240 ", "640 x 480"}, "320 x 240 "), Only("29.97 fps"), kAudio128,
     From(kSampleRatesSpaced, "44100 Hz"), kStereo, kOriginal},
    {50, Only("WMV2"), Only("wmav2"),
     List({"256 Kbps", "512 Kbps", "768 Kbps", "1200 Kbps", "1500 Kbps", "2000 Kbps"}, "1200 Kbps"),
     List({"320 x 240 ", "640 x 480"}, "320 x 240 "), kFrameAuto, kAudio128,
     From(kSampleRatesSpaced, "48000 Hz"), kStereo, kOriginal},
};

void ApplyBox(ChoiceBox& box, const BoxFill& fill) {
    switch (fill.Action) {
    case BoxAction::Untouched:
        return;
    case BoxAction::Emptied:
        box.Clear();
        return;
    case BoxAction::Filled:
        box.SetItems(fill.Items());
        box.Select(box.IndexOf(fill.Default));
        return;
    }
}

} // namespace

std::span<const ProfileFill> ProfileFills() {
    return kFills;
}

const ProfileFill* FindProfileFill(int profileKind) {
    for (const ProfileFill& row : kFills)
        if (row.ProfileKind == profileKind)
            return &row;
    return nullptr;
}

void FillProfileChoices(MainWindowBoxes& boxes, int profileKind) {
    const ProfileFill* row = FindProfileFill(profileKind);
    if (row == nullptr)
        return;
    ApplyBox(boxes.ComboVideoCodec, row->VideoCodec);
    ApplyBox(boxes.ComboAudioCodec, row->AudioCodec);
    ApplyBox(boxes.ComboVideoBitrate, row->VideoBitrate);
    ApplyBox(boxes.ComboVideoSize, row->VideoSize);
    ApplyBox(boxes.ComboVideoFramerate, row->VideoFramerate);
    ApplyBox(boxes.ComboAudioBitrate, row->AudioBitrate);
    ApplyBox(boxes.ComboSamplingRate, row->SamplingRate);
    // The channel and aspect boxes keep their fixed items; only the selection moves.
    if (!row->Channels.empty())
        boxes.ComboAudioChannels.SelectText(row->Channels);
    if (!row->Aspect.empty())
        boxes.ComboAspectRatio.SelectText(row->Aspect);
}

} // namespace corvina::profiles
