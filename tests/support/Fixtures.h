// The generated test media (tools/make_fixtures.cpp writes them into $CORVINA_FIXTURES):
// one row per file, as the libraries report it when read back.
#pragma once

#include <array>
#include <string_view>

namespace corvina::test {

enum FixtureFlags : unsigned {
    kOpensCleanly = 1u << 0, // opens, and every packet decodes without error
    kTruncated = 1u << 1,    // opens (index intact) but its data ends early
    kGarbage = 1u << 2,      // not a media file at all: must not open
};

struct FixtureSpec {
    std::string_view name;
    std::string_view container;     // muxer short name it was written with ("mov", "ipod", "rm")
    std::string_view demuxer;       // demuxer name reported when read back
    std::string_view videoCodec;    // empty: no video stream
    std::string_view audioCodec;    // empty: no audio stream
    std::string_view subtitleCodec; // empty: no subtitle stream
    int width, height;
    int fpsNum, fpsDen;
    int sampleRate, channels;
    int durationMs; // nominal duration
    unsigned flags;
    int turn = 0; // degrees clockwise players turn the stored picture (its display matrix)

    bool Has(FixtureFlags f) const { return (flags & f) != 0; }
    double fps() const { return fpsDen ? static_cast<double>(fpsNum) / fpsDen : 0.0; }
    double seconds() const { return durationMs / 1000.0; }
};

inline constexpr std::string_view kIsoDemuxer = "mov,mp4,m4a,3gp,3g2,mj2";

// clang-format off
inline constexpr std::array<FixtureSpec, 12> kFixtures = {{
    // name                                container demuxer      video      audio  subtitle    w    h  fps          rate ch  ms    flags
    {"h264_aac_640x480_25.mov",           "mov",  kIsoDemuxer, "h264",  "aac", "",         640, 480, 25, 1,       44100, 2, 3000, kOpensCleanly},
    {"mpeg4_aac_854x480_30000_1001.mp4",  "mp4",  kIsoDemuxer, "mpeg4", "aac", "",         854, 480, 30000, 1001, 48000, 2, 3000, kOpensCleanly},
    {"h264_aac_640x480_24000_1001.m4v",   "ipod", kIsoDemuxer, "h264",  "aac", "",         640, 480, 24000, 1001, 44100, 2, 3000, kOpensCleanly},
    {"aac_44100_stereo.m4a",              "ipod", kIsoDemuxer, "",      "aac", "",           0,   0, 0, 1,        44100, 2, 3000, kOpensCleanly},
    {"h264_aac_mono_176x144_15.mov",      "mov",  kIsoDemuxer, "h264",  "aac", "",         176, 144, 15, 1,       22050, 1, 2000, kOpensCleanly},
    {"h264_aac_mov_text.mov",             "mov",  kIsoDemuxer, "h264",  "aac", "mov_text", 640, 480, 25, 1,       44100, 2, 3000, kOpensCleanly},
    {"rv20_ac3.rmvb",                     "rm",   "rm",        "rv20",  "ac3", "",         352, 288, 25, 1,       44100, 2, 3000, kOpensCleanly},
    {"truncated.mov",                     "mov",  kIsoDemuxer, "h264",  "aac", "",         640, 480, 25, 1,       44100, 2, 3000, kTruncated},
    {"portrait_turn90.mov",               "mov",  kIsoDemuxer, "h264",  "aac", "",         320, 176, 25, 1,       44100, 2, 2000, kOpensCleanly, 90},
    {"portrait_turn270.mov",              "mov",  kIsoDemuxer, "h264",  "aac", "",         320, 176, 25, 1,       44100, 2, 2000, kOpensCleanly, 270},
    {"upside_down_turn180.mov",           "mov",  kIsoDemuxer, "h264",  "aac", "",         320, 176, 25, 1,       44100, 2, 2000, kOpensCleanly, 180},
    {"garbage.mov",                       "",     "",          "",      "",    "",           0,   0, 0, 1,            0, 0,    0, kGarbage},
}};

// Written only with --bench.
inline constexpr FixtureSpec kBenchFixture =
    {"bench_720p_20s.mov",                "mov",  kIsoDemuxer, "h264",  "aac", "",        1280, 720, 25, 1,       44100, 2, 20000, kOpensCleanly};
// clang-format on

// Subtitle events in h264_aac_mov_text.mov, and where the last one ends.
inline constexpr int kMovTextEvents = 3;
inline constexpr int kMovTextEndMs = 2800;
// truncated.mov keeps this share of the full file's bytes.
inline constexpr double kTruncatedFraction = 0.4;

// The row of a fixture, or nullptr.
constexpr const FixtureSpec* FindFixture(std::string_view name) {
    for (const FixtureSpec& f : kFixtures)
        if (f.name == name)
            return &f;
    return name == kBenchFixture.name ? &kBenchFixture : nullptr;
}

} // namespace corvina::test
