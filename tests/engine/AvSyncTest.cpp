// Synchronisation arithmetic of the audio and video output, and the volume scaling.
#include "engine/AudioSync.h"
#include "engine/VideoSync.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

namespace corvina::engine {
namespace {

// ---------------------------------------------------------------- volume

TEST(ApplyVolume, ScalesRoundsAndClips) {
    std::vector<int16_t> s = {0, 100, -100, 1, -1, 20000, -20000, 32767, -32768};
    ApplyVolume(s.data(), s.size(), 512); // double
    EXPECT_EQ(s, (std::vector<int16_t>{0, 200, -200, 2, -2, 32767, -32768, 32767, -32768}));

    std::vector<int16_t> h = {100, -100, 3, -3, 1, -1};
    ApplyVolume(h.data(), h.size(), 128); // half: (x * 128 + 128) >> 8
    EXPECT_EQ(h, (std::vector<int16_t>{50, -50, 2, -1, 1, 0}));

    std::vector<int16_t> z = {1234, -1234};
    ApplyVolume(z.data(), z.size(), 0);
    EXPECT_EQ(z, (std::vector<int16_t>{0, 0}));
}

TEST(ApplyVolume, UnityLeavesSamplesAlone) {
    std::vector<int16_t> s = {32767, -32768, 7};
    ApplyVolume(s.data(), s.size(), 256);
    EXPECT_EQ(s, (std::vector<int16_t>{32767, -32768, 7}));
}

// ---------------------------------------------------------------- audio

AudioSyncInput Stereo44100(double syncIpts, int64_t syncOpts, bool isStart) {
    AudioSyncInput in;
    in.Method = 1;
    in.DriftThreshold = 0.1;
    in.SyncIpts = syncIpts;
    in.SyncOpts = syncOpts;
    in.EncRate = in.DecRate = 44100;
    in.EncChannels = in.DecChannels = 2;
    in.IsStart = isStart;
    in.BlockBytes = 4096;
    return in;
}

TEST(AudioSync, LateStartInsertsSilenceOnceThenIgnoresSmallDrift) {
    // An input whose first audio starts 0.5 s late, in 4096-byte blocks (1024 samples).
    bool isStart = true;
    int64_t syncOpts = 0;
    double ipts = 0.5;
    int64_t silenceSamples = 0;
    int corrections = 0;
    for (int block = 0; block < 100; block++) {
        AudioSyncInput in = Stereo44100(ipts, syncOpts, isStart);
        // Later blocks drift by up to 2000 samples, below the 4410-sample threshold.
        if (block > 0)
            in.SyncIpts += (block % 2 ? 2000.0 : -2000.0) / 44100;
        const AudioSyncAction a = DecideAudioSync(in);
        int outBytes = in.BlockBytes;
        if (a.Action != AudioSyncAction::kNone) {
            corrections++;
            ASSERT_EQ(a.Action, AudioSyncAction::kSilence);
            silenceSamples += a.Bytes / 4;
            outBytes += a.Bytes;
        }
        if (a.ClearIsStart)
            isStart = false;
        syncOpts += outBytes / 4;
        ipts += 1024.0 / 44100;
    }
    EXPECT_EQ(corrections, 1);
    EXPECT_EQ(silenceSamples, 22050);
    EXPECT_FALSE(isStart);
}

TEST(AudioSync, SilenceIsCappedAndKeepsIsStart) {
    // 1 s late: 176400 bytes of silence would exceed the cap with the 4096-byte block.
    const AudioSyncAction a = DecideAudioSync(Stereo44100(1.0, 0, true));
    EXPECT_EQ(a.Action, AudioSyncAction::kSilence);
    EXPECT_EQ(a.Bytes + 4096, kMaxSilenceBlockBytes);
    EXPECT_FALSE(a.ClearIsStart);

    // Six channels: the cut keeps whole sample frames.
    AudioSyncInput six = Stereo44100(1.0, 0, true);
    six.EncChannels = six.DecChannels = 6;
    six.BlockBytes = 12 * 1024;
    const AudioSyncAction b = DecideAudioSync(six);
    EXPECT_EQ(b.Bytes % 12, 0);
    EXPECT_LE(b.Bytes + six.BlockBytes, kMaxSilenceBlockBytes);
    EXPECT_GT(b.Bytes + six.BlockBytes, kMaxSilenceBlockBytes - 12);

    // A block larger than the cap on its own gets no silence rather than a negative amount.
    AudioSyncInput big = Stereo44100(1.0, 0, true);
    big.BlockBytes = kMaxSilenceBlockBytes + 4096;
    const AudioSyncAction c = DecideAudioSync(big);
    EXPECT_EQ(c.Action, AudioSyncAction::kSilence);
    EXPECT_EQ(c.Bytes, 0);
}

TEST(AudioSync, InputAheadDropsFromTheFront) {
    // Output already 2000 samples further than the input position.
    AudioSyncAction a = DecideAudioSync(Stereo44100(0.0, 2000, true));
    EXPECT_EQ(a.Action, AudioSyncAction::kDrop);
    EXPECT_EQ(a.Bytes, 4096); // limited to the block
    EXPECT_FALSE(a.ClearIsStart) << "nothing left: the next block corrects";

    a = DecideAudioSync(Stereo44100(0.0, 500, true));
    EXPECT_EQ(a.Action, AudioSyncAction::kDrop);
    EXPECT_EQ(a.Bytes, 2000);
    EXPECT_TRUE(a.ClearIsStart);
}

TEST(AudioSync, SmallDeltaAndDriftCompensation) {
    // Within 50 samples nothing happens, whatever the state.
    EXPECT_EQ(DecideAudioSync(Stereo44100(40.0 / 44100, 0, true)).Action, AudioSyncAction::kNone);

    // Beyond 50 samples but below the drift threshold, after the start: method 1 leaves it,
    // a higher method compensates within +-method samples.
    AudioSyncInput in = Stereo44100(1000.0 / 44100, 0, false);
    EXPECT_EQ(DecideAudioSync(in).Action, AudioSyncAction::kNone);
    in.Method = 100;
    AudioSyncAction a = DecideAudioSync(in);
    EXPECT_EQ(a.Action, AudioSyncAction::kCompensate);
    EXPECT_EQ(a.Compensation, 100);
    in.SyncIpts = 0;
    in.SyncOpts = 70;
    a = DecideAudioSync(in);
    EXPECT_EQ(a.Compensation, -70);
}

TEST(AudioSync, FifoCountsAsOutputAndRatesConvertTheBytes) {
    // 0.5 s late, but 10000 samples already queued: 12050 samples missing.
    AudioSyncInput in = Stereo44100(0.5, 0, true);
    in.FifoBytes = 40000;
    AudioSyncAction a = DecideAudioSync(in);
    EXPECT_DOUBLE_EQ(a.Delta, 12050);
    EXPECT_EQ(a.Bytes, 12050 * 4);

    // A 22050 Hz mono decoder feeding a 44100 Hz stereo encoder: the silence goes in at
    // the decoder's rate and channel count.
    in = Stereo44100(0.5, 0, true);
    in.DecRate = 22050;
    in.DecChannels = 1;
    in.BlockBytes = 2048;
    a = DecideAudioSync(in);
    EXPECT_EQ(a.Action, AudioSyncAction::kSilence);
    EXPECT_EQ(a.Bytes, 11025 * 2);
}

// ---------------------------------------------------------------- video

constexpr AVRational k25{1, 25};

TEST(VideoSync, AutomaticWithFrameRateTimeBaseDuplicatesAndDrops) {
    // 3 frames ahead of the output: 3 copies.
    VideoSyncDecision d = DecideVideoSync(-1, k25, 13 * 0.04, 10);
    EXPECT_EQ(d.Frames, 3);
    EXPECT_EQ(d.SyncOpts, 10);
    // 2 frames behind: dropped.
    d = DecideVideoSync(-1, k25, 8 * 0.04, 10);
    EXPECT_EQ(d.Frames, 0);
    // Within +-1.1 frames: passed once.
    EXPECT_EQ(DecideVideoSync(-1, k25, 11 * 0.04, 10).Frames, 1);
    EXPECT_EQ(DecideVideoSync(-1, k25, 9 * 0.04, 10).Frames, 1);
}

TEST(VideoSync, AutomaticWithFineTimeBaseFollowsTimestamps) {
    const VideoSyncDecision d = DecideVideoSync(-1, AVRational{1, 90000}, 2.0, 5);
    EXPECT_EQ(d.Frames, 1);
    EXPECT_EQ(d.SyncOpts, 180000);
}

TEST(VideoSync, PassThroughEncodesEveryPictureOnce) {
    int64_t syncOpts = 0;
    const double times[] = {0.0, 0.04, 0.2, 0.2, 0.16, 1.0};
    for (double t : times) {
        const VideoSyncDecision d = DecideVideoSync(0, k25, t, syncOpts);
        EXPECT_EQ(d.Frames, 1);
        EXPECT_EQ(d.SyncOpts, std::llrint(t * 25));
        syncOpts = d.SyncOpts + 1;
    }
}

TEST(VideoSync, Method2TakesTimestampsWithoutDuplicates) {
    VideoSyncDecision d = DecideVideoSync(2, k25, 20 * 0.04, 10);
    EXPECT_EQ(d.Frames, 1);
    EXPECT_EQ(d.SyncOpts, 20);
    d = DecideVideoSync(2, k25, 5 * 0.04, 10); // behind: still dropped
    EXPECT_EQ(d.Frames, 0);
}

} // namespace
} // namespace corvina::engine
