#include "engine/FramePool.h"

#include "binding/Binding.h"

#include <algorithm>
#include <sys/mman.h>

extern "C" {
#include <libavutil/imgutils.h>
#include <libavutil/macros.h>
#include <libavutil/pixdesc.h>
}

namespace corvina::engine {
namespace {

constexpr size_t kHugePage = size_t{2} << 20;
constexpr size_t kPage = 4096;
// Plane starts suit the widest vector unit; the codecs' vector loops may run a little past a
// plane's last row, as the library's own buffers allow.
constexpr int kAlign = 64;
constexpr size_t kSlack = 16 + kAlign;

void UnmapBuffer(void* opaque, uint8_t* data) {
    munmap(data, reinterpret_cast<uintptr_t>(opaque));
}

AVBufferRef* PoolAlloc(void* /*opaque*/, size_t size) {
    return AllocLargeBuffer(size);
}

} // namespace

AVBufferRef* AllocLargeBuffer(size_t size) {
    if (size < kHugePage)
        return ff::util.av_buffer_allocz(size);
    // Map a huge page more than needed and keep the part that starts on a boundary.
    const size_t length = FFALIGN(size, kPage);
    void* raw = mmap(nullptr, length + kHugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (raw == MAP_FAILED)
        return nullptr;
    const auto first = reinterpret_cast<uintptr_t>(raw);
    const uintptr_t start = FFALIGN(first, kHugePage);
    if (start > first)
        munmap(raw, start - first);
    const uintptr_t end = first + length + kHugePage;
    if (end > start + length)
        munmap(reinterpret_cast<void*>(start + length), end - (start + length));
    auto* data = reinterpret_cast<uint8_t*>(start);
    // Only whole huge pages: a tail in one would make the picture take up to 2 MiB more.
    // Refused (huge pages switched off), the mapping simply keeps small pages.
    madvise(data, length / kHugePage * kHugePage, MADV_HUGEPAGE);
    AVBufferRef* ref =
        ff::util.av_buffer_create(data, size, UnmapBuffer, reinterpret_cast<void*>(length), 0);
    if (!ref)
        munmap(data, length);
    return ref;
}

void FramePool::Serve(AVCodecContext* ctx) {
    if (ctx->codec_type != AVMEDIA_TYPE_VIDEO)
        return;
    ctx->opaque = this;
    ctx->get_buffer2 = &FramePool::GetBuffer;
    // GetBuffer takes the lock; without this mark the library turns frame threads off.
#if LIBAVCODEC_VERSION_MAJOR < 60
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    ctx->thread_safe_callbacks = 1;
#pragma GCC diagnostic pop
#endif
}

int64_t FramePool::Served() const {
    std::lock_guard guard(lock_);
    return served_;
}

int FramePool::GetBuffer(AVCodecContext* ctx, AVFrame* frame, int flags) {
    auto* self = static_cast<FramePool*>(ctx->opaque);
    const AVPixFmtDescriptor* desc =
        ff::util.av_pix_fmt_desc_get(static_cast<AVPixelFormat>(frame->format));
    // What the library must allocate itself: hardware pictures, palettes, codecs that cannot
    // decode into caller memory.
    const bool own = self && desc && !ctx->hw_frames_ctx && frame->width > 0 && frame->height > 0 &&
                     !(desc->flags & (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_PAL |
                                      AV_PIX_FMT_FLAG_BITSTREAM)) &&
                     ctx->codec && (ctx->codec->capabilities & AV_CODEC_CAP_DR1);
    if (own) {
        const int result = self->Fill(ctx, frame);
        if (result != AVERROR(ENOSYS))
            return result;
    }
    return ff::codec.avcodec_default_get_buffer2(ctx, frame, flags);
}

bool FramePool::MakeLayout(AVCodecContext* ctx, const AVFrame* frame, Layout& layout) const {
    const auto format = static_cast<AVPixelFormat>(frame->format);
    int width = frame->width;
    int height = frame->height;
    int lineAlign[AV_NUM_DATA_POINTERS] = {};
    ff::codec.avcodec_align_dimensions2(ctx, &width, &height, lineAlign);
    int linesize[4] = {};
    // Widen the rows until every plane's line size is a multiple of what the codec and the
    // vector units need.
    for (int attempt = 0;; attempt++) {
        if (attempt > 16 || ff::util.av_image_fill_linesizes(linesize, format, width) < 0)
            return false;
        bool aligned = true;
        for (int i = 0; i < 4; i++) {
            const int need = std::max(lineAlign[i], kAlign);
            aligned = aligned && linesize[i] % need == 0;
        }
        if (aligned)
            break;
        width += width & ~(width - 1);
    }
    ptrdiff_t lines[4];
    for (int i = 0; i < 4; i++)
        lines[i] = linesize[i];
    size_t sizes[4] = {};
    if (ff::util.av_image_fill_plane_sizes(sizes, format, height, lines) < 0)
        return false;
    layout = Layout{};
    layout.Format = format;
    layout.Width = frame->width;
    layout.Height = frame->height;
    size_t offset = 0;
    for (int i = 0; i < 4 && sizes[i] > 0; i++) {
        layout.Linesize[i] = linesize[i];
        layout.Offset[i] = offset;
        offset = FFALIGN(offset + sizes[i] + kSlack, size_t{kAlign});
    }
    layout.Size = offset;
    return offset > 0;
}

int FramePool::Fill(AVCodecContext* ctx, AVFrame* frame) {
    std::lock_guard guard(lock_);
    if (!pool_ || layout_.Format != frame->format || layout_.Width != frame->width ||
        layout_.Height != frame->height) {
        Layout layout;
        if (!MakeLayout(ctx, frame, layout))
            return AVERROR(ENOSYS);
        ff::BufferPoolPtr pool(
            ff::util.av_buffer_pool_init2(layout.Size, nullptr, PoolAlloc, nullptr));
        if (!pool)
            return AVERROR(ENOMEM);
        // Pictures of the old size still out keep the old pool until they come back.
        pool_ = std::move(pool);
        layout_ = layout;
    }
    AVBufferRef* buffer = ff::util.av_buffer_pool_get(pool_.get());
    if (!buffer)
        return AVERROR(ENOMEM);
    frame->buf[0] = buffer;
    for (int i = 0; i < 4; i++) {
        frame->data[i] = layout_.Linesize[i] ? buffer->data + layout_.Offset[i] : nullptr;
        frame->linesize[i] = layout_.Linesize[i];
    }
    frame->extended_data = frame->data;
    served_++;
    return 0;
}

} // namespace corvina::engine
