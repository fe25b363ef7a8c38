#include "x11_harness.h"

#include <time.h>
#include <zlib.h>

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

// ---------------------------------------------------------------------------
// The font image, decoded here so the expected text can be drawn independently.

namespace {

uint32_t big_endian_32(const uint8_t* p) { return (uint32_t)p[0] << 24 | (uint32_t)p[1] << 16 | (uint32_t)p[2] << 8 | p[3]; }

int paeth(int a, int b, int c) {
    int p = a + b - c, pa = abs(p - a), pb = abs(p - b), pc = abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Only what the font image is: 8-bit RGBA, not interlaced.
bool decode_rgba_png(const std::string& file, rgba_image* out) {
    const uint8_t* data = (const uint8_t*)file.data();
    if (file.size() < 8 || memcmp(data, "\x89PNG\r\n\x1a\n", 8) != 0) return false;
    std::vector<uint8_t> compressed;
    size_t at = 8;
    while (at + 12 <= file.size()) {
        uint32_t length = big_endian_32(data + at);
        std::string type((const char*)data + at + 4, 4);
        const uint8_t* body = data + at + 8;
        if (at + 12 + length > file.size()) return false;
        if (type == "IHDR") {
            out->width = (int32_t)big_endian_32(body);
            out->height = (int32_t)big_endian_32(body + 4);
            if (body[8] != 8 || body[9] != 6 || body[12] != 0) return false;
        } else if (type == "IDAT") {
            compressed.insert(compressed.end(), body, body + length);
        }
        at += 12 + length;
    }
    size_t stride = (size_t)out->width * 4;
    std::vector<uint8_t> raw((stride + 1) * out->height);
    uLongf raw_size = raw.size();
    if (uncompress(raw.data(), &raw_size, compressed.data(), compressed.size()) != Z_OK) return false;
    out->pixels.assign(stride * out->height, 0);
    for (int32_t y = 0; y < out->height; y++) {
        uint8_t filter = raw[y * (stride + 1)];
        const uint8_t* in = &raw[y * (stride + 1) + 1];
        uint8_t* row = &out->pixels[y * stride];
        const uint8_t* up = y ? &out->pixels[(y - 1) * stride] : nullptr;
        for (size_t i = 0; i < stride; i++) {
            int a = i >= 4 ? row[i - 4] : 0, b = up ? up[i] : 0, c = (up && i >= 4) ? up[i - 4] : 0;
            int predictor = filter == 1 ? a : filter == 2 ? b : filter == 3 ? (a + b) / 2 : filter == 4 ? paeth(a, b, c) : 0;
            row[i] = (uint8_t)(in[i] + predictor);
        }
    }
    return true;
}

}  // namespace

// The image the program itself reads: the copy beside it.
bool load_font(bitmap_font* font, const std::string& binary) {
    std::string beside = binary.substr(0, binary.rfind('/') + 1) + "mono.png";
    if (!decode_rgba_png(read_text_file(beside), &font->image) &&
        !decode_rgba_png(read_text_file(source_dir() + "/render/mono.png"), &font->image))
        return false;
    const rgba_image& image = font->image;
    int32_t cw = image.width / 16, ch = image.height / 16;
    auto column_empty = [&](int32_t x, int32_t y0) {
        for (int32_t y = y0; y < y0 + ch; y++)
            if (image.alpha(x, y)) return false;
        return true;
    };
    for (int c = 0; c < 256; c++) {
        int32_t x0 = (c % 16) * cw, y0 = (c / 16) * ch;
        int32_t right = x0 + cw;
        while (right > x0 && column_empty(right - 1, y0)) right--;
        int32_t left = x0;
        while (left < right && column_empty(left, y0)) left++;
        auto row_empty = [&](int32_t y) {
            for (int32_t x = left; x < right; x++)
                if (image.alpha(x, y)) return false;
            return true;
        };
        int32_t bottom = y0 + ch;
        while (bottom > y0 && (left == right || row_empty(bottom - 1))) bottom--;
        int32_t top = y0;
        while (top < bottom && row_empty(top)) top++;
        font->glyphs[c] = left == right || top == bottom ? font_glyph{x0, y0, 0, 0, 0}
                                                          : font_glyph{left, top, right - left, bottom - top, top - y0};
        if (font->glyphs[c].w > font->glyph_w) font->glyph_w = font->glyphs[c].w;
    }
    return true;
}

// Which pixels of the block (x, y, w, h) ASCII text drawn at (x, y) covers.
std::vector<uint8_t> text_ink(const bitmap_font& font, const std::string& text, int32_t w, int32_t h) {
    std::vector<uint8_t> ink((size_t)w * h, 0);
    int32_t pen = 0;
    for (unsigned char c : text) {
        const font_glyph& g = font.glyphs[c];
        int32_t dx = pen + (font.glyph_w - g.w) / 2;
        for (int32_t y = 0; y < g.h; y++)
            for (int32_t x = 0; x < g.w; x++) {
                int32_t px = dx + x, py = g.y_offset + y;
                if (px < w && py < h && font.image.alpha(g.x + x, g.y + y) >= 128) ink[(size_t)py * w + px] = 1;
            }
        pen += font.glyph_w;
    }
    return ink;
}

