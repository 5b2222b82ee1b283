// The pre-processing every decoded picture passes once before its outputs take it:
// deinterlacing, the custom hook (the picture as a 24-bit bitmap for the host to draw on)
// and the video-hook plug-ins with their gate (the before-hook event or the hook ranges).
// Whatever fails here is logged and the picture goes on as far as it was processed.
#include "engine/Deinterlace.h"
#include "engine/PictureOps.h"
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
    AVFrame* work = FreshPicture(hooks_.Work, static_cast<AVPixelFormat>(picture->format),
                                 picture->width, picture->height);
    if (work)
        CopyPictureFields(work, picture);
    return work;
}

AVFrame* TranscodeRun::TurnUpright(InputStreamState& ist, AVFrame* picture) {
    const Orientation o = ist.Orient;
    if (o.IsIdentity())
        return picture;
    const AVFrame* from = picture;
    auto format = static_cast<AVPixelFormat>(picture->format);
    if (!CanOrient(format, o)) {
        // Full chroma keeps everything 4:2:2 or packed pictures had; the depth stays.
        const AVPixFmtDescriptor* d = ff::util.av_pix_fmt_desc_get(format);
        const bool deep = d && d->comp[0].depth > 8;
        const bool alpha = d && (d->flags & AV_PIX_FMT_FLAG_ALPHA);
        const AVPixelFormat ready = alpha  ? (deep ? AV_PIX_FMT_YUVA444P16 : AV_PIX_FMT_YUVA444P)
                                    : deep ? AV_PIX_FMT_YUV444P16
                                           : AV_PIX_FMT_YUV444P;
        ist.OrientFormat.reset(ff::scale.sws_getCachedContext(
            ist.OrientFormat.release(), picture->width, picture->height, format, picture->width,
            picture->height, ready, SWS_POINT, nullptr, nullptr, nullptr));
        AVFrame* converted = FreshPicture(ist.OrientReady, ready, picture->width, picture->height);
        if (!ist.OrientFormat || !converted ||
            ff::scale.sws_scale(ist.OrientFormat.get(), picture->data, picture->linesize, 0,
                                picture->height, converted->data, converted->linesize) <= 0) {
            job_.Log(kLevelError, "error turning picture upright");
            return nullptr;
        }
        from = converted;
        format = ready;
    }
    int width = 0, height = 0;
    DisplayedSize(o, picture->width, picture->height, width, height);
    AVFrame* upright = FreshPicture(ist.Upright, format, width, height);
    if (!upright || !OrientPicture(from, upright, o)) {
        job_.Log(kLevelError, "error turning picture upright");
        return nullptr;
    }
    CopyPictureFields(upright, picture);
    if (o.Transpose && picture->sample_aspect_ratio.num > 0)
        upright->sample_aspect_ratio =
            AVRational{picture->sample_aspect_ratio.den, picture->sample_aspect_ratio.num};
    return upright;
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
