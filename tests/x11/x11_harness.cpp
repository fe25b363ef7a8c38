// Waiting for the program, and the ink its text leaves, from the font it reads.
#include "x11_harness.h"

#include <time.h>

uint64_t now_milliseconds(void) {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return (uint64_t)t.tv_sec * 1000 + (uint64_t)t.tv_nsec / 1000000;
}

bool wait_until(const std::function<bool()>& done, uint64_t milliseconds) {
    uint64_t deadline = now_milliseconds() + milliseconds;
    while (now_milliseconds() < deadline) {
        if (done()) return true;
        usleep(10000);
    }
    return done();
}

// The image the program itself reads: the copy beside it, else the source's.
bool load_font(glyph_atlas* font, const std::string& link) {
    // An installed program is a link to the executable beside its files.
    char* resolved = realpath(link.c_str(), nullptr);
    std::string binary = resolved ? resolved : link;
    free(resolved);
    std::string beside = read_text_file(binary.substr(0, binary.rfind('/') + 1) + "mono.png");
    if (build_glyph_atlas(font, (const uint8_t*)beside.data(), beside.size())) return true;
    std::string source = read_text_file(source_dir() + "/render/mono.png");
    return build_glyph_atlas(font, (const uint8_t*)source.data(), source.size());
}

static uint8_t alpha_at(const glyph_atlas& font, int32_t x, int32_t y) {
    return font.pixels[((size_t)y * font.image_width + x) * 4 + 3];
}

// Placed as the text drawing places glyphs: centred in fixed cells, from the
// cell's top by the rows trimmed off; a hard-edged pixel is ink at half alpha.
std::vector<uint8_t> text_ink(const glyph_atlas& font, const std::string& text, int32_t w, int32_t h) {
    std::vector<uint8_t> ink((size_t)w * h, 0);
    int32_t pen = 0;
    for (unsigned char c : text) {
        const glyph& g = font.glyphs[c];
        int32_t dx = pen + (font.glyph_w - g.w) / 2;
        for (int32_t y = 0; y < g.h; y++)
            for (int32_t x = 0; x < g.w; x++) {
                int32_t px = dx + x, py = g.y_offset + y;
                if (px < w && py < h && alpha_at(font, g.x + x, g.y + y) >= 128) ink[(size_t)py * w + px] = 1;
            }
        pen += font.glyph_w + font.spacing;
    }
    return ink;
}
