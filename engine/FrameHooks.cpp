// The pre-processing every decoded picture passes once before its outputs take it:
// deinterlacing, the custom hook (the picture as a 24-bit bitmap for the host to draw on)
// and the video-hook plug-ins with their gate (the before-hook event or the hook ranges).
// Whatever fails here is logged and the picture goes on as far as it was processed.
#include "engine/Deinterlace.h"
#include "engine/TranscodeRun.h"

#include <algorithm>
#include <cstring>

extern "C" {
#include <libswscale/swscale.h>
}

namespace corvina::engine {

namespace {

// The bitmap's memory layout.
constexpr AVPixelFormat kRgbFormat = AV_PIX_FMT_BGR24;

std::string ExceptionText() {
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return {};
    }
}

// What the outputs read of a picture besides its pixels. (Not av_frame_copy_props: on a
// reused frame it would pile up the side data of every picture.)
void CopyPictureFields(AVFrame* dst, const AVFrame* src) {
    dst->pts = src->pts;
    dst->pkt_dts = src->pkt_dts;
    dst->best_effort_timestamp = src->best_effort_timestamp;
    dst->pkt_duration = src->pkt_duration;
    dst->key_frame = src->key_frame;
    dst->pict_type = src->pict_type;
    dst->quality = src->quality;
    dst->interlaced_frame = src->interlaced_frame;
    dst->top_field_first = src->top_field_first;
    dst->sample_aspect_ratio = src->sample_aspect_ratio;
    dst->color_range = src->color_range;
    dst->color_primaries = src->color_primaries;
    dst->color_trc = src->color_trc;
    dst->colorspace = src->colorspace;
    dst->chroma_location = src->chroma_location;
}

// Whole rows of 24-bit pixels between a picture plane and the bitmap.
void CopyRgbRows(uint8_t* dst, int dstStride, const uint8_t* src, int srcStride, int width,
                 int height) {
    const size_t bytes = static_cast<size_t>(width) * 3;
    for (int y = 0; y < height; y++)
        std::memcpy(dst + static_cast<ptrdiff_t>(y) * dstStride,
                    src + static_cast<ptrdiff_t>(y) * srcStride, bytes);
}

} // namespace

AVFrame* TranscodeRun::PreProcessVideoFrame(InputStreamState& ist, AVFrame* picture) {
    FrameHookState& h = hooks_;
    const int64_t pts = ist.Pts;
    h.FrameCounter++;
    const bool custom = job_.OnCustomHook && !h.CustomHookOff;
    if (!custom && s_.UsingVideoHook)
        UpdatePluginGate(pts);
    const bool plugins = !custom && s_.UsingVideoHook && h.Action == HookAction::Continue;
    if (!s_.Deinterlace && !custom && !plugins)
        return picture;

    // The decoder's picture may still serve it as a reference: work on a copy.
    AVFrame* work = WorkingCopy(picture);
    if (!work) {
        job_.Log(kLevelError, "hook buf malloc error.");
        return picture;
    }
    bool filled = false;
    if (s_.Deinterlace) {
        filled = DeinterlacePicture(work->data, work->linesize, picture->data, picture->linesize,
                                    static_cast<AVPixelFormat>(picture->format), picture->width,
                                    picture->height);
        if (filled)
            work->interlaced_frame = 0; // one progressive picture now
        else
            job_.Log(kLevelError, "deinterlace error.");
    }
    if (!filled && ff::util.av_frame_copy(work, picture) < 0) {
        job_.Log(kLevelError, "hook buf malloc error.");
        return picture;
    }

    if (custom) {
        RunCustomHook(work, pts);
    } else if (plugins) {
        CorvinaHookPicture pic{};
        for (int i = 0; i < 4; i++) {
            pic.data[i] = work->data[i];
            pic.linesize[i] = work->linesize[i];
        }
        job_.videoHooks_.Process(&pic, work->format, work->width, work->height, pts);
    }
    return work;
}

void TranscodeRun::UpdatePluginGate(int64_t pts) {
    FrameHookState& h = hooks_;
    if (job_.OnBeforeHook) {
        try {
            job_.OnBeforeHook(pts, h.Action);
        } catch (...) {
            job_.Log(kLevelError, "Error occurs OnBeforeHook: " + ExceptionText());
            h.Action = HookAction::Stop;
        }
        if (h.Action == HookAction::Stop)
            s_.UsingVideoHook = false;
        return;
    }
    // Ranges sorted by end: those before the current index are over for good.
    const auto& ranges = job_.hookRanges_;
    if (ranges.empty())
        return;
    h.Action = HookAction::Ignore;
    for (size_t i = h.RangeIndex; i < ranges.size(); i++) {
        if (ranges[i].first <= pts && pts <= ranges[i].second) {
            h.RangeIndex = i;
            h.Action = HookAction::Continue;
            return;
        }
        if (i + 1 == ranges.size() && ranges[i].second < pts) {
            h.Action = HookAction::Stop;
            s_.UsingVideoHook = false;
        }
    }
}

AVFrame* TranscodeRun::WorkingCopy(const AVFrame* picture) {
    ff::FramePtr& work = hooks_.Work;
    if (work && (work->format != picture->format || work->width != picture->width ||
                 work->height != picture->height))
        work.reset();
    if (!work) {
        ff::FramePtr fresh = ff::MakeFrame();
        if (!fresh)
            return nullptr;
        fresh->format = picture->format;
        fresh->width = picture->width;
        fresh->height = picture->height;
        if (ff::util.av_frame_get_buffer(fresh.get(), 0) < 0)
            return nullptr;
        work = std::move(fresh);
    } else if (ff::util.av_frame_make_writable(work.get()) < 0) {
        // (While an encoder still holds the previous picture, this gives a new buffer.)
        return nullptr;
    }
    CopyPictureFields(work.get(), picture);
    return work.get();
}

void TranscodeRun::RunCustomHook(AVFrame* work, int64_t pts) {
    FrameHookState& h = hooks_;
    const auto format = static_cast<AVPixelFormat>(work->format);
    const int width = work->width, height = work->height;
    const bool rgb = format == kRgbFormat;
    if (!rgb) {
        h.ToRgb.reset(ff::scale.sws_getCachedContext(h.ToRgb.release(), width, height, format,
                                                     width, height, kRgbFormat, SWS_BICUBIC,
                                                     nullptr, nullptr, nullptr));
        if (!h.ToRgb) {
            job_.Log(kLevelError, "Cannot initialize the toRGB conversion context");
            AbandonCustomHook();
            return;
        }
    }
    std::unique_ptr<HookBitmap>& bitmap = job_.hookBitmap_;
    if (!bitmap)
        bitmap = std::make_unique<HookBitmap>(width, height);

    bool update = true, stop = false;
    {
        // Held from filling to reading back: another thread never sees half a picture.
        std::lock_guard lock(bitmap->Lock());
        if (bitmap->Width() != width || bitmap->Height() != height)
            bitmap->Resize(width, height);
        uint8_t* const rows[4] = {bitmap->Row(0), nullptr, nullptr, nullptr};
        const int strides[4] = {bitmap->Stride(), 0, 0, 0};
        if (rgb)
            CopyRgbRows(rows[0], strides[0], work->data[0], work->linesize[0], width, height);
        else
            ff::scale.sws_scale(h.ToRgb.get(), work->data, work->linesize, 0, height, rows,
                                strides);
        try {
            job_.OnCustomHook(bitmap.get(), h.FrameCounter, pts, update, stop);
        } catch (...) {
            job_.Log(kLevelError, "Error occurs OnCustomHook: " + ExceptionText());
            update = false;
        }
        if (update && rgb) {
            CopyRgbRows(work->data[0], work->linesize[0], rows[0], strides[0], width, height);
        } else if (update) {
            h.FromRgb.reset(ff::scale.sws_getCachedContext(h.FromRgb.release(), width, height,
                                                           kRgbFormat, width, height, format,
                                                           SWS_BICUBIC, nullptr, nullptr, nullptr));
            if (h.FromRgb) {
                ff::scale.sws_scale(h.FromRgb.get(), rows, strides, 0, height, work->data,
                                    work->linesize);
            } else {
                job_.Log(kLevelError, "Cannot initialize the fromRGB conversion context");
                stop = true;
            }
        }
    }
    if (stop)
        AbandonCustomHook();
}

void TranscodeRun::AbandonCustomHook() {
    // The event stays the host's; this run just calls it no more, nor the plug-ins.
    hooks_.CustomHookOff = true;
    hooks_.Action = HookAction::Stop;
    s_.UsingVideoHook = false;
}

} // namespace corvina::engine
