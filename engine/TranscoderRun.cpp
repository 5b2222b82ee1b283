#include "engine/Transcoder.h"

#include "engine/StrFormat.h"

namespace corvina::engine {

void TCustomTranscoder::RequestStop() {
    stopRequested_ = true;
    Resume(); // a paused job must see the request
}

void TCustomTranscoder::Pause() {
    std::lock_guard lock(pauseMutex_);
    paused_ = true;
}

void TCustomTranscoder::Resume() {
    {
        std::lock_guard lock(pauseMutex_);
        paused_ = false;
    }
    pauseCv_.notify_all();
}

void TCustomTranscoder::WaitIfPaused() {
    std::unique_lock lock(pauseMutex_);
    pauseCv_.wait(lock, [this] { return !paused_ || stopRequested_; });
}

void TCustomTranscoder::Wait() {
    if (worker_.joinable() && worker_.get_id() != std::this_thread::get_id())
        worker_.join();
    if (terminateThread_.joinable() && terminateThread_.get_id() != std::this_thread::get_id())
        terminateThread_.join();
}

} // namespace corvina::engine
