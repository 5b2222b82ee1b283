// The encoder stage on its own: every picture and every copy coded in order, conversion
// failures skipped with their reason or ending the stage, a bounded queue, and a prompt end.
#include "engine/EncodeStage.h"
#include "engine/TranscodeError.h"

#include "binding/Binding.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

namespace corvina::engine {
namespace {

using namespace std::chrono_literals;

constexpr int kWidth = 64, kHeight = 48;

// Raw pictures: one packet per picture, handed out at once, so packets map to pictures.
ff::CodecContextPtr OpenRawEncoder() {
    const AVCodec* codec = ff::codec.avcodec_find_encoder(AV_CODEC_ID_RAWVIDEO);
    ff::CodecContextPtr enc(ff::codec.avcodec_alloc_context3(codec));
    enc->width = kWidth;
    enc->height = kHeight;
    enc->pix_fmt = AV_PIX_FMT_YUV420P;
    enc->time_base = AVRational{1, 25};
    EXPECT_GE(ff::codec.avcodec_open2(enc.get(), codec, nullptr), 0);
    return enc;
}

// A grey picture whose first luma byte tells which one it is.
ff::FramePtr Picture(int mark) {
    ff::FramePtr f = ff::MakeFrame();
    f->format = AV_PIX_FMT_YUV420P;
    f->width = kWidth;
    f->height = kHeight;
    EXPECT_GE(ff::util.av_frame_get_buffer(f.get(), 0), 0);
    for (int p = 0; p < 3; p++)
        std::memset(f->data[p], 128,
                    static_cast<size_t>(f->linesize[p]) * (p ? kHeight / 2 : kHeight));
    f->data[0][0] = static_cast<uint8_t>(mark);
    return f;
}

EncodeStage::Picture Job(int mark, int64_t firstPts, int64_t count = 1) {
    EncodeStage::Picture job;
    job.Source = Picture(mark);
    job.FirstPts = firstPts;
    job.Count = count;
    return job;
}

AVFrame* AsItIs(AVFrame* source, bool, std::string&) {
    return source;
}

TEST(EncodeStage, CodesEveryPictureAndEveryCopyInOrder) {
    test::RequireLibraries();
    ff::CodecContextPtr enc = OpenRawEncoder();
    EncodeStage stage(enc.get(), AsItIs, 2);
    // The third picture is shown three times (a duplicate for the frame rate).
    const int64_t counts[] = {1, 1, 3, 1, 1};
    int64_t pts = 0;
    for (int i = 0; i < 5; i++) {
        ASSERT_TRUE(stage.Send(Job(10 + i, pts, counts[i])));
        pts += counts[i];
    }
    EncodeStage::Output out = stage.TakeReady();
    EncodeStage::Output rest;
    ASSERT_TRUE(stage.Finish(rest));
    for (auto& c : rest.Packets)
        out.Packets.push_back(std::move(c));
    EXPECT_TRUE(out.Errors.empty());
    ASSERT_EQ(out.Packets.size(), 7u);
    const int marks[] = {10, 11, 12, 12, 12, 13, 14};
    for (size_t i = 0; i < out.Packets.size(); i++) {
        EXPECT_EQ(out.Packets[i].Packet->pts, static_cast<int64_t>(i));
        EXPECT_EQ(out.Packets[i].Packet->data[0], marks[i]) << i;
    }
    EXPECT_FALSE(stage.Send(Job(99, 7))) << "nothing is taken after the end";
}

TEST(EncodeStage, APictureThatCannotBeConvertedIsSkippedWithItsReason) {
    test::RequireLibraries();
    ff::CodecContextPtr enc = OpenRawEncoder();
    EncodeStage stage(
        enc.get(),
        [](AVFrame* source, bool convert, std::string& error) -> AVFrame* {
            if (convert) {
                error = "error scaling picture";
                return nullptr;
            }
            return source;
        },
        2);
    EncodeStage::Picture bad = Job(2, 1);
    bad.Convert = true;
    ASSERT_TRUE(stage.Send(Job(1, 0)));
    ASSERT_TRUE(stage.Send(std::move(bad)));
    ASSERT_TRUE(stage.Send(Job(3, 2)));
    EncodeStage::Output rest;
    ASSERT_TRUE(stage.Finish(rest));
    EncodeStage::Output early = stage.TakeReady();
    EXPECT_TRUE(early.Packets.empty());
    ASSERT_EQ(rest.Packets.size(), 2u);
    EXPECT_EQ(rest.Packets[0].Packet->data[0], 1);
    EXPECT_EQ(rest.Packets[1].Packet->data[0], 3);
    EXPECT_EQ(rest.Errors, std::vector<std::string>{"error scaling picture"});
}

TEST(EncodeStage, AnErrorRaisedByTheConversionEndsTheStageWithIt) {
    test::RequireLibraries();
    ff::CodecContextPtr enc = OpenRawEncoder();
    EncodeStage stage(
        enc.get(),
        [](AVFrame*, bool, std::string&) -> AVFrame* {
            throw ETranscodeError("Cannot get resampling context");
        },
        1);
    // The stage fails on the first picture; a later Send or the end says so.
    bool taken = true;
    for (int i = 0; i < 5 && taken; i++)
        taken = stage.Send(Job(i, i));
    EncodeStage::Output rest;
    EXPECT_FALSE(stage.Finish(rest));
    EXPECT_EQ(stage.Failure(), "Cannot get resampling context");
    EXPECT_TRUE(rest.Packets.empty());
}

// A conversion that waits until it is let go.
struct Gate {
    std::mutex mutex;
    std::condition_variable opened;
    bool open = false;
    std::atomic<int> entered{0};
    void Wait() {
        entered++;
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
    }
    void Open() {
        {
            std::lock_guard lock(mutex);
            open = true;
        }
        opened.notify_all();
    }
};

TEST(EncodeStage, SendWaitsWhileTheQueueIsFullAndAnEndIsPrompt) {
    test::RequireLibraries();
    ff::CodecContextPtr enc = OpenRawEncoder();
    Gate gate;
    auto stage = std::make_unique<EncodeStage>(
        enc.get(),
        [&gate](AVFrame* source, bool, std::string&) {
            gate.Wait();
            return source;
        },
        2);
    // One picture in the conversion, two waiting: the fourth Send must wait.
    ASSERT_TRUE(stage->Send(Job(0, 0)));
    while (gate.entered == 0)
        std::this_thread::sleep_for(1ms);
    ASSERT_TRUE(stage->Send(Job(1, 1)));
    ASSERT_TRUE(stage->Send(Job(2, 2)));
    std::atomic<bool> returned{false};
    std::thread sender([&] {
        stage->Send(Job(3, 3));
        returned = true;
    });
    std::this_thread::sleep_for(100ms);
    EXPECT_FALSE(returned) << "a fourth picture was queued beside three";
    gate.Open();
    sender.join();
    EXPECT_TRUE(returned);
    // Destroyed with pictures possibly still waiting: it ends, without coding the rest.
    stage.reset();
}

} // namespace
} // namespace corvina::engine
