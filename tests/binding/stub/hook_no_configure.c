/* A plug-in with Process only: accepted when given no arguments, never configured. */
#include "binding/VideoHookApi.h"

int corvina_hook_calls = 0;

void Process(void* ctx, CorvinaHookPicture* picture, int pix_fmt, int width, int height,
             int64_t pts) {
    (void)ctx, (void)picture, (void)pix_fmt, (void)width, (void)height, (void)pts;
    corvina_hook_calls++;
}
