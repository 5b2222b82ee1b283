// AMR-NB encoding for containers that want it (3GP) when the libraries lack the encoder:
// 8000 Hz mono, 160 samples per frame, one of the eight narrow-band rates.
#pragma once

#include <cstdint>
#include <memory>

namespace corvina::engine {

class AmrNbEncoder {
public:
    static constexpr int kSampleRate = 8000;
    static constexpr int kFrameSamples = 160;
    static constexpr int kMaxFrameBytes = 32; // 12.2 kbit/s: ToC byte + 31 bytes

    // The mode (0..7) whose bit rate lies nearest to `bitRate`; the lower of two equals.
    static int ModeForBitRate(int64_t bitRate);
    static int BitRateOfMode(int mode);
    // Bytes of one frame of a mode, ToC byte included.
    static int FrameBytesOfMode(int mode);

    // Nothing when the codec library cannot set up an encoder state.
    static std::unique_ptr<AmrNbEncoder> Create(int64_t bitRate);
    ~AmrNbEncoder();
    AmrNbEncoder(const AmrNbEncoder&) = delete;
    AmrNbEncoder& operator=(const AmrNbEncoder&) = delete;

    int Mode() const { return mode_; }
    // Encodes exactly kFrameSamples samples into `out` (at least kMaxFrameBytes): one frame
    // in the storage format (ToC byte, then the speech bits). Returns its size, or < 0.
    int EncodeFrame(const int16_t* samples, uint8_t* out);

private:
    AmrNbEncoder(void* state, int mode) : state_(state), mode_(mode) {}
    void* state_; // owned; released with Encoder_Interface_exit
    int mode_;
};

} // namespace corvina::engine
