#include "engine/AudioSync.h"

#include <algorithm>
#include <cmath>

namespace corvina::engine {

void ApplyVolume(int16_t* samples, size_t count, int volume) {
    if (volume == 256)
        return;
    for (size_t i = 0; i < count; i++) {
        const int v = (samples[i] * volume + 128) >> 8;
        samples[i] = static_cast<int16_t>(std::clamp(v, -32768, 32767));
    }
}

AudioSyncAction DecideAudioSync(const AudioSyncInput& in) {
    AudioSyncAction out;
    const int encFrame = in.EncChannels * 2;
    const int decFrame = in.DecChannels * 2;
    if (encFrame <= 0 || decFrame <= 0 || in.EncRate <= 0)
        return out;
    out.Delta = in.SyncIpts * in.EncRate - static_cast<double>(in.SyncOpts) -
                static_cast<double>(in.FifoBytes / encFrame);
    const double idelta = out.Delta * in.DecRate / in.EncRate;
    int64_t byteDelta = static_cast<int64_t>(idelta) * decFrame;

    if (std::fabs(out.Delta) <= 50)
        return out;
    if (in.IsStart || std::fabs(out.Delta) > in.DriftThreshold * in.EncRate) {
        if (byteDelta < 0) {
            byteDelta = std::max<int64_t>(byteDelta, -in.BlockBytes);
            out.Action = AudioSyncAction::kDrop;
            out.Bytes = static_cast<int>(-byteDelta);
            // Nothing left of the block: the next one gets the chance to correct.
            out.ClearIsStart = out.Bytes < in.BlockBytes;
        } else {
            out.Action = AudioSyncAction::kSilence;
            if (byteDelta + in.BlockBytes <= kMaxSilenceBlockBytes) {
                out.ClearIsStart = true;
            } else {
                // Cut to whole sample frames, and never below nothing for a block that is
                // itself larger than the cap.
                byteDelta = std::max(kMaxSilenceBlockBytes - in.BlockBytes, 0);
                byteDelta -= byteDelta % decFrame;
            }
            out.Bytes = static_cast<int>(byteDelta);
        }
    } else if (in.Method > 1) {
        out.Action = AudioSyncAction::kCompensate;
        out.Compensation = std::clamp(static_cast<int>(out.Delta), -in.Method, in.Method);
    }
    return out;
}

} // namespace corvina::engine
