// Bounds for reading a file that may be hostile: the demuxer reads only the file it was
// given, the library's I/O gives up on a stop request or when an opening deadline passes,
// and decoders refuse pictures and audio frames beyond fixed sizes.
#pragma once

#include "binding/Handles.h"

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvina::engine {

// Opening and probing a file gives up after this long: a hostile file must not keep the
// caller (the GUI thread, for the engine and the probe alike) waiting for ever.
inline constexpr std::chrono::seconds kOpenTimeLimit{10};
// The limit StartDeadline() uses: kOpenTimeLimit unless changed (the fuzz targets shorten it,
// so that a run cut off by the limit is told apart from a real hang).
std::chrono::milliseconds OpenTimeLimit();
void SetOpenTimeLimit(std::chrono::milliseconds limit);

// Pictures larger than this in either direction, or with more pixels than kMaxFramePixels
// in all, are refused. The pixel limit admits 8K cinema (8192x4320). One 4:2:0 8-bit picture
// at the limit is about 51 MiB; a decoder holding its worst case of reference and delayed
// pictures (about 17) plus one per frame thread stays below roughly 1 GiB per job.
inline constexpr int kMaxFrameDimension = 16384;
inline constexpr int64_t kMaxFramePixels = int64_t{8192} * 4320;
// Samples per channel in one decoded audio frame: ten seconds at 192 kHz is more than any
// real format puts in one frame.
inline constexpr int64_t kMaxAudioFrameSamples = int64_t{192000} * 10;
// Decoder threads per stream: each frame thread holds pictures of its own.
inline constexpr int kMaxDecoderThreads = 16;

// Whether a picture size is within the limits above (unknown sizes, 0, pass).
bool FrameSizeAllowed(int width, int height);

// Applies the decoder limits to a decoder context before it is opened.
void LimitDecoder(AVCodecContext* dec);

// One guard per opened input; it must outlive the format context it is attached to
// (declare it before the context's owner).
//
// - Interrupt: the library's I/O and stream probing stop when `stop` (may be empty) says so,
//   or, between StartDeadline() and ClearDeadline(), once the deadline has passed.
// - Confinement: the context may open only `fileName` itself (and, for an image sequence,
//   the pictures its pattern names, in the same folder); playlists and external references
//   inside the file are refused, as is every nested context those would create; demuxers
//   that open further files by design (concatenation lists, scripts, packages) are not
//   used at all. Every open is limited to plain files.
class InputGuard {
public:
    InputGuard(std::string fileName, std::function<bool()> stop = {});
    InputGuard(const InputGuard&) = delete;
    InputGuard& operator=(const InputGuard&) = delete;

    // Sets the context's interrupt callback and its open callback. `ctx` is the top-level
    // context, before avformat_open_input.
    void Attach(AVFormatContext* ctx);
    // The demuxers an input may be read with: every one the library has except those that
    // open other files or addresses by design (see kReferenceDemuxers in the .cpp). Set as
    // the context's format whitelist, which nested contexts inherit.
    static const std::string& DemuxerWhitelist();
    // The interrupt callback and its opaque value, for I/O opened outside a context.
    const AVIOInterruptCB* Interrupt() const { return &interrupt_; }

    void StartDeadline() { StartDeadline(OpenTimeLimit()); }
    void StartDeadline(std::chrono::steady_clock::duration limit);
    void ClearDeadline();
    // True once the deadline has passed (the reason a read gave up, for the message).
    bool DeadlinePassed() const;
    bool Interrupted() const;

    // Per-stream options for avformat_find_stream_info: the decoder limits for the
    // decoders it opens internally. Owns the dictionaries.
    class ProbeOptions {
    public:
        explicit ProbeOptions(unsigned streamCount);
        ~ProbeOptions();
        ProbeOptions(const ProbeOptions&) = delete;
        ProbeOptions& operator=(const ProbeOptions&) = delete;
        AVDictionary** Get() { return dicts_.empty() ? nullptr : dicts_.data(); }

    private:
        std::vector<AVDictionary*> dicts_;
    };

private:
    static int InterruptCallback(void* opaque);
    static int OpenCallback(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                            AVDictionary** options);
    bool MayOpen(const AVFormatContext* s, const char* url) const;

    std::string fileName_;
    std::function<bool()> stop_;
    const AVFormatContext* top_ = nullptr;
    AVIOInterruptCB interrupt_{};
    // Steady-clock nanoseconds; 0 while no deadline runs. Read from the library's callbacks,
    // possibly on other threads than the one that sets it.
    std::atomic<int64_t> deadline_{0};
};

// Whether `name` is one of the names the image-sequence pattern `pattern` produces
// ("%d", "%0Nd" and "%%", as the library expands them).
bool MatchesSequencePattern(const std::string& pattern, const std::string& name);

} // namespace corvina::engine
