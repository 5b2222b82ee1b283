// The decoders' picture memory: decoding into it gives the same pictures as the library's
// own buffers, with one thread and with frame threads; pictures suit the codecs (aligned
// planes and rows, room for every row); a new size gets a new layout; pictures outlive the
// pool; what the pool cannot serve goes to the library.
#include "engine/FramePool.h"

#include "binding/Binding.h"
#include "binding/Handles.h"
#include "tests/support/TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

namespace corvina::engine {
namespace {

using test::Fixture;

constexpr uintptr_t kHugePage = uintptr_t{2} << 20;

// Checksums of the visible samples of every decoded picture of the file's video stream.
struct Decoded {
    std::vector<uint64_t> Sums;
    int64_t Served = 0;
    int ThreadType = 0;  // the threading the decoder actually uses
    bool Aligned = true; // every plane start and row length a multiple of 64
};

uint64_t Fnv(uint64_t hash, const uint8_t* data, size_t size) {
    for (size_t i = 0; i < size; i++)
        hash = (hash ^ data[i]) * 1099511628211ull;
    return hash;
}

uint64_t PictureSum(const AVFrame* f) {
    const AVPixFmtDescriptor* desc =
        ff::util.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
    uint64_t hash = 14695981039346656037ull;
    for (int p = 0; p < 3; p++) {
        const int w = p ? -((-f->width) >> desc->log2_chroma_w) : f->width;
        const int h = p ? -((-f->height) >> desc->log2_chroma_h) : f->height;
        for (int y = 0; y < h; y++)
            hash = Fnv(hash, f->data[p] + static_cast<ptrdiff_t>(y) * f->linesize[p],
                       static_cast<size_t>(w));
    }
    return hash;
}

Decoded DecodeVideo(const std::string& fixture, bool pooled, int threads) {
    Decoded out;
    AVFormatContext* raw = nullptr;
    EXPECT_EQ(ff::format.avformat_open_input(&raw, Fixture(fixture).c_str(), nullptr, nullptr), 0);
    ff::InputContextPtr in(raw);
    EXPECT_GE(ff::format.avformat_find_stream_info(in.get(), nullptr), 0);
    const int index =
        ff::format.av_find_best_stream(in.get(), AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    EXPECT_GE(index, 0);
    if (index < 0)
        return out;
    const AVStream* st = in->streams[index];
    const AVCodec* codec = ff::codec.avcodec_find_decoder(st->codecpar->codec_id);
    FramePool pool; // declared before the decoder: outlives it
    ff::CodecContextPtr dec(ff::codec.avcodec_alloc_context3(codec));
    EXPECT_GE(ff::codec.avcodec_parameters_to_context(dec.get(), st->codecpar), 0);
    dec->thread_count = threads;
    dec->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
    if (pooled)
        pool.Serve(dec.get());
    EXPECT_GE(ff::codec.avcodec_open2(dec.get(), codec, nullptr), 0);
    out.ThreadType = dec->active_thread_type;
    ff::PacketPtr pkt(ff::codec.av_packet_alloc());
    ff::FramePtr frame = ff::MakeFrame();
    auto drain = [&] {
        while (ff::codec.avcodec_receive_frame(dec.get(), frame.get()) >= 0) {
            out.Sums.push_back(PictureSum(frame.get()));
            for (int p = 0; p < 3; p++)
                out.Aligned = out.Aligned &&
                              reinterpret_cast<uintptr_t>(frame->data[p]) % 64 == 0 &&
                              frame->linesize[p] % 64 == 0;
            ff::util.av_frame_unref(frame.get());
        }
    };
    while (ff::format.av_read_frame(in.get(), pkt.get()) >= 0) {
        if (pkt->stream_index == index) {
            EXPECT_GE(ff::codec.avcodec_send_packet(dec.get(), pkt.get()), 0);
            drain();
        }
        ff::codec.av_packet_unref(pkt.get());
    }
    ff::codec.avcodec_send_packet(dec.get(), nullptr);
    drain();
    out.Served = pool.Served();
    return out;
}

struct DecodeCase {
    const char* Fixture;
    int Threads;
};

class FramePoolDecode : public ::testing::TestWithParam<DecodeCase> {
protected:
    void SetUp() override { test::RequireLibraries(); }
};

class PicturePool : public ::testing::Test {
protected:
    void SetUp() override { test::RequireLibraries(); }
};

TEST_P(FramePoolDecode, GivesTheLibrarysPicturesFromItsOwnMemory) {
    const DecodeCase c = GetParam();
    const Decoded library = DecodeVideo(c.Fixture, false, c.Threads);
    const Decoded pooled = DecodeVideo(c.Fixture, true, c.Threads);
    ASSERT_GT(library.Sums.size(), 10u);
    EXPECT_EQ(pooled.Sums, library.Sums);
    EXPECT_GE(pooled.Served, static_cast<int64_t>(pooled.Sums.size()));
    EXPECT_TRUE(pooled.Aligned);
    // The pool keeps the decoder's frame threads.
    EXPECT_EQ(pooled.ThreadType, library.ThreadType);
    if (c.Threads > 1 && std::string_view(c.Fixture).find("h264") != std::string_view::npos) {
        EXPECT_EQ(pooled.ThreadType, FF_THREAD_FRAME);
    }
}

INSTANTIATE_TEST_SUITE_P(Fixtures, FramePoolDecode,
                         ::testing::Values(DecodeCase{"h264_aac_640x480_25.mov", 1},
                                           DecodeCase{"h264_aac_640x480_25.mov", 4},
                                           DecodeCase{"mpeg4_aac_854x480_30000_1001.mp4", 1},
                                           DecodeCase{"h264_aac_mono_176x144_15.mov", 3},
                                           DecodeCase{"rv20_ac3.rmvb", 1}),
                         [](const auto& info) {
                             std::string name = std::string(info.param.Fixture) + "_" +
                                                std::to_string(info.param.Threads) + "threads";
                             for (char& ch : name)
                                 if (!std::isalnum(static_cast<unsigned char>(ch)))
                                     ch = '_';
                             return name;
                         });

// An opened decoder for calling the pool directly, as the codec would.
struct OpenedDecoder {
    ff::CodecContextPtr Ctx;
    explicit OpenedDecoder(FramePool& pool, AVCodecID id = AV_CODEC_ID_H264,
                           AVPixelFormat format = AV_PIX_FMT_NONE) {
        const AVCodec* codec = ff::codec.avcodec_find_decoder(id);
        Ctx.reset(ff::codec.avcodec_alloc_context3(codec));
        Ctx->width = 64;
        Ctx->height = 48;
        Ctx->pix_fmt = format;
        pool.Serve(Ctx.get());
        EXPECT_GE(ff::codec.avcodec_open2(Ctx.get(), codec, nullptr), 0);
    }
};

ff::FramePtr Ask(AVCodecContext* ctx, AVPixelFormat format, int width, int height) {
    ff::FramePtr f = ff::MakeFrame();
    f->format = format;
    f->width = width;
    f->height = height;
    EXPECT_EQ(ctx->get_buffer2(ctx, f.get(), AV_GET_BUFFER_FLAG_REF), 0);
    return f;
}

// Writes every row of every plane the format has, to its full line size (the memory checker
// catches a plane that is too short), and checks the planes do not overlap.
void WriteWhole(AVFrame* f) {
    const AVPixFmtDescriptor* desc =
        ff::util.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(f->format));
    int planes = 0;
    for (int c = 0; c < desc->nb_components; c++)
        planes = std::max(planes, desc->comp[c].plane + 1);
    const uint8_t* lastEnd = nullptr;
    for (int p = 0; p < planes; p++) {
        const bool chroma = (p == 1 || p == 2) && !(desc->flags & AV_PIX_FMT_FLAG_RGB);
        const int h = chroma ? -((-f->height) >> desc->log2_chroma_h) : f->height;
        ASSERT_NE(f->data[p], nullptr) << "plane " << p;
        EXPECT_GE(f->data[p], lastEnd) << "plane " << p << " overlaps the one before";
        std::memset(f->data[p], 0x5a, static_cast<size_t>(f->linesize[p]) * h);
        lastEnd = f->data[p] + static_cast<size_t>(f->linesize[p]) * h;
    }
    EXPECT_EQ(f->extended_data, f->data);
}

TEST_F(PicturePool, PicturesOfEveryKindAndSizeHaveRoomForEveryRow) {
    FramePool pool;
    OpenedDecoder dec(pool);
    const struct {
        AVPixelFormat Format;
        int Width, Height;
    } asks[] = {{AV_PIX_FMT_YUV420P, 1920, 1080}, {AV_PIX_FMT_YUV420P, 1919, 1081},
                {AV_PIX_FMT_NV12, 176, 144},      {AV_PIX_FMT_YUV420P10LE, 3840, 2160},
                {AV_PIX_FMT_YUV444P, 33, 17},     {AV_PIX_FMT_GBRP, 640, 480},
                {AV_PIX_FMT_YUVA420P, 1, 1}};
    int64_t served = 0;
    for (const auto& ask : asks) {
        SCOPED_TRACE(testing::Message() << ff::util.av_get_pix_fmt_name(ask.Format) << " "
                                        << ask.Width << "x" << ask.Height);
        ff::FramePtr f = Ask(dec.Ctx.get(), ask.Format, ask.Width, ask.Height);
        EXPECT_EQ(pool.Served(), ++served);
        ASSERT_NE(f->buf[0], nullptr);
        for (int p = 0; p < 4 && f->data[p]; p++) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(f->data[p]) % 64, 0u) << "plane " << p;
            EXPECT_EQ(f->linesize[p] % 64, 0) << "plane " << p;
            EXPECT_GE(f->data[p], f->buf[0]->data);
            EXPECT_LE(f->data[p], f->buf[0]->data + f->buf[0]->size);
        }
        WriteWhole(f.get());
        // The same size again comes from the same layout.
        ff::FramePtr again = Ask(dec.Ctx.get(), ask.Format, ask.Width, ask.Height);
        ++served;
        EXPECT_NE(again->data[0], f->data[0]);
        for (int p = 0; p < 4; p++)
            EXPECT_EQ(again->linesize[p], f->linesize[p]);
    }
}

TEST_F(PicturePool, ReturnedPicturesAreReusedAndLargeOnesSitOnHugePageBoundaries) {
    FramePool pool;
    OpenedDecoder dec(pool);
    ff::FramePtr first = Ask(dec.Ctx.get(), AV_PIX_FMT_YUV420P, 3840, 2160);
    // A 3840x2160 picture is mapped on its own, from a 2 MiB boundary, and starts zeroed.
    EXPECT_EQ(reinterpret_cast<uintptr_t>(first->buf[0]->data) % kHugePage, 0u);
    EXPECT_EQ(first->data[0][0], 0);
    EXPECT_EQ(first->data[2][first->linesize[2] * 1079 + 1919], 0);
    uint8_t* const memory = first->buf[0]->data;
    ff::util.av_frame_unref(first.get());
    ff::FramePtr second = Ask(dec.Ctx.get(), AV_PIX_FMT_YUV420P, 3840, 2160);
    EXPECT_EQ(second->buf[0]->data, memory);
    EXPECT_EQ(pool.Served(), 2);
}

TEST_F(PicturePool, PicturesOutliveThePoolAndItsDecoder) {
    ff::FramePtr kept;
    {
        FramePool pool;
        OpenedDecoder dec(pool);
        kept = Ask(dec.Ctx.get(), AV_PIX_FMT_YUV420P, 1920, 1080);
        ff::FramePtr other = Ask(dec.Ctx.get(), AV_PIX_FMT_YUV420P, 640, 480);
    }
    WriteWhole(kept.get());
    EXPECT_EQ(kept->data[0][0], 0x5a);
}

TEST_F(PicturePool, PalettesAndOtherMediaGoToTheLibrary) {
    FramePool pool;
    OpenedDecoder dec(pool, AV_CODEC_ID_RAWVIDEO, AV_PIX_FMT_PAL8);
    ff::FramePtr pal = Ask(dec.Ctx.get(), AV_PIX_FMT_PAL8, 64, 48);
    EXPECT_NE(pal->data[1], nullptr); // the library's palette plane
    EXPECT_EQ(pool.Served(), 0);

    const AVCodec* aac = ff::codec.avcodec_find_decoder(AV_CODEC_ID_AAC);
    ff::CodecContextPtr audio(ff::codec.avcodec_alloc_context3(aac));
    pool.Serve(audio.get());
    EXPECT_EQ(audio->get_buffer2, ff::codec.avcodec_default_get_buffer2);
    EXPECT_EQ(audio->opaque, nullptr);
}

TEST_F(PicturePool, LargeBuffersAreWholeAndSmallOnesOrdinary) {
    for (const size_t size : {size_t{1000}, size_t{2} << 20, (size_t{5} << 20) + 12345}) {
        SCOPED_TRACE(size);
        AVBufferRef* raw = AllocLargeBuffer(size);
        ASSERT_NE(raw, nullptr);
        EXPECT_EQ(raw->size, size);
        EXPECT_EQ(raw->data[0], 0);
        EXPECT_EQ(raw->data[size - 1], 0);
        std::memset(raw->data, 0xa5, size);
        if (size >= (size_t{2} << 20)) {
            EXPECT_EQ(reinterpret_cast<uintptr_t>(raw->data) % kHugePage, 0u);
        }
        ff::util.av_buffer_unref(&raw);
        EXPECT_EQ(raw, nullptr);
    }
}

} // namespace
} // namespace corvina::engine
