#include "engine/AmrNbEncoder.h"

#include <opencore-amrnb/interf_enc.h>

#include <cstdlib>

namespace corvina::engine {

namespace {

struct AmrMode {
    int BitRate;
    int FrameBytes; // ToC byte included
};

// One row per mode, in mode order (MR475 .. MR122).
constexpr AmrMode kModes[] = {
    {4750, 13}, {5150, 14}, {5900, 16},  {6700, 18},
    {7400, 20}, {7950, 21}, {10200, 27}, {12200, 32},
};
constexpr int kModeCount = sizeof kModes / sizeof kModes[0];

} // namespace

int AmrNbEncoder::ModeForBitRate(int64_t bitRate) {
    int best = 0;
    for (int m = 1; m < kModeCount; m++)
        if (std::llabs(kModes[m].BitRate - bitRate) < std::llabs(kModes[best].BitRate - bitRate))
            best = m;
    return best;
}

int AmrNbEncoder::BitRateOfMode(int mode) {
    return mode >= 0 && mode < kModeCount ? kModes[mode].BitRate : 0;
}

int AmrNbEncoder::FrameBytesOfMode(int mode) {
    return mode >= 0 && mode < kModeCount ? kModes[mode].FrameBytes : 0;
}

std::unique_ptr<AmrNbEncoder> AmrNbEncoder::Create(int64_t bitRate) {
    void* state = Encoder_Interface_init(0); // no discontinuous transmission
    if (!state)
        return nullptr;
    return std::unique_ptr<AmrNbEncoder>(new AmrNbEncoder(state, ModeForBitRate(bitRate)));
}

AmrNbEncoder::~AmrNbEncoder() {
    Encoder_Interface_exit(state_);
}

int AmrNbEncoder::EncodeFrame(const int16_t* samples, uint8_t* out) {
    return Encoder_Interface_Encode(state_, static_cast<::Mode>(mode_), samples, out, 0);
}

} // namespace corvina::engine
