// A few catalogue entries, each with a different muxer and encoder pairing, for tests that
// run every one of them several times (so the whole catalogue would cost too much).
#pragma once

#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

namespace corvina::test {

struct CatalogueSample {
    std::string_view Name;  // for test names
    std::string_view Entry; // the output format list's text
};

inline constexpr std::array<CatalogueSample, 7> kCatalogueSamples = {{
    {"ThreeGp", "3GP - Mobile Video Format (*.3gp)"}, // 3gp muxer, AMR-NB audio
    {"Mp4", "MP4 - MPEG4 Video (*.mp4)"},             // index written last
    {"AviXvid", "AVI - XviD Video (*.avi)"},          // header rewritten at the end
    {"Flv", "FLV - Flash Flv Video (*.flv)"},
    {"Wmv", "WMV - Windows Media Video (*.wmv)"},
    {"Mpeg2", "MPEG-2 Movie (*.mpg)"},          // program stream, no trailer to speak of
    {"Mp3", "MP3 - Mpeg Layer3 Audio (*.mp3)"}, // audio only
}};

// A seed of its own for each sample, the same on every platform (FNV-1a of the name), so
// that a failing run of random stop points can be replayed.
inline std::uint32_t SeedOf(std::string_view name) {
    std::uint32_t h = 2166136261u;
    for (char c : name)
        h = (h ^ static_cast<unsigned char>(c)) * 16777619u;
    return h;
}

// gtest names a parameter by this instead of its bytes.
inline void PrintTo(const CatalogueSample& sample, std::ostream* os) {
    *os << sample.Name;
}

// Names each parameterised case after its sample.
inline std::string SampleCaseName(const ::testing::TestParamInfo<CatalogueSample>& info) {
    return std::string(info.param.Name);
}

} // namespace corvina::test
