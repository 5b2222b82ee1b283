#include "engine/Transcoder.h"

#include "engine/StrFormat.h"

#include <sys/stat.h>

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
    // A file that stayed empty, or that a failed job left half-written, is no output at
    // all: remove it rather than leave something that looks like a result.
    if (FileOpened) {
        struct stat st;
        if (stat(FileName.c_str(), &st) == 0 && S_ISREG(st.st_mode) &&
            (st.st_size == 0 || DeleteOnClose))
            std::remove(FileName.c_str());
    }
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
