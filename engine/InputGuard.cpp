#include "engine/InputGuard.h"

#include <cctype>
#include <cstring>

namespace corvina::engine {

namespace {

// Demuxers whose whole purpose is to read other files or addresses; some of them open
// those through nested contexts that do not inherit the open callback.
// clang-format off
const char* const kReferenceDemuxers[] = {
    "concat",      // a list of further files
    "hls",         // a playlist: every segment is another file or address; a live one
    "dash",        //   would wait for updates until the time limit ends it
    "imf",         // a package naming its track files
    "avisynth",    // a script: may read anything
    "vapoursynth", // likewise
    "sdp",         // a session description naming network streams
    "rtsp",        // network
};
// clang-format on

bool IsReferenceDemuxer(const char* name) {
    for (const char* r : kReferenceDemuxers)
        if (std::strcmp(r, name) == 0)
            return true;
    return false;
}

int64_t NowNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

} // namespace

namespace {
std::atomic<int64_t> openTimeLimitMs{
    std::chrono::duration_cast<std::chrono::milliseconds>(kOpenTimeLimit).count()};
} // namespace

std::chrono::milliseconds OpenTimeLimit() {
    return std::chrono::milliseconds(openTimeLimitMs.load());
}

void SetOpenTimeLimit(std::chrono::milliseconds limit) {
    openTimeLimitMs = limit.count();
}

bool FrameSizeAllowed(int width, int height) {
    if (width <= 0 || height <= 0)
        return true; // not known yet: the decoder's own limit applies
    return width <= kMaxFrameDimension && height <= kMaxFrameDimension &&
           int64_t{width} * height <= kMaxFramePixels;
}

void LimitDecoder(AVCodecContext* dec) {
    dec->max_pixels = kMaxFramePixels;
    dec->max_samples = kMaxAudioFrameSamples;
    if (dec->thread_count > kMaxDecoderThreads)
        dec->thread_count = kMaxDecoderThreads;
}

bool MatchesSequencePattern(const std::string& pattern, const std::string& name) {
    size_t p = 0, n = 0;
    bool numberSeen = false;
    while (p < pattern.size()) {
        if (pattern[p] != '%') {
            if (n >= name.size() || name[n] != pattern[p])
                return false;
            p++, n++;
            continue;
        }
        p++;
        if (p < pattern.size() && pattern[p] == '%') {
            if (n >= name.size() || name[n] != '%')
                return false;
            p++, n++;
            continue;
        }
        size_t width = 0;
        while (p < pattern.size() && std::isdigit(static_cast<unsigned char>(pattern[p])))
            width = width * 10 + static_cast<size_t>(pattern[p++] - '0');
        if (p >= pattern.size() || pattern[p] != 'd' || numberSeen)
            return false; // not a pattern the library expands
        p++;
        numberSeen = true;
        size_t digits = 0;
        while (n < name.size() && std::isdigit(static_cast<unsigned char>(name[n])))
            n++, digits++;
        if (digits == 0 || digits < width)
            return false;
    }
    return numberSeen && n == name.size();
}

InputGuard::InputGuard(std::string fileName, std::function<bool()> stop)
    : fileName_(std::move(fileName)), stop_(std::move(stop)) {
    interrupt_.callback = &InputGuard::InterruptCallback;
    interrupt_.opaque = this;
}

const std::string& InputGuard::DemuxerWhitelist() {
    // Built once the libraries are bound; the list of demuxers never changes afterwards.
    static const std::string list = [] {
        std::string names;
        void* it = nullptr;
        while (const AVInputFormat* f = ff::format.av_demuxer_iterate(&it)) {
            if (IsReferenceDemuxer(f->name))
                continue;
            if (!names.empty())
                names += ',';
            names += f->name;
        }
        return names;
    }();
    return list;
}

void InputGuard::Attach(AVFormatContext* ctx) {
    top_ = ctx;
    // The context frees its own copy.
    ctx->format_whitelist = ff::util.av_strdup(DemuxerWhitelist().c_str());
    ctx->interrupt_callback = interrupt_;
    ctx->io_open = &InputGuard::OpenCallback;
}

void InputGuard::StartDeadline(std::chrono::steady_clock::duration limit) {
    deadline_ = NowNs() + std::chrono::duration_cast<std::chrono::nanoseconds>(limit).count();
}

void InputGuard::ClearDeadline() {
    deadline_ = 0;
}

bool InputGuard::DeadlinePassed() const {
    const int64_t deadline = deadline_;
    return deadline != 0 && NowNs() > deadline;
}

bool InputGuard::Interrupted() const {
    return DeadlinePassed() || (stop_ && stop_());
}

int InputGuard::InterruptCallback(void* opaque) {
    return static_cast<const InputGuard*>(opaque)->Interrupted() ? 1 : 0;
}

bool InputGuard::MayOpen(const AVFormatContext* s, const char* url) const {
    // Nested contexts (a playlist's segments, a concatenation's members) never open anything.
    if (s != top_ || !url)
        return false;
    if (fileName_ == url)
        return true;
    // An image sequence reads the pictures its pattern names, and nothing else.
    return s->iformat && std::strcmp(s->iformat->name, "image2") == 0 &&
           MatchesSequencePattern(fileName_, url);
}

int InputGuard::OpenCallback(AVFormatContext* s, AVIOContext** pb, const char* url, int flags,
                             AVDictionary** options) {
    // A context that is not ours (a nested one that copied only this callback) gets nothing.
    if (s->interrupt_callback.callback != &InputGuard::InterruptCallback)
        return AVERROR(EPERM);
    const auto* guard = static_cast<const InputGuard*>(s->interrupt_callback.opaque);
    if ((flags & AVIO_FLAG_WRITE) || !guard->MayOpen(s, url))
        return AVERROR(EPERM);
    ff::Dictionary local;
    AVDictionary** opts = options ? options : local.Address();
    ff::util.av_dict_set(opts, "protocol_whitelist", "file", 0);
    return ff::format.avio_open2(pb, url, flags, &s->interrupt_callback, opts);
}

InputGuard::ProbeOptions::ProbeOptions(unsigned streamCount) : dicts_(streamCount, nullptr) {
    for (AVDictionary*& d : dicts_) {
        ff::util.av_dict_set_int(&d, "max_pixels", kMaxFramePixels, 0);
        ff::util.av_dict_set_int(&d, "max_samples", kMaxAudioFrameSamples, 0);
    }
}

InputGuard::ProbeOptions::~ProbeOptions() {
    for (AVDictionary*& d : dicts_)
        ff::util.av_dict_free(&d);
}

} // namespace corvina::engine
