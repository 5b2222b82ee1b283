// One video output's picture conversion (scale, pad) and encoder, run on a thread of its own,
// so that they overlap with reading and decoding the next pictures: both cores stay busy even
// with encoders that do not thread. Decoded pictures go in through a short bounded queue
// (references, not copies); coded packets come back in the encoder's order with what it said
// of each.
#pragma once

#include "binding/Handles.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace corvina::engine {

class EncodeStage {
public:
    // One decoded picture for the encoder, coded `Count` times (a duplicate is the same
    // picture again) from timestamp `FirstPts` on, with the fields the encoder reads.
    struct Picture {
        ff::FramePtr Source;  // cropped as the output wants it
        bool Convert = false; // scaled (or its format converted) on the way
        int64_t FirstPts = 0;
        int64_t Count = 1;
        int Interlaced = 0, TopFieldFirst = 0, Quality = 0, PictType = 0;
    };
    struct Coded {
        ff::PacketPtr Packet;
        std::string Stats; // the encoder's first-pass statistics for this packet, if any
    };
    struct Output {
        std::vector<Coded> Packets;
        std::vector<std::string> Errors; // pictures that could not be converted (skipped)
    };
    // Turns a source picture into the one to encode (the source itself when nothing is to
    // change); nullptr and a reason when it cannot. Runs on the stage's thread only.
    using ConvertFn = std::function<AVFrame*(AVFrame* source, bool convert, std::string& error)>;

    // The encoder is open and is the stage's alone until it is destroyed, as is whatever
    // `convert` works with. `depth` pictures may wait before Send blocks.
    EncodeStage(AVCodecContext* enc, ConvertFn convert, size_t depth);
    ~EncodeStage(); // abandons what waits and joins the thread
    EncodeStage(const EncodeStage&) = delete;
    EncodeStage& operator=(const EncodeStage&) = delete;

    // Queues a picture; blocks while the queue is full. False once the encoder failed:
    // nothing more is taken.
    bool Send(Picture picture);
    // Ends the stream: the encoder is drained. Waits for it and returns the rest; false when
    // the encoder failed.
    bool Finish(Output& rest);
    // What came out so far, oldest first; does not wait.
    Output TakeReady();
    // Why the stage failed, when a conversion raised an error; empty when the encoder did.
    std::string Failure();

private:
    void Run();
    bool Encode(const AVFrame* frame); // false: the encoder failed

    AVCodecContext* enc_;
    ConvertFn convert_;
    const size_t depth_;
    ff::PacketPtr packet_; // the thread's

    std::mutex mutex_; // guards everything below
    std::condition_variable changed_;
    std::deque<Picture> pending_;
    bool ended_ = false; // no picture follows those pending
    Output ready_;
    bool drained_ = false;
    bool failed_ = false;
    std::string failure_;
    bool quit_ = false;
    std::thread thread_; // last: started once the state above exists
};

} // namespace corvina::engine
