#include "engine/VideoSync.h"

#include <algorithm>
#include <cmath>

namespace corvina::engine {

VideoSyncDecision DecideVideoSync(int method, AVRational encTimeBase, double syncIpts,
                                  int64_t syncOpts) {
    VideoSyncDecision d;
    d.SyncOpts = syncOpts;
    const double tb = av_q2d(encTimeBase);
    if (tb <= 0)
        return d;
    // Kept where llrint is defined, whatever the input's timestamps claim.
    const double ipts = std::clamp(syncIpts / tb, -0x1p62, 0x1p62);
    if (method > 0 || (method != 0 && tb > 0.001)) {
        const double vdelta = ipts - static_cast<double>(syncOpts);
        if (vdelta < -1.1)
            d.Frames = 0;
        else if (method == 2)
            d.SyncOpts = std::llrint(ipts);
        else if (vdelta > 1.1 && vdelta * tb > kMaxFilledGapSeconds)
            d.SyncOpts = std::llrint(ipts); // a discontinuity: no copies (see the header)
        else if (vdelta > 1.1)
            d.Frames = static_cast<int>(std::llrint(vdelta));
    } else {
        d.SyncOpts = std::llrint(ipts);
    }
    return d;
}

} // namespace corvina::engine
