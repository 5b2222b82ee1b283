// The engine core: one conversion job. Options fill the settings, OpenInput/OpenOutput open
// the files, Start runs the job (on its own thread or the caller's).
#pragma once

#include "binding/FrameHook.h"
#include "binding/Handles.h"
#include "engine/EngineSettings.h"
#include "engine/FramePool.h"
#include "engine/HookBitmap.h"
#include "engine/InputGuard.h"
#include "engine/TranscodeError.h"

#include <atomic>
#include <condition_variable>
#include <cstdarg>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace corvina::engine {

// Levels of the engine's log event.
inline constexpr int kLevelEnd = -1;  // the message that ends a run
inline constexpr int kLevelError = 0; // errors that do not stop the run
inline constexpr int kLevelInfo = 1;  // information and warnings
inline constexpr int kLevelDebug = 2; // debug detail

// One progress report (all of what the component's OnProgress carries).
struct ProgressInfo {
    int FrameNumber = -1;  // of the first video output stream, -1 without one
    int DurationMs = -1;   // total duration the job expects
    int64_t TotalSize = 0; // bytes written to the first output file
    float Bitrate = 0;     // kbit/s
    float Quality = 0;
    int TimeMs = 0; // output position
    int Fps = 0;
};

enum class HookAction { Continue, Ignore, Stop };

// The process-wide lock around every codec open and close and every stream probe.
std::mutex& CodecLock();

class TCustomTranscoder;
// Makes the library's I/O on `ctx` give up once `job` is asked to stop.
void InterruptibleContext(AVFormatContext* ctx, const TCustomTranscoder* job);

// The encoder's supported rate nearest to `fps` (smallest absolute difference; the first of
// equals wins). `rates` ends with {0, 0}.
AVRational NearestSupportedRate(const AVRational* rates, AVRational fps);

// rc_override text "start,end,q/start,end,q/...": q > 0 a fixed quantiser, q <= 0 a quality
// factor of -q/100. Raises "error parsing rc_override".
std::vector<RcOverride> ParseRcOverride(const std::string& text);

// One opened input file with a decoder context per stream.
struct InputFile {
    std::unique_ptr<InputGuard> Guard; // outlives Ctx, whose callbacks point at it
    ff::InputContextPtr Ctx;
    // Picture memory of the video decoders; declared before them, so it outlives them.
    std::vector<std::unique_ptr<FramePool>> PicturePools;
    std::vector<ff::CodecContextPtr> Decoders; // one per stream at open time
    int64_t TsOffset = 0;                      // µs, added to every packet's timestamps
    std::string FileName;
    bool RateEmulation = false; // read no faster than real time
};

// One output stream as set up before the run: its encoder context (or copy flag).
struct OutputStreamSetup {
    AVStream* Stream = nullptr; // owned by the file's context
    ff::CodecContextPtr Enc;
    const AVCodec* Codec = nullptr; // the encoder, none for stream copy
    bool StreamCopy = false;
    float Quality = 0;
    ff::Dictionary EncoderOptions; // private encoder options for avcodec_open2
};

// One output file: context, streams and its open file. Closing the file deletes it again
// when nothing was written into it.
struct OutputFile {
    OutputFile() = default;
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    ff::FormatContextPtr Ctx;
    std::vector<std::unique_ptr<OutputStreamSetup>> Streams;
    std::string FileName;       // the final name, as given
    std::string WritePath;      // where it is written until it is complete
    bool FileOpened = false;    // Ctx->pb is ours to close
    bool DeleteOnClose = false; // a failed job's output is no result
    ff::Dictionary MuxerOptions;
};

class TCustomTranscoder {
public:
    TCustomTranscoder();
    virtual ~TCustomTranscoder(); // stops the job and waits for its thread
    TCustomTranscoder(const TCustomTranscoder&) = delete;
    TCustomTranscoder& operator=(const TCustomTranscoder&) = delete;

    // --- Options ---
    // Frees a previous job's state and sets every setting to its default. Does nothing
    // until the libraries are bound.
    void ResetSettings();
    void ReleaseSettings();
    // name=value lines, applied in order.
    void ApplyOptionText(const std::string& text);
    // Applies one option; raises ETranscodeError when the value is refused.
    void SetOption(const std::string& name, const std::string& value);
    bool SetGenericOption(const std::string& name, const std::string& value);
    // The `target` preset for a type ("vcd", "svcd", "dvd", "dv", "dv50") and a norm ("pal",
    // "ntsc", "film"; anything else guesses it, falling back to `defaultNorm`).
    void ApplyTargetPreset(const std::string& type, const std::string& norm,
                           const std::string& defaultNorm);

    // Direct setters for the component's records.
    void SetInputFormat(const std::string& name);
    void SetOutputFormat(const std::string& name);
    void SetStartTime(int64_t us);
    void SetProgramId(int id);
    void SetVolume(int volume);
    void SetAudioSyncMethod(int method);
    void SetVideoSyncMethod(int method);
    void SetMuxMaxDelay(float seconds);
    void SetMuxPreload(float seconds);
    void SetTitle(const std::string& s);
    void SetAuthor(const std::string& s);
    void SetCopyright(const std::string& s);
    void SetComment(const std::string& s);
    void SetGenre(const std::string& s);
    void SetAlbum(const std::string& s);
    void SetYear(int year);
    void SetTrack(int track);
    void SetVerbosity(int level);
    // Threads each decoder and encoder of the job may use (frame or slice threading, as the
    // codec allows), from 1 to 16; set before the files are opened.
    void SetThreadCount(int count);

    EngineSettings& Settings() { return s_; }
    const EngineSettings& Settings() const { return s_; }
    const std::vector<std::string>& GenericOptionNames() const { return genericOptionNames_; }
    // Options the library's generic system lacks but the muxer or an encoder takes as private
    // ones ("muxrate", the SVCD "scan_offset", "preset", "crf", ...): copies go to
    // avformat_write_header and avcodec_open2. They stay current like the generic options.
    const ff::Dictionary& MuxerPrivateOptions() const { return muxerPrivateOptions_; }
    const ff::Dictionary& EncoderPrivateOptions(int mediaType) const {
        return encoderPrivateOptions_[mediaType];
    }

    // --- Files ---
    bool OpenInput(const std::string& fileName);
    bool OpenOutput(const std::string& fileName);
    const std::string& LastError() const { return lastError_; }
    int InputFileCount() const { return static_cast<int>(inputFiles_.size()); }
    int OutputFileCount() const { return static_cast<int>(outputFiles_.size()); }
    const InputFile& Input(int i) const { return *inputFiles_.at(i); }
    const OutputFile& Output(int i) const { return *outputFiles_.at(i); }
    void HasInputStreams(bool& hasVideo, bool& hasAudio, bool& hasSubtitle) const;
    void NewVideoStream(OutputFile& file);
    void NewAudioStream(OutputFile& file);
    void NewSubtitleStream(OutputFile& file);

    // --- Run ---
    // Starts the job: on a new thread (true) or synchronously. Returns false when nothing
    // was started (already running or terminated, or refused for missing files).
    bool Start(bool useThread, int priority = 0);
    void RequestStop();
    void Cancel();
    void Pause();
    void Resume();
    // Waits for the worker thread, if any, to end.
    void Wait();

    bool Running() const { return running_; }
    bool StopRequested() const { return stopRequested_; }
    bool Finished() const { return finished_; }
    bool Terminated() const { return terminated_; }
    bool ExceptionRaised() const { return exceptionRaised_; }
    std::string ExceptionMessage() const;

    int64_t ProgressInterval = 500000; // µs between progress reports

    // Events: called only when set, on the thread that runs the job.
    std::function<void(int level, const std::string& text)> OnLog;
    std::function<void(const ProgressInfo&)> OnProgress;
    std::function<void()> OnTerminate;
    std::function<void(int64_t pts, HookAction& action)> OnBeforeHook;
    // The picture as a 24-bit bitmap, once per decoded picture (frameNumber counts from 1,
    // pts in µs of input time). update (true on entry): the bitmap goes back into the
    // picture; stopHook (false on entry): no further calls for this job. A handler that
    // raises leaves its picture unchanged. While it is set, the video-hook plug-ins stay off.
    std::function<void(HookBitmap* bitmap, int frameNumber, int64_t pts, bool& update,
                       bool& stopHook)>
        OnCustomHook;
    bool OnCustomHookAssigned() const { return static_cast<bool>(OnCustomHook); }
    // Called first on the job's own thread, before anything of the run: the host notes which
    // thread runs the job there, so every log line of the run can be told apart.
    std::function<void()> OnThreadStart;

    // Time ranges (µs of input pts, start and end included) in which the video hooks run when
    // neither hook event is installed; kept sorted by end. Set before Start.
    void SetHookRanges(std::vector<std::pair<int64_t, int64_t>> ranges);
    const std::vector<std::pair<int64_t, int64_t>>& HookRanges() const { return hookRanges_; }

protected:
    void Log(int level, const std::string& text) const;
    void LogF(int level, const char* fmt, ...) const __attribute__((format(printf, 3, 4)));

    // Resolves a codec name for the given direction and media type, with the legacy
    // encoder aliases; sets lastError_ and returns false when it does not fit.
    // `codec`, when given, receives the codec the name selected (none for an empty name or
    // an encoder the library lacks but the engine provides itself).
    bool CheckCodecName(const std::string& name, AVMediaType type, bool encoder, AVCodecID& id,
                        const AVCodec** codec = nullptr);
    // Copies every remembered generic option whose flags contain all of `flags` from an
    // option context into a real one.
    void CopyGenericOptions(void* source, void* target, int flags) const;

    void* CodecOptionContext(int mediaType) const { return optionCodec_[mediaType].get(); }
    void* FormatOptionContext() const { return optionFormat_.get(); }
    void* ScalerOptionContext() const { return optionScaler_.get(); }

private:
    void ClearPerInputSettings();
    void ApplyTarget(const std::string& value);
    void AddVideoHook(const std::string& value);
    std::string PgmyuvRule(const std::string& formatName);
    bool SetPrivateOption(const std::string& name, const std::string& value);
    void BitrateWarning(const std::string& optionName) const;
    OutputFile& LastOutputFile();
    void RunJob();
    void Terminate();
    void WaitIfPaused();

    EngineSettings s_;
    std::vector<std::string> genericOptionNames_;
    // Option contexts: they only hold values set by SetGenericOption.
    ff::CodecContextPtr optionCodec_[5];
    ff::FormatContextPtr optionFormat_;
    ff::SwsContextPtr optionScaler_;
    ff::Dictionary muxerPrivateOptions_;
    ff::Dictionary encoderPrivateOptions_[5]; // by media type
    binding::FrameHookChain videoHooks_;

    std::vector<std::unique_ptr<InputFile>> inputFiles_;
    std::vector<std::unique_ptr<OutputFile>> outputFiles_;
    std::string lastError_;

    // Run flags: written by the job's thread, read by any.
    std::atomic<bool> running_{false}, stopRequested_{false}, finished_{false}, terminated_{false},
        exceptionRaised_{false};
    mutable std::mutex messageMutex_; // guards exceptionMessage_
    std::string exceptionMessage_;

    std::mutex pauseMutex_; // guards paused_; the run waits on pauseCv_ at packet boundaries
    std::condition_variable pauseCv_;
    bool paused_ = false;

    // The custom hook's bitmap, made on its first picture. It lives as long as the job, so
    // that a handler may keep the pointer and draw from it later (under its lock).
    std::unique_ptr<HookBitmap> hookBitmap_;
    std::vector<std::pair<int64_t, int64_t>> hookRanges_; // sorted by end
    std::thread worker_;
    std::thread terminateThread_; // reports the end of a job that never started

    friend class TranscodeRun;
};

} // namespace corvina::engine
