#include "engine/EncodeStage.h"

#include "binding/Binding.h"

#include <exception>
#include <utility>

namespace corvina::engine {

EncodeStage::EncodeStage(AVCodecContext* enc, ConvertFn convert, size_t depth)
    : enc_(enc), convert_(std::move(convert)), depth_(depth < 1 ? 1 : depth),
      packet_(ff::MakePacket()), thread_([this] { Run(); }) {}

EncodeStage::~EncodeStage() {
    {
        std::lock_guard lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (thread_.joinable())
        thread_.join();
}

bool EncodeStage::Send(Picture picture) {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return pending_.size() < depth_ || failed_; });
    if (failed_ || ended_)
        return false;
    pending_.push_back(std::move(picture));
    lock.unlock();
    changed_.notify_all();
    return true;
}

std::string EncodeStage::Failure() {
    std::lock_guard lock(mutex_);
    return failure_;
}

EncodeStage::Output EncodeStage::TakeReady() {
    std::lock_guard lock(mutex_);
    Output out = std::move(ready_);
    ready_ = {};
    return out;
}

bool EncodeStage::Finish(Output& rest) {
    {
        std::unique_lock lock(mutex_);
        ended_ = true;
        changed_.notify_all();
        changed_.wait(lock, [this] { return drained_ || failed_; });
    }
    rest = TakeReady();
    std::lock_guard lock(mutex_);
    return !failed_;
}

bool EncodeStage::Encode(const AVFrame* frame) {
    int r = ff::codec.avcodec_send_frame(enc_, frame);
    if (r < 0 && !(frame == nullptr && r == AVERROR_EOF))
        return false;
    for (;;) {
        r = ff::codec.avcodec_receive_packet(enc_, packet_.get());
        if (r == AVERROR(EAGAIN) || r == AVERROR_EOF)
            return true;
        if (r < 0)
            return false;
        Coded coded;
        coded.Packet = ff::MakePacket();
        if (!coded.Packet)
            return false;
        ff::codec.av_packet_move_ref(coded.Packet.get(), packet_.get());
        if (enc_->stats_out)
            coded.Stats = enc_->stats_out;
        std::lock_guard lock(mutex_);
        ready_.Packets.push_back(std::move(coded));
    }
}

void EncodeStage::Run() {
    bool ok = packet_ != nullptr;
    while (ok) {
        Picture picture;
        {
            std::unique_lock lock(mutex_);
            changed_.wait(lock, [this] { return quit_ || ended_ || !pending_.empty(); });
            if (quit_)
                return;
            if (pending_.empty()) // ended, and everything before it coded
                break;
            picture = std::move(pending_.front());
            pending_.pop_front();
        }
        changed_.notify_all(); // room in the queue
        std::string error;
        AVFrame* out = nullptr;
        try {
            out = convert_(picture.Source.get(), picture.Convert, error);
        } catch (const std::exception& e) {
            std::lock_guard lock(mutex_);
            failure_ = e.what(); // the job ends with it
            ok = false;
            break;
        }
        if (!out) {
            std::lock_guard lock(mutex_);
            ready_.Errors.push_back(error);
            continue;
        }
        out->interlaced_frame = picture.Interlaced;
        out->top_field_first = picture.TopFieldFirst;
        out->quality = picture.Quality;
        out->pict_type = static_cast<AVPictureType>(picture.PictType);
        out->pkt_duration = 1;
        for (int64_t i = 0; i < picture.Count && ok; i++) {
            out->pts = picture.FirstPts + i;
            ok = Encode(out);
        }
    }
    if (ok)
        ok = Encode(nullptr);
    {
        std::lock_guard lock(mutex_);
        failed_ = !ok;
        drained_ = ok;
    }
    changed_.notify_all();
}

} // namespace corvina::engine
