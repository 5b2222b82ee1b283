// The frame-hook stage: the custom hook's bitmap, its update, stop and failure paths, the
// plug-in gate (hook ranges, the before-hook event), the deinterlacer, and the stream-copy
// refusal. Inputs are tiny raw YUV 4:2:0 clips written here and outputs raw pictures, so
// every pixel that reaches the encoder can be compared.
#include "engine/Deinterlace.h"
#include "engine/Transcoder.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <stdexcept>

namespace corvina::engine {
namespace {

constexpr int kFps = 10;

struct Picture {
    int64_t ptsUs = 0;
    int width = 0, height = 0;
    std::vector<uint8_t> y, u, v;
    int Y(int x, int row) const { return y[static_cast<size_t>(row) * width + x]; }
    int U(int x, int row) const { return u[static_cast<size_t>(row) * (width / 2) + x]; }
};

// A picture of the clip: its three planes, filled by `fill`.
using Filler = std::function<void(int frame, Picture& p)>;

Picture Blank(int width, int height) {
    Picture p;
    p.width = width;
    p.height = height;
    p.y.assign(static_cast<size_t>(width) * height, 0);
    p.u.assign(static_cast<size_t>(width / 2) * (height / 2), 128);
    p.v = p.u;
    return p;
}

// A raw YUV 4:2:0 clip in NUT at kFps, written with the libraries directly.
void WriteClip(const std::filesystem::path& path, int width, int height, int frames,
               const Filler& fill) {
    AVFormatContext* raw = nullptr;
    ASSERT_GE(ff::format.avformat_alloc_output_context2(&raw, nullptr, "nut", path.c_str()), 0);
    ff::FormatContextPtr ctx(raw);
    AVStream* st = ff::format.avformat_new_stream(raw, nullptr);
    ASSERT_NE(st, nullptr);
    st->codecpar->codec_type = AVMEDIA_TYPE_VIDEO;
    st->codecpar->codec_id = AV_CODEC_ID_RAWVIDEO;
    st->codecpar->format = AV_PIX_FMT_YUV420P;
    st->codecpar->codec_tag = MKTAG('I', '4', '2', '0'); // raw YUV 4:2:0
    st->codecpar->width = width;
    st->codecpar->height = height;
    st->time_base = AVRational{1, kFps};
    st->avg_frame_rate = st->r_frame_rate = AVRational{kFps, 1};
    ASSERT_GE(ff::format.avio_open2(&raw->pb, path.c_str(), AVIO_FLAG_WRITE, nullptr, nullptr), 0);
    ff::IoContextPtr io(raw->pb); // closed after the trailer, before the context goes
    ASSERT_GE(ff::format.avformat_write_header(raw, nullptr), 0);
    ff::PacketPtr pkt = ff::MakePacket();
    for (int i = 0; i < frames; i++) {
        Picture p = Blank(width, height);
        fill(i, p);
        const size_t size = p.y.size() + p.u.size() + p.v.size();
        ASSERT_GE(ff::codec.av_new_packet(pkt.get(), static_cast<int>(size)), 0);
        uint8_t* d = pkt->data;
        for (const auto* plane : {&p.y, &p.u, &p.v}) {
            std::copy(plane->begin(), plane->end(), d);
            d += plane->size();
        }
        pkt->pts = pkt->dts = i;
        pkt->duration = 1;
        pkt->flags |= AV_PKT_FLAG_KEY;
        pkt->stream_index = 0;
        ff::codec.av_packet_rescale_ts(pkt.get(), AVRational{1, kFps}, st->time_base);
        ASSERT_GE(ff::format.av_interleaved_write_frame(raw, pkt.get()), 0);
    }
    ASSERT_GE(ff::format.av_write_trailer(raw), 0);
    raw->pb = nullptr;
}

// The pictures of a raw YUV 4:2:0 file, in file order.
std::vector<Picture> ReadClip(const std::filesystem::path& path) {
    std::vector<Picture> pictures;
    AVFormatContext* raw = nullptr;
    if (ff::format.avformat_open_input(&raw, path.c_str(), nullptr, nullptr) < 0) {
        ADD_FAILURE() << "cannot open " << path;
        return pictures;
    }
    ff::InputContextPtr ctx(raw);
    ff::format.avformat_find_stream_info(raw, nullptr);
    const AVStream* st = raw->nb_streams ? raw->streams[0] : nullptr;
    if (!st || st->codecpar->codec_id != AV_CODEC_ID_RAWVIDEO ||
        st->codecpar->format != AV_PIX_FMT_YUV420P) {
        ADD_FAILURE() << "not raw YUV 4:2:0: " << path;
        return pictures;
    }
    const int w = st->codecpar->width, h = st->codecpar->height;
    ff::PacketPtr pkt = ff::MakePacket();
    while (ff::format.av_read_frame(raw, pkt.get()) >= 0) {
        Picture p = Blank(w, h);
        const size_t need = p.y.size() + p.u.size() + p.v.size();
        if (pkt->stream_index == 0 && static_cast<size_t>(pkt->size) >= need) {
            const uint8_t* d = pkt->data;
            for (auto* plane : {&p.y, &p.u, &p.v}) {
                std::copy(d, d + plane->size(), plane->begin());
                d += plane->size();
            }
            p.ptsUs = ff::util.av_rescale_q(pkt->pts, st->time_base, AVRational{1, AV_TIME_BASE});
            pictures.push_back(std::move(p));
        }
        ff::codec.av_packet_unref(pkt.get());
    }
    return pictures;
}

// A luma ramp that moves from picture to picture and never reaches white.
void Ramp(int frame, Picture& p) {
    for (int row = 0; row < p.height; row++)
        for (int x = 0; x < p.width; x++)
            p.y[static_cast<size_t>(row) * p.width + x] =
                static_cast<uint8_t>(40 + (x + 2 * row + 3 * frame) % 120);
}

struct JobResult {
    bool finished = false;
    std::string error;
    std::vector<std::string> log;
    std::vector<Picture> pictures;
    bool Logged(const std::string& line) const {
        return std::count(log.begin(), log.end(), line) > 0;
    }
};

// One synchronous job from `input` to raw pictures in NUT; `setUp` installs hooks.
JobResult Convert(const std::filesystem::path& input, const std::filesystem::path& output,
                  const std::string& options,
                  const std::function<void(TCustomTranscoder&)>& setUp = {}) {
    JobResult r;
    TCustomTranscoder t;
    t.OnLog = [&r](int, const std::string& text) { r.log.push_back(text); };
    if (!t.OpenInput(input.string())) {
        r.error = "input: " + t.LastError();
        return r;
    }
    t.ApplyOptionText("vcodec=rawvideo\n" + options);
    if (!t.OpenOutput(output.string())) {
        r.error = "output: " + t.LastError();
        return r;
    }
    if (setUp)
        setUp(t);
    t.Start(false);
    r.finished = t.Finished();
    if (t.ExceptionRaised())
        r.error = t.ExceptionMessage();
    else
        r.pictures = ReadClip(output);
    return r;
}

std::string SampleHook() {
    return (test::LibDir() / "corvina-sample-hook.so").string();
}

// The pts the sample plug-in logged, one per picture it was given.
std::vector<int64_t> PluginCalls(const std::filesystem::path& log) {
    std::vector<int64_t> calls;
    std::ifstream in(log);
    for (int64_t pts; in >> pts;)
        calls.push_back(pts);
    return calls;
}

std::vector<int64_t> Times(std::initializer_list<int> tenths) {
    std::vector<int64_t> us;
    for (int t : tenths)
        us.push_back(t * int64_t{100000});
    return us;
}

// Whether the sample plug-in's 8x8 box is on the picture.
bool HasBox(const Picture& p) {
    for (int row = 0; row < 8; row++)
        for (int x = 0; x < 8; x++)
            if (p.Y(x, row) != 235)
                return false;
    return true;
}

class FrameHooks : public ::testing::Test {
protected:
    void SetUp() override {
        test::RequireLibraries();
        ASSERT_TRUE(std::filesystem::exists(SampleHook())) << "build corvina-sample-hook";
    }
    // A 64x48 ramp clip of `frames` pictures (kFps a second).
    std::filesystem::path Clip(int frames) {
        const std::filesystem::path path = dir_ / ("ramp" + std::to_string(frames) + ".nut");
        if (!std::filesystem::exists(path))
            WriteClip(path, 64, 48, frames, Ramp);
        return path;
    }
    std::filesystem::path Out(const std::string& name) { return dir_ / name; }
    // vhook text for the sample plug-in: an 8-pixel box and its pts log.
    std::string PluginOption(const std::filesystem::path& log) {
        return "vhook=" + SampleHook() + "|8|" + log.string();
    }
    test::TempDir dir_;
};

// --- Custom hook ---

constexpr int kBoxX = 8, kBoxY = 8, kBoxSize = 16;

bool InBox(int x, int row) {
    return x >= kBoxX && x < kBoxX + kBoxSize && row >= kBoxY && row < kBoxY + kBoxSize;
}

// Drawn white box present (true) or the picture the ramp's (false), within the BGR round
// trip's rounding.
void ExpectDrawn(const Picture& p, int frame, bool drawn) {
    Picture expected = Blank(p.width, p.height);
    Ramp(frame, expected);
    int boxMismatch = 0, outsideMismatch = 0;
    for (int row = 0; row < p.height; row++)
        for (int x = 0; x < p.width; x++) {
            const int want = drawn && InBox(x, row) ? 235 : expected.Y(x, row);
            if (std::abs(p.Y(x, row) - want) > 3)
                (InBox(x, row) ? boxMismatch : outsideMismatch)++;
        }
    EXPECT_EQ(boxMismatch, 0) << "picture " << frame << (drawn ? " lacks" : " has") << " the box";
    EXPECT_EQ(outsideMismatch, 0) << "picture " << frame << " changed outside the box";
}

TEST_F(FrameHooks, CustomHookDrawsIntoTheEncodedPicture) {
    const std::filesystem::path plugLog = Out("plugin.log");
    std::vector<int> numbers;
    std::vector<int64_t> times;
    int greyMismatches = 0;
    const JobResult r = Convert(Clip(10), Out("drawn.nut"), PluginOption(plugLog), [&](auto& t) {
        t.OnCustomHook = [&](HookBitmap* b, int number, int64_t pts, bool& update, bool& stop) {
            numbers.push_back(number);
            times.push_back(pts);
            EXPECT_TRUE(update);
            EXPECT_FALSE(stop);
            ASSERT_EQ(b->Width(), 64);
            ASSERT_EQ(b->Height(), 48);
            ASSERT_GE(b->Stride(), 64 * 3);
            // The ramp is grey: blue, green and red agree, at the luma's full-range value.
            Picture src = Blank(64, 48);
            Ramp(number - 1, src);
            for (int row = 0; row < 48; row += 7)
                for (int x = 0; x < 64; x += 5) {
                    const uint8_t* px = b->Row(row) + x * 3;
                    const int want = (src.Y(x, row) - 16) * 255 / 219;
                    if (std::abs(px[0] - px[1]) > 2 || std::abs(px[1] - px[2]) > 2 ||
                        std::abs(px[1] - want) > 3)
                        greyMismatches++;
                }
            b->FillRect(kBoxX, kBoxY, kBoxSize, kBoxSize, 255, 255, 255);
        };
    });
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(numbers, (std::vector<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    EXPECT_EQ(times, Times({0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
    EXPECT_EQ(greyMismatches, 0);
    ASSERT_EQ(r.pictures.size(), 10u);
    for (int i = 0; i < 10; i++)
        ExpectDrawn(r.pictures[i], i, true);
    // With the custom hook installed the plug-ins never run.
    EXPECT_TRUE(PluginCalls(plugLog).empty());

    // Without it the same job encodes the ramp untouched.
    const JobResult plain = Convert(Clip(10), Out("plain.nut"), "");
    ASSERT_TRUE(plain.finished) << plain.error;
    ASSERT_EQ(plain.pictures.size(), 10u);
    Picture first = Blank(64, 48);
    Ramp(0, first);
    EXPECT_EQ(plain.pictures[0].y, first.y);
}

TEST_F(FrameHooks, StopFlagEndsTheCustomHook) {
    int calls = 0;
    const JobResult r = Convert(Clip(10), Out("stop.nut"), "", [&](auto& t) {
        t.OnCustomHook = [&](HookBitmap* b, int, int64_t, bool&, bool& stop) {
            b->FillRect(kBoxX, kBoxY, kBoxSize, kBoxSize, 255, 255, 255);
            stop = ++calls == 3; // this picture still takes the drawing
        };
    });
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(calls, 3);
    ASSERT_EQ(r.pictures.size(), 10u);
    for (int i = 0; i < 10; i++)
        ExpectDrawn(r.pictures[i], i, i < 3);
}

TEST_F(FrameHooks, RaisingCustomHookIsLoggedAndItsPictureKept) {
    int calls = 0;
    const JobResult r = Convert(Clip(6), Out("raise.nut"), "", [&](auto& t) {
        t.OnCustomHook = [&](HookBitmap* b, int, int64_t, bool&, bool&) {
            b->FillRect(kBoxX, kBoxY, kBoxSize, kBoxSize, 255, 255, 255);
            if (++calls == 2)
                throw std::runtime_error("canvas gone");
        };
    });
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(calls, 6); // later pictures still reach the handler
    EXPECT_EQ(std::count(r.log.begin(), r.log.end(), "Error occurs OnCustomHook: canvas gone"), 1);
    ASSERT_EQ(r.pictures.size(), 6u);
    for (int i = 0; i < 6; i++)
        ExpectDrawn(r.pictures[i], i, i != 1);
}

TEST_F(FrameHooks, StreamCopyIsRefusedWithACustomHook) {
    const JobResult r = Convert(Clip(3), Out("copy.nut"), "vcodec=copy", [](auto& t) {
        t.OnCustomHook = [](HookBitmap*, int, int64_t, bool&, bool&) {};
    });
    EXPECT_FALSE(r.finished);
    EXPECT_EQ(r.error, "-vcodec copy and CustomHook are incompatible (frames are not decoded)");
}

// --- Plug-in gate ---

TEST_F(FrameHooks, HookRangesLimitThePlugIn) {
    const std::filesystem::path log = Out("ranges.log");
    const JobResult r = Convert(Clip(30), Out("ranges.nut"), PluginOption(log), [](auto& t) {
        t.SetHookRanges({{1000000, 2000000}});
    });
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(PluginCalls(log), Times({10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20}));
    ASSERT_EQ(r.pictures.size(), 30u);
    for (int i = 0; i < 30; i++)
        EXPECT_EQ(HasBox(r.pictures[i]), i >= 10 && i <= 20) << "picture " << i;

    // Ranges given out of order all take effect: the first one past is not the last.
    const std::filesystem::path log2 = Out("ranges2.log");
    const JobResult r2 = Convert(Clip(30), Out("ranges2.nut"), PluginOption(log2), [](auto& t) {
        t.SetHookRanges({{2500000, 2600000}, {500000, 600000}});
    });
    ASSERT_TRUE(r2.finished) << r2.error;
    EXPECT_EQ(PluginCalls(log2), Times({5, 6, 25, 26}));
}

TEST_F(FrameHooks, BeforeHookIgnoresContinuesAndStops) {
    const std::filesystem::path log = Out("before.log");
    std::vector<int64_t> asked;
    std::vector<HookAction> given;
    const JobResult r = Convert(Clip(30), Out("before.nut"), PluginOption(log), [&](auto& t) {
        t.OnBeforeHook = [&](int64_t pts, HookAction& action) {
            asked.push_back(pts);
            given.push_back(action);
            if (pts < 500000)
                action = HookAction::Ignore;
            else if (pts < 1000000)
                action = HookAction::Continue;
            else
                action = HookAction::Stop;
        };
    });
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(PluginCalls(log), Times({5, 6, 7, 8, 9}));
    // Asked up to the picture it stopped at, not after; each call sees the last decision.
    EXPECT_EQ(asked, Times({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10}));
    ASSERT_EQ(given.size(), 11u);
    EXPECT_EQ(given[0], HookAction::Continue);
    EXPECT_EQ(given[1], HookAction::Ignore);
    EXPECT_EQ(given[6], HookAction::Continue);
    ASSERT_EQ(r.pictures.size(), 30u);
    for (int i = 0; i < 30; i++)
        EXPECT_EQ(HasBox(r.pictures[i]), i >= 5 && i <= 9) << "picture " << i;
}

TEST_F(FrameHooks, RaisingBeforeHookStopsThePlugIns) {
    const std::filesystem::path log = Out("broken.log");
    int calls = 0;
    const JobResult r = Convert(Clip(10), Out("broken.nut"), PluginOption(log), [&](auto& t) {
        t.OnBeforeHook = [&](int64_t pts, HookAction&) {
            calls++;
            if (pts >= 300000)
                throw std::runtime_error("gate broke");
        };
    });
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_EQ(calls, 4);
    EXPECT_TRUE(r.Logged("Error occurs OnBeforeHook: gate broke"));
    EXPECT_EQ(PluginCalls(log), Times({0, 1, 2}));
}

// --- Deinterlacing ---

// Even lines `even`, odd lines `odd`, in every plane (chroma with its own two values).
void Comb(Picture& p, int evenY, int oddY, int evenU, int oddU) {
    for (int row = 0; row < p.height; row++)
        std::fill_n(p.y.begin() + static_cast<ptrdiff_t>(row) * p.width, p.width,
                    row % 2 ? oddY : evenY);
    for (int row = 0; row < p.height / 2; row++)
        std::fill_n(p.u.begin() + static_cast<ptrdiff_t>(row) * (p.width / 2), p.width / 2,
                    row % 2 ? oddU : evenU);
}

// What the (-1 4 2 4 -1)/8 line filter makes of a comb of even lines a and odd lines b:
// the odd lines take the even ones' value, except the first (its upper neighbours repeat
// line 0) and the last (its lower neighbours repeat itself).
int CombLine(int row, int rows, int a, int b) {
    if (row % 2 == 0)
        return a;
    if (row == 1)
        return (7 * a + b + 4) >> 3;
    if (row == rows - 1)
        return (4 * a + 4 * b + 4) >> 3;
    return a;
}

TEST(Deinterlacer, FiltersTheBottomFieldFromItsNeighbours) {
    Picture in = Blank(8, 8);
    Comb(in, 200, 50, 100, 160);
    Picture out = Blank(8, 8);
    const uint8_t* src[4] = {in.y.data(), in.u.data(), in.v.data(), nullptr};
    uint8_t* dst[4] = {out.y.data(), out.u.data(), out.v.data(), nullptr};
    const int lines[4] = {8, 4, 4, 0};
    ASSERT_TRUE(DeinterlacePicture(dst, lines, src, lines, AV_PIX_FMT_YUV420P, 8, 8));
    for (int row = 0; row < 8; row++)
        EXPECT_EQ(out.Y(3, row), CombLine(row, 8, 200, 50)) << "luma row " << row;
    // Chroma rows 0..3: 100, (700+160+4)>>3 = 108, 100, (400+640+4)>>3 = 130.
    EXPECT_EQ(out.U(1, 0), 100);
    EXPECT_EQ(out.U(1, 1), 108);
    EXPECT_EQ(out.U(1, 2), 100);
    EXPECT_EQ(out.U(1, 3), 130);
    EXPECT_EQ(out.v, in.v); // a flat plane stays flat

    // The filter's overshoot is clipped: a bright line between dark ones.
    Picture spike = Blank(8, 8);
    Comb(spike, 0, 255, 128, 128);
    const uint8_t* spikeSrc[4] = {spike.y.data(), spike.u.data(), spike.v.data(), nullptr};
    ASSERT_TRUE(DeinterlacePicture(dst, lines, spikeSrc, lines, AV_PIX_FMT_YUV420P, 8, 8));
    EXPECT_EQ(out.Y(0, 3), 0); // (-255 + 0 + 510 + 0 - 255 + 4) >> 3

    // Sizes off the 4-pixel grid and packed formats are refused.
    EXPECT_FALSE(DeinterlacePicture(dst, lines, src, lines, AV_PIX_FMT_YUV420P, 6, 8));
    EXPECT_FALSE(DeinterlacePicture(dst, lines, src, lines, AV_PIX_FMT_YUV420P, 8, 6));
    EXPECT_FALSE(DeinterlacePicture(dst, lines, src, lines, AV_PIX_FMT_RGB24, 8, 8));
}

TEST_F(FrameHooks, DeinterlaceOptionFiltersEveryPicture) {
    const std::filesystem::path comb = Out("comb.nut");
    WriteClip(comb, 64, 48, 3, [](int, Picture& p) { Comb(p, 200, 50, 100, 160); });
    const JobResult r = Convert(comb, Out("deint.nut"), "deinterlace=1");
    ASSERT_TRUE(r.finished) << r.error;
    EXPECT_FALSE(r.Logged("deinterlace error."));
    ASSERT_EQ(r.pictures.size(), 3u);
    for (const Picture& p : r.pictures) {
        for (int row = 0; row < 48; row++)
            EXPECT_EQ(p.Y(17, row), CombLine(row, 48, 200, 50)) << "luma row " << row;
        for (int row = 0; row < 24; row++)
            EXPECT_EQ(p.U(5, row), CombLine(row, 24, 100, 160)) << "chroma row " << row;
    }

    // A width off the 4-pixel grid: logged, and the picture goes on as it came.
    const std::filesystem::path odd = Out("comb66.nut");
    WriteClip(odd, 66, 48, 2, [](int, Picture& p) { Comb(p, 200, 50, 100, 160); });
    const JobResult refused = Convert(odd, Out("deint66.nut"), "deinterlace=1");
    ASSERT_TRUE(refused.finished) << refused.error;
    EXPECT_TRUE(refused.Logged("deinterlace error."));
    ASSERT_EQ(refused.pictures.size(), 2u);
    EXPECT_EQ(refused.pictures[0].Y(0, 1), 50);
}

} // namespace
} // namespace corvina::engine
