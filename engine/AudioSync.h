// The arithmetic of the audio path, kept free of library state so it can be checked on its
// own. All counts are bytes of interleaved signed 16-bit samples unless named otherwise.
#pragma once

#include <cstddef>
#include <cstdint>

namespace corvina::engine {

// Silence insertion never makes a block larger than this (silence plus the block itself).
inline constexpr int kMaxSilenceBlockBytes = 131072;

// Scales samples by volume/256, rounding, clipped to the 16-bit range; 256 leaves them as
// they are.
void ApplyVolume(int16_t* samples, size_t count, int volume);

struct AudioSyncInput {
    int Method = 1;              // AudioSyncMethod, not 0
    double DriftThreshold = 0.1; // seconds
    double SyncIpts = 0;         // input position, seconds
    int64_t SyncOpts = 0;        // next output sample, encoder samples
    int64_t FifoBytes = 0;       // queued for the encoder (encoder channels)
    int EncRate = 0, EncChannels = 0;
    int DecRate = 0, DecChannels = 0;
    bool IsStart = false; // the input stream has not been corrected yet
    int BlockBytes = 0;   // the decoded block (decoder rate and channels)
};

struct AudioSyncAction {
    enum Kind { kNone, kDrop, kSilence, kCompensate };
    Kind Action = kNone;
    double Delta = 0;     // encoder samples the input is late (> 0) or ahead (< 0)
    int Bytes = 0;        // kDrop: bytes cut from the block's front; kSilence: zero bytes before it
    int Compensation = 0; // kCompensate: samples to add (> 0) or remove over one second
    bool ClearIsStart = false;
};

AudioSyncAction DecideAudioSync(const AudioSyncInput& in);

} // namespace corvina::engine
