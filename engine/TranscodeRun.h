// The state of one running job: stream tables, per-stream working state and the job's own
// work buffers (never process-wide, so several jobs can run at once). Internal to the
// engine: TranscoderRun.cpp holds set-up, packet loop, stream copy and reports;
// AvOutput.cpp the decoded-frame work (synchronisation, resampling, scaling, encoding).
#pragma once

#include "engine/AmrNbEncoder.h"
#include "engine/EncodeStage.h"
#include "engine/Orientation.h"
#include "engine/Transcoder.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace corvina::engine {

// An encoder that pipelines whole pictures on threads of its own, rather than cutting each
// picture into slices.
inline bool PipelinesPictures(const AVCodec* codec) {
    return codec &&
           (codec->capabilities & (AV_CODEC_CAP_FRAME_THREADS | AV_CODEC_CAP_OTHER_THREADS));
}

struct InputFileState {
    int FirstStream = 0; // index of its first stream in the input-stream table
    int StreamCount = 0;
    bool EofReached = false;
};

struct InputStreamState {
    int File = 0;
    int Index = 0; // within the file
    AVStream* St = nullptr;
    AVCodecContext* Dec = nullptr; // owned by the InputFile
    bool Discard = true;           // cleared when some output stream uses it
    bool DecodingNeeded = false;
    bool DecoderOpen = false;
    int64_t Pts = 0;                  // µs
    int64_t NextPts = AV_NOPTS_VALUE; // µs
    bool IsStart = true;              // until audio sync made its first correction
    bool RateEmulation = false;
    int64_t RateStart = 0;
    int64_t FrameCounter = 0;
    float Quality = 0;                    // of the last decoded picture
    int AudioChannels = 0, AudioRate = 0; // of the last decoded audio, as 16-bit samples

    // Pictures stored turned: how to show them upright, and the buffers that does it in.
    Orientation Orient;
    ff::FramePtr Upright;           // the upright picture the outputs get
    ff::FramePtr OrientReady;       // the decoded picture in a format the turn takes
    ff::SwsContextPtr OrientFormat; // makes OrientReady when the decoder's format is refused
};

struct OutputStreamState {
    int File = 0;
    int Index = 0;       // within the file
    int SourceIndex = 0; // input-stream table index
    int SyncInput = 0;   // input-stream table index
    AVStream* St = nullptr;
    OutputStreamSetup* Setup = nullptr; // encoder context, copy flag, quality
    AVCodecContext* Enc = nullptr;      // == Setup->Enc
    bool EncodingNeeded = false;
    bool EncoderOpen = false;
    int64_t FrameNumber = 0;
    int64_t SyncOpts = 0; // next output timestamp, encoder time-base units
    bool WroteFirstPacket = false;
    int64_t CurrentPts = 0; // end of the last written packet, stream time base

    // Video working state
    bool VideoCrop = false;
    int CropTop = 0, CropLeft = 0;
    bool VideoPad = false;
    int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
    bool VideoResample = false;
    ff::SwsContextPtr Scaler;
    int ScaledHeight = 0;
    ff::FramePtr TempPicture;
    float LastQuality = 0;     // quality of the last coded picture (lambda units)
    int LastPictType = 0;      // AVPictureType of the last coded picture
    int64_t LastLumaError = 0; // squared luma error of the last coded picture (PSNR flag)

    // Audio working state: the FIFO holds interleaved signed 16-bit samples.
    bool AudioResample = false;
    ff::SwrContextPtr Resampler;
    std::vector<uint8_t> Fifo;
    int ResamplerInChannels = 0, ResamplerInRate = 0; // what Resampler was made for
    std::unique_ptr<AmrNbEncoder> Amr; // the engine's own encoder when the library has none
    int64_t NextPts = AV_NOPTS_VALUE;  // encoder time base: the least pts the next frame takes

    // Conversion and encoder on a thread of their own (several threads, no per-picture
    // statistics file); while it exists only it touches the encoder, Scaler and TempPicture.
    std::unique_ptr<EncodeStage> Stage;

    // Two-pass
    ff::FilePtr LogFile;
    ff::AvBufferPtr<char> StatsIn; // pass-2 statistics handed to the encoder
};

// The frame-hook stage's state for one run (FrameHooks.cpp).
struct FrameHookState {
    int FrameCounter = 0;                     // pictures that entered pre-processing
    HookAction Action = HookAction::Continue; // the plug-in chain's current decision
    size_t RangeIndex = 0;                    // first hook range still to look at
    bool CustomHookOff = false;               // given up: stopped by its handler, no converter
    ff::FramePtr Work;                        // the processed copy the outputs get instead
    ff::SwsContextPtr ToRgb, FromRgb;         // cached converters for the custom hook
};

// Scales interleaved 16-bit samples by volume/256 with rounding, clipped to 16 bits.
void ApplyVolume(int16_t* samples, size_t count, int volume);

class TranscodeRun {
public:
    explicit TranscodeRun(TCustomTranscoder& job);
    ~TranscodeRun();
    TranscodeRun(const TranscodeRun&) = delete;
    TranscodeRun& operator=(const TranscodeRun&) = delete;

    // Set-up, packet loop and end of run; raises ETranscodeError.
    void Execute();

private:
    // --- TranscoderRun.cpp ---
    void SetUp();
    void SetUpStreamCopy(OutputStreamState& ost, InputStreamState& ist);
    void OpenTwoPassLog(OutputStreamState& ost, int globalIndex);
    void OpenDecoder(InputStreamState& ist);
    void WriteHeaders();
    void PacketLoop();
    // Feeds one packet (or, with none, the end of the stream) through the input stream;
    // false when the decoder refused it.
    bool ProcessPacket(InputStreamState& ist, const AVPacket* pkt);
    void HandleDecodedFrame(InputStreamState& ist, AVFrame* frame);
    void HandleSubtitle(InputStreamState& ist, AVSubtitle& sub);
    void CopyPacket(OutputStreamState& ost, InputStreamState& ist, const AVPacket& pkt);
    void RateEmulate(InputStreamState& ist);
    void Report(bool final);
    void CloseCodecs();
    double SyncInputPts(const OutputStreamState& ost) const; // seconds

public:
    // Writes one packet whose timestamps are in the output stream's time base.
    void WritePacket(OutputStreamState& ost, AVPacket* pkt);

private:
    // --- FrameHooks.cpp ---
    // Deinterlacing and the frame hooks, once per decoded picture. Returns the picture the
    // outputs take: the one handed in, or the run's processed copy of it.
    AVFrame* PreProcessVideoFrame(InputStreamState& ist, AVFrame* picture);
    // The picture as it is seen: the stream's own when it is stored upright, else the
    // stream's upright copy. nullptr when it cannot be turned (logged).
    AVFrame* TurnUpright(InputStreamState& ist, AVFrame* picture);
    void UpdatePluginGate(int64_t pts);
    AVFrame* WorkingCopy(const AVFrame* picture);
    void RunCustomHook(AVFrame* work, int64_t pts);
    void AbandonCustomHook();

    // --- AvOutput.cpp ---
    // Encoding set-up of S5 for one output stream (FIFO, resampler flag, down-mix request /
    // crop, pad, scaler, temporary picture) and opening its encoder (S9).
    void PrepareAudioEncoding(OutputStreamState& ost, InputStreamState& ist);
    void PrepareVideoEncoding(OutputStreamState& ost, InputStreamState& ist);
    void OpenEncoder(OutputStreamState& ost);
    // Decoded audio in the decoder's format -> interleaved signed 16-bit at the decoder's
    // rate and channel count (the form all audio arithmetic counts in).
    void DecodedAudioToS16(InputStreamState& ist, const AVFrame* frame, std::vector<uint8_t>& out);
    void DoAudioOut(OutputStreamState& ost, InputStreamState& ist, const uint8_t* buf, int size);
    void DoVideoOut(OutputStreamState& ost, InputStreamState& ist, AVFrame* picture);
    void DoSubtitleOut(OutputStreamState& ost, InputStreamState& ist, const AVSubtitle& sub,
                       int64_t pts);
    // Drains an encoder at the end of its input (flush step of packet processing).
    void FlushEncoder(OutputStreamState& ost);
    void WriteVstats(OutputStreamState& ost, int frameSize);
    void EncodeAudioFrame(OutputStreamState& ost, const uint8_t* s16, int samples);
    // Encodes every whole frame the FIFO holds (16-bit samples) and keeps the rest.
    void EncodeWholeFrames(OutputStreamState& ost, int frameSize, int channels);
    void SendFrame(OutputStreamState& ost, AVFrame* frame); // none: drain
    void ReceivePackets(OutputStreamState& ost);
    // What follows each coded packet: statistics, the first-pass log, rescaling, writing.
    void WriteCoded(OutputStreamState& ost, AVPacket* pkt, const char* passStats);
    void WriteCoded(OutputStreamState& ost, EncodeStage::Output output);
    // The picture an output encodes: the cropped source itself, or it scaled and padded
    // into the output's own picture. nullptr with a reason when that fails. With a stage,
    // runs on its thread, which alone then uses the scaler and the output's picture.
    AVFrame* ConvertPicture(OutputStreamState& ost, AVFrame* src, bool resample,
                            std::string& error);
    void EnsureResampler(OutputStreamState& ost, int decChannels, int decRate);
    void EnsureScaler(OutputStreamState& ost, int width, int height, AVPixelFormat format);

    TCustomTranscoder& job_;
    EngineSettings& s_;
    std::vector<InputFileState> files_;
    std::vector<InputStreamState> ist_;
    std::vector<OutputStreamState> ost_;

    int64_t timerStart_ = 0;
    int64_t videoSize_ = 0, audioSize_ = 0, extraSize_ = 0;
    int framesDup_ = 0, framesDrop_ = 0;
    int qpHistogram_[52] = {};

    // The job's own work buffers, allocated once and reused.
    std::vector<uint8_t> audioS16_;       // decoded audio as interleaved 16-bit
    std::vector<uint8_t> audioWork_;      // resampler output / encoder input
    std::vector<uint8_t> silence_;        // silence insertion
    std::vector<uint8_t> subtitleBuffer_; // encoded subtitles
    ff::FramePtr encodeFrame_;            // the frame handed to an encoder
    ff::FramePtr decodedFrame_;
    ff::PacketPtr encodedPacket_;
    ff::FilePtr vstats_;
    FrameHookState hooks_;
};

} // namespace corvina::engine
