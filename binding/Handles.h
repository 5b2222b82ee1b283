// Owning wrappers for library objects: one small unique_ptr alias per kind, freed through
// the bound tables.
#pragma once

#include "binding/Binding.h"

#include <cstdio>
#include <memory>

namespace corvina::ff {

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { codec.avcodec_free_context(&c); }
};
struct InputContextDeleter { // from avformat_open_input
    void operator()(AVFormatContext* c) const { format.avformat_close_input(&c); }
};
struct FormatContextDeleter { // allocated, never opened as input
    void operator()(AVFormatContext* c) const { format.avformat_free_context(c); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { codec.av_packet_free(&p); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { util.av_frame_free(&f); }
};
struct SwsDeleter {
    void operator()(SwsContext* s) const { scale.sws_freeContext(s); }
};
struct SwrDeleter {
    void operator()(SwrContext* s) const { resample.swr_free(&s); }
};
struct AudioFifoDeleter {
    void operator()(AVAudioFifo* f) const { util.av_audio_fifo_free(f); }
};
struct IoContextDeleter { // avio_open2
    void operator()(AVIOContext* io) const { format.avio_closep(&io); }
};
struct AvFreeDeleter {
    void operator()(void* p) const { util.av_free(p); }
};
struct ParserDeleter {
    void operator()(AVCodecParserContext* p) const { codec.av_parser_close(p); }
};
struct BsfDeleter {
    void operator()(AVBSFContext* b) const { codec.av_bsf_free(&b); }
};
struct BufferPoolDeleter { // pictures still out keep it until they come back
    void operator()(AVBufferPool* p) const { util.av_buffer_pool_uninit(&p); }
};
struct FileDeleter {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;
using SwsContextPtr = std::unique_ptr<SwsContext, SwsDeleter>;
using SwrContextPtr = std::unique_ptr<SwrContext, SwrDeleter>;
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;
using IoContextPtr = std::unique_ptr<AVIOContext, IoContextDeleter>;
using ParserPtr = std::unique_ptr<AVCodecParserContext, ParserDeleter>;
using BsfPtr = std::unique_ptr<AVBSFContext, BsfDeleter>;
using BufferPoolPtr = std::unique_ptr<AVBufferPool, BufferPoolDeleter>;
using FilePtr = std::unique_ptr<std::FILE, FileDeleter>;
template <typename T> using AvBufferPtr = std::unique_ptr<T, AvFreeDeleter>;

// An AVDictionary* that frees itself; pass Get() / Address() to the library.
class Dictionary {
public:
    Dictionary() = default;
    ~Dictionary() { Reset(); }
    Dictionary(const Dictionary&) = delete;
    Dictionary& operator=(const Dictionary&) = delete;
    Dictionary(Dictionary&& o) noexcept : dict_(o.dict_) { o.dict_ = nullptr; }
    Dictionary& operator=(Dictionary&& o) noexcept {
        if (this != &o) {
            Reset();
            dict_ = o.dict_;
            o.dict_ = nullptr;
        }
        return *this;
    }
    int Set(const char* key, const char* value, int flags = 0) {
        return util.av_dict_set(&dict_, key, value, flags);
    }
    const char* Get(const char* key) const {
        const AVDictionaryEntry* e = util.av_dict_get(dict_, key, nullptr, 0);
        return e ? e->value : nullptr;
    }
    AVDictionary* Raw() const { return dict_; }
    AVDictionary** Address() { return &dict_; }
    int Count() const { return dict_ ? util.av_dict_count(dict_) : 0; }
    void Reset() {
        if (dict_)
            util.av_dict_free(&dict_);
    }

private:
    AVDictionary* dict_ = nullptr;
};

inline PacketPtr MakePacket() {
    return PacketPtr(codec.av_packet_alloc());
}
inline FramePtr MakeFrame() {
    return FramePtr(util.av_frame_alloc());
}

} // namespace corvina::ff
