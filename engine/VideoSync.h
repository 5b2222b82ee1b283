// How many output frames one decoded picture becomes (drop, pass, duplicate).
#pragma once

#include <cstdint>

extern "C" {
#include <libavutil/rational.h>
}

namespace corvina::engine {

// A picture fills at most this much of a gap in the input's timestamps with copies of itself.
// A longer jump is taken as a discontinuity and the output continues from the new position:
// a damaged or hostile timestamp could otherwise ask for billions of copies, each one a packet
// the muxer keeps in its index.
inline constexpr double kMaxFilledGapSeconds = 10.0;

struct VideoSyncDecision {
    int Frames = 1;       // 0: dropped; > 1: duplicated
    int64_t SyncOpts = 0; // the output timestamp the first frame gets
};

// method: VideoSyncMethod (-1 automatic: only for time bases above 1 ms, 0 pass timestamps,
// 1 constant rate, 2 timestamps without duplication). syncIpts in seconds; syncOpts in
// encoder time-base units.
VideoSyncDecision DecideVideoSync(int method, AVRational encTimeBase, double syncIpts,
                                  int64_t syncOpts);

} // namespace corvina::engine
