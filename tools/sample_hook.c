/* A sample video-hook plug-in: paints a white box in the top-left corner of every
 * YUV 4:2:0 picture, its size given by the first argument (default 16 pixels).
 * A second argument names a file that gets the pts (µs) of every picture the plug-in was
 * given, one per line, so a test can see which pictures reached it.
 * Configure fails for a size that is not a positive number, so tests can see -22. */
#include "binding/VideoHookApi.h"

#include <inttypes.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

typedef struct {
    int size;
    int frames;
    FILE* calls; /* the pts log, when asked for */
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
    if (argc > 2) {
        s->calls = fopen(argv[2], "w");
        if (!s->calls) {
            free(s);
            return -1;
        }
    }
    *ctx = s;
    return 0;
}

void Process(void* ctx, CorvinaHookPicture* picture, int pix_fmt, int width, int height,
             int64_t pts) {
    HookState* s = ctx;
    if (!s)
        return;
    if (s->calls) {
        fprintf(s->calls, "%" PRId64 "\n", pts);
        fflush(s->calls);
    }
    if (pix_fmt != 0 /* yuv420p */)
        return;
    s->frames++;
    int w = s->size < width ? s->size : width;
    int h = s->size < height ? s->size : height;
    for (int y = 0; y < h; y++)
        memset(picture->data[0] + y * picture->linesize[0], 235, (size_t)w);
}

void Release(void* ctx) {
    HookState* s = ctx;
    if (s && s->calls)
        fclose(s->calls);
    free(s);
}
