// Fuzz target: the font loader on any bytes. A font it accepts has a glyph
// for every byte value inside its image.
#include <stdlib.h>

#include "fuzz_support.h"
#include "os/os.h"
#include "render/font.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    glyph_atlas atlas;
    if (!build_glyph_atlas(&atlas, data, size)) return 0;
    for (int c = 0; c < 256; c++) {
        const glyph* g = &atlas.glyphs[c];
        bool inside = g->x >= 0 && g->y >= 0 && g->w >= 0 && g->h >= 0 &&
                      (int64_t)g->x + g->w <= atlas.image_width && (int64_t)g->y + g->h <= atlas.image_height;
        if (!inside) abort();
    }
    os_free(atlas.glyphs);
    os_free(atlas.pixels);
    return 0;
}
