/* A sample video-hook plug-in: paints a white box in the top-left corner of every
 * YUV 4:2:0 picture, its size given by the first argument (default 16 pixels).
 * Configure fails for a size that is not a positive number, so tests can see -22. */
#include "hosting/binding/VideoHookApi.h"

#include <stdlib.h>
#include <string.h>

typedef struct {
    int size;
    int frames;
} HookState;

int Configure(void** ctx, int argc, char* argv[]) {
    HookState* s = calloc(1, sizeof *s);
    if (!s)
        return -1;
    s->size = 16;
    if (argc > 1) {
        char* end = NULL;
        long v = strtol(argv[1], &end, 10);
        if (*end != '\0' || v <= 0 || v > 4096) {
            free(s);
            return -1;
        }
        s->size = (int)v;
    }
    *ctx = s;
    return 0;
}

void Process(void* ctx, CorvinaHookPicture* picture, int pix_fmt, int width, int height,
             int64_t pts) {
    HookState* s = ctx;
    (void)pts;
    if (!s || pix_fmt != 0 /* yuv420p */)
        return;
    s->frames++;
    int w = s->size < width ? s->size : width;
    int h = s->size < height ? s->size : height;
    for (int y = 0; y < h; y++)
        memset(picture->data[0] + y * picture->linesize[0], 235, (size_t)w);
}

void Release(void* ctx) { free(ctx); }
