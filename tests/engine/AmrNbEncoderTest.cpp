// The engine's AMR-NB encoder: modes, frame sizes, and frames a 3GP muxer and the
// libraries' decoder accept.
#include "engine/AmrNbEncoder.h"

#include "binding/Handles.h"
#include "tests/support/MediaReadBack.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace corvina::engine {
namespace {

std::vector<int16_t> Tone(int frame) {
    std::vector<int16_t> s(AmrNbEncoder::kFrameSamples);
    for (int i = 0; i < AmrNbEncoder::kFrameSamples; i++) {
        const double t = (frame * AmrNbEncoder::kFrameSamples + i) / 8000.0;
        s[i] = static_cast<int16_t>(8000 * std::sin(2 * M_PI * 440 * t));
    }
    return s;
}

TEST(AmrNbEncoder, NearestModeToTheBitRate) {
    EXPECT_EQ(AmrNbEncoder::ModeForBitRate(12200), 7);
    EXPECT_EQ(AmrNbEncoder::ModeForBitRate(64000), 7);
    EXPECT_EQ(AmrNbEncoder::ModeForBitRate(0), 0);
    EXPECT_EQ(AmrNbEncoder::ModeForBitRate(7950), 5);
    EXPECT_EQ(AmrNbEncoder::ModeForBitRate(9000), 5); // 1050 from 7950, 1200 from 10200
    EXPECT_EQ(AmrNbEncoder::ModeForBitRate(10000), 6);
    EXPECT_EQ(AmrNbEncoder::ModeForBitRate(4950), 0); // equally far: the lower
}

TEST(AmrNbEncoder, EveryModeGivesFramesOfItsSize) {
    for (int mode = 0; mode < 8; mode++) {
        auto enc = AmrNbEncoder::Create(AmrNbEncoder::BitRateOfMode(mode));
        ASSERT_TRUE(enc);
        EXPECT_EQ(enc->Mode(), mode);
        for (int f = 0; f < 5; f++) {
            uint8_t out[AmrNbEncoder::kMaxFrameBytes + 8];
            const int n = enc->EncodeFrame(Tone(f).data(), out);
            ASSERT_EQ(n, AmrNbEncoder::FrameBytesOfMode(mode)) << "mode " << mode;
            // Storage-format table of contents: frame type = mode, quality bit set.
            EXPECT_EQ((out[0] >> 3) & 0x0F, mode);
            EXPECT_EQ(out[0] & 0x04, 0x04);
        }
    }
}

TEST(AmrNbEncoder, FramesMuxIntoThreeGppAndDecode) {
    test::RequireLibraries();
    test::TempDir dir;
    const std::string path = (dir / "tone.3gp").string();

    AVFormatContext* raw = nullptr;
    ASSERT_GE(ff::format.avformat_alloc_output_context2(&raw, nullptr, "3gp", path.c_str()), 0);
    ff::FormatContextPtr oc(raw);
    AVStream* st = ff::format.avformat_new_stream(oc.get(), nullptr);
    ASSERT_TRUE(st);
    st->time_base = AVRational{1, 8000};
    AVCodecParameters* par = st->codecpar;
    par->codec_type = AVMEDIA_TYPE_AUDIO;
    par->codec_id = AV_CODEC_ID_AMR_NB;
    par->sample_rate = 8000;
    ff::util.av_channel_layout_default(&par->ch_layout, 1);
    par->frame_size = AmrNbEncoder::kFrameSamples;
    par->bit_rate = 12200;
    ASSERT_GE(ff::format.avio_open2(&oc->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr), 0);
    ASSERT_GE(ff::format.avformat_write_header(oc.get(), nullptr), 0);

    auto enc = AmrNbEncoder::Create(12200);
    ASSERT_TRUE(enc);
    constexpr int kFrames = 100; // 2 seconds
    ff::PacketPtr pkt = ff::MakePacket();
    for (int f = 0; f < kFrames; f++) {
        uint8_t out[AmrNbEncoder::kMaxFrameBytes];
        const int n = enc->EncodeFrame(Tone(f).data(), out);
        ASSERT_GT(n, 0);
        ASSERT_GE(ff::codec.av_new_packet(pkt.get(), n), 0);
        std::memcpy(pkt->data, out, n);
        pkt->pts = pkt->dts = ff::util.av_rescale_q(int64_t{f} * AmrNbEncoder::kFrameSamples,
                                                    AVRational{1, 8000}, st->time_base);
        pkt->duration =
            ff::util.av_rescale_q(AmrNbEncoder::kFrameSamples, AVRational{1, 8000}, st->time_base);
        pkt->flags |= AV_PKT_FLAG_KEY;
        ASSERT_GE(ff::format.av_interleaved_write_frame(oc.get(), pkt.get()), 0);
    }
    ASSERT_GE(ff::format.av_write_trailer(oc.get()), 0);
    ff::format.avio_closep(&oc->pb);
    oc.reset();

    const test::MediaInfo info = test::ReadBack(path);
    ASSERT_TRUE(info.DecodesCleanly()) << test::Describe(info);
    const test::StreamInfo* a = info.Audio();
    ASSERT_TRUE(a);
    EXPECT_EQ(a->codec, "amr_nb");
    EXPECT_EQ(a->sampleRate, 8000);
    EXPECT_EQ(a->channels, 1);
    EXPECT_EQ(a->samples, kFrames * AmrNbEncoder::kFrameSamples);
}

} // namespace
} // namespace corvina::engine
