/* The interface a video-hook plug-in exports, with the C calling convention:
 *   int  Configure(void** ctx, int argc, char* argv[]);   argv[0] is the plug-in file; 0 = ok
 *   void Process(void* ctx, CorvinaHookPicture* picture, int pix_fmt, int width, int height,
 *                int64_t pts);
 *   void Release(void* ctx);                                optional
 * pix_fmt is the library's pixel format number; pts is in microseconds. Plain C so that
 * plug-ins need nothing of the program. */
#ifndef CORVINA_VIDEO_HOOK_API_H
#define CORVINA_VIDEO_HOOK_API_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct CorvinaHookPicture {
    uint8_t* data[4];
    int linesize[4];
} CorvinaHookPicture;

typedef int (*CorvinaHookConfigureFn)(void** ctx, int argc, char* argv[]);
typedef void (*CorvinaHookProcessFn)(void* ctx, CorvinaHookPicture* picture, int pix_fmt, int width,
                                     int height, int64_t pts);
typedef void (*CorvinaHookReleaseFn)(void* ctx);

#ifdef __cplusplus
}
#endif

#endif
