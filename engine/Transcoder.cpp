#include "engine/Transcoder.h"

#include "engine/StrFormat.h"

#include <cstdio>

namespace corvina::engine {

std::mutex& CodecLock() {
    static std::mutex lock;
    return lock;
}

OutputFile::~OutputFile() {
    if (!Ctx)
        return;
    if (FileOpened)
        ff::format.avio_closep(&Ctx->pb);
    Ctx.reset();
    // Still open here means it never got its final name: a job that failed, stopped before
    // its first packet, or never ran. What it wrote is no result.
    if (FileOpened && !WritePath.empty())
        std::remove(WritePath.c_str());
}

TCustomTranscoder::TCustomTranscoder() {
    ResetSettings();
}

TCustomTranscoder::~TCustomTranscoder() {
    RequestStop();
    Wait();
    ReleaseSettings();
}

void TCustomTranscoder::Log(int level, const std::string& text) const {
    if (OnLog)
        OnLog(level, text);
}

void TCustomTranscoder::LogF(int level, const char* fmt, ...) const {
    if (!OnLog)
        return;
    va_list args;
    va_start(args, fmt);
    std::string text = StrFormatV(fmt, args);
    va_end(args);
    OnLog(level, text);
}

std::string TCustomTranscoder::ExceptionMessage() const {
    std::lock_guard lock(messageMutex_);
    return exceptionMessage_;
}

} // namespace corvina::engine
