// `--raw` conversions into every pairing of container, video and audio encoder that the
// catalogue relies on, read back with the libraries.
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cmath>
#include <cstdlib>

namespace corvina {
namespace {

struct Pairing {
    const char* Name;
    const char* Input;
    const char* Extension;
    const char* Options;
    const char* Video; // codec read back, empty for none
    int Width, Height;
    double Fps;
    const char* Audio;
    int SampleRate, Channels;
};

constexpr const char* kClip = "h264_aac_640x480_25.mov";

// One row per pairing.
const Pairing kPairings[] = {
    {"3gp_mpeg4_amrnb", kClip, "3gp",
     "vcodec=mpeg4\ns=176x144\nacodec=libamr_nb\nar=8000\nac=1\nab=12200", "mpeg4", 176, 144, 25,
     "amr_nb", 8000, 1},
    {"avi_mpeg4_pcm", kClip, "avi", "vcodec=mpeg4\nacodec=pcm_s16le", "mpeg4", 640, 480, 25,
     "pcm_s16le", 44100, 2},
    {"avi_xvid_mp3", kClip, "avi", "vcodec=libxvid\nacodec=libmp3lame", "mpeg4", 640, 480, 25,
     "mp3", 44100, 2},
    {"avi_h263_mp3", kClip, "avi", "vcodec=h263\ns=176x144\nacodec=libmp3lame", "h263", 176, 144,
     25, "mp3", 44100, 2},
    {"flv_flv_mp3", kClip, "flv", "vcodec=flv\nacodec=libmp3lame\nar=44100", "flv1", 640, 480, 25,
     "mp3", 44100, 2},
    {"mov_mpeg4_aac", kClip, "mov", "vcodec=mpeg4\nacodec=libfaac", "mpeg4", 640, 480, 25, "aac",
     44100, 2},
    {"mp4_mpeg4_aac", kClip, "mp4", "vcodec=mpeg4\nacodec=mpeg4aac", "mpeg4", 640, 480, 25, "aac",
     44100, 2},
    {"mpg_mpeg1_mp2", kClip, "mpg", "vcodec=mpeg1video\nacodec=mp2", "mpeg1video", 640, 480, 25,
     "mp2", 44100, 2},
    {"mpg_mpeg2_mp2", kClip, "mpg", "vcodec=mpeg2video\nacodec=mp2", "mpeg2video", 640, 480, 25,
     "mp2", 44100, 2},
    {"rm_rv10_ac3", kClip, "rm", "vcodec=rv10\nacodec=ac3", "rv10", 640, 480, 25, "ac3", 44100, 2},
    {"swf_flv_mp3", kClip, "swf", "vcodec=flv\nacodec=libmp3lame\nar=44100", "flv1", 640, 480, 25,
     "mp3", 44100, 2},
    {"wmv_wmv2_wmav2", kClip, "wmv", "vcodec=wmv2\nacodec=wmav2", "wmv2", 640, 480, 25, "wmav2",
     44100, 2},
    {"asf_msmpeg4_mp3", kClip, "asf", "vcodec=msmpeg4\nacodec=libmp3lame", "msmpeg4v3", 640, 480,
     25, "mp3", 44100, 2},
    {"aac_audio", kClip, "aac", "vn\nacodec=libfaac", "", 0, 0, 0, "aac", 44100, 2},
    {"m4a_audio", kClip, "m4a", "vn\nacodec=libfaac", "", 0, 0, 0, "aac", 44100, 2},
    {"mp3_audio", kClip, "mp3", "vn\nacodec=libmp3lame", "", 0, 0, 0, "mp3", 44100, 2},
    {"ogg_vorbis_audio", kClip, "ogg", "vn\nacodec=vorbis", "", 0, 0, 0, "vorbis", 44100, 2},
    {"ra_ac3_audio", kClip, "ra", "vn\nacodec=ac3", "", 0, 0, 0, "ac3", 44100, 2},
    {"wav_audio", kClip, "wav", "vn\nacodec=pcm_s16le", "", 0, 0, 0, "pcm_s16le", 44100, 2},
    {"wma_audio", kClip, "wma", "vn\nacodec=wmav2", "", 0, 0, 0, "wmav2", 44100, 2},
    {"mp4_x264_ntsc_aac", kClip, "mp4", "vcodec=libx264\ns=720x480\nr=29.97\nacodec=aac", "h264",
     720, 480, 29.97, "aac", 44100, 2},
};

class RawPairing : public ::testing::TestWithParam<Pairing> {};

TEST_P(RawPairing, ReadsBackAsAsked) {
    const Pairing& p = GetParam();
    test::TempDir dir;
    const std::string out = (dir / (std::string("out.") + p.Extension)).string();
    const std::string program = (test::BinDir() / "corvina-convert").string();
    // The front end's own process, as a user runs it.
    std::string command = "'" + program + "' --raw --log-level quiet --output-options '" +
                          p.Options + "' -i '" + test::Fixture(p.Input).string() + "' -o '" + out +
                          "' >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_EQ(WEXITSTATUS(status), 0) << command;

    const test::MediaInfo info = test::ReadBack(out);
    ASSERT_TRUE(info.opened) << info.error;
    EXPECT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    const test::StreamInfo* v = info.Video();
    const test::StreamInfo* a = info.Audio();
    if (*p.Video) {
        ASSERT_NE(v, nullptr) << test::Describe(info);
        EXPECT_EQ(v->codec, p.Video);
        EXPECT_EQ(v->width, p.Width);
        EXPECT_EQ(v->height, p.Height);
        if (v->avgFrameRate.known()) {
            EXPECT_NEAR(v->avgFrameRate.value(), p.Fps, 0.01);
        }
    } else {
        EXPECT_EQ(v, nullptr) << test::Describe(info);
    }
    ASSERT_NE(a, nullptr) << test::Describe(info);
    EXPECT_EQ(a->codec, p.Audio);
    EXPECT_EQ(a->sampleRate, p.SampleRate);
    EXPECT_EQ(a->channels, p.Channels);
    if (v && a && v->endTime > 0 && a->endTime > 0) {
        EXPECT_NEAR(v->endTime - v->firstTime, a->decodedSeconds(), 0.1) << test::Describe(info);
    }
}

std::string PairingName(const ::testing::TestParamInfo<Pairing>& info) {
    return info.param.Name;
}

INSTANTIATE_TEST_SUITE_P(Catalogue, RawPairing, ::testing::ValuesIn(kPairings), PairingName);

} // namespace
} // namespace corvina
