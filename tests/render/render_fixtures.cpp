// PNGs built in memory and the test font cut from them.
#include "render_fixtures.h"

#include <fstream>
#include <iterator>

#include "test_support.h"

void test_image::set(int x, int y, uint32_t r_g_b_a) {
    uint8_t* p = &rgba[((size_t)y * width + x) * 4];
    p[0] = (uint8_t)(r_g_b_a >> 24);
    p[1] = (uint8_t)(r_g_b_a >> 16);
    p[2] = (uint8_t)(r_g_b_a >> 8);
    p[3] = (uint8_t)r_g_b_a;
}

test_image make_image(int width, int height) {
    test_image image;
    image.width = width;
    image.height = height;
    image.rgba.assign((size_t)width * height * 4, 0);
    return image;
}

static uint32_t crc32_of(const uint8_t* bytes, size_t n) {
    uint32_t crc = 0xffffffffu;
    for (size_t i = 0; i < n; ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xedb88320u & (0u - (crc & 1)));
    }
    return ~crc;
}

static void put_be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int s = 24; s >= 0; s -= 8) out.push_back((uint8_t)(v >> s));
}

static void put_chunk(std::vector<uint8_t>& out, const char* kind, const std::vector<uint8_t>& body) {
    put_be32(out, (uint32_t)body.size());
    std::vector<uint8_t> tagged(kind, kind + 4);
    tagged.insert(tagged.end(), body.begin(), body.end());
    out.insert(out.end(), tagged.begin(), tagged.end());
    put_be32(out, crc32_of(tagged.data(), tagged.size()));
}

std::vector<uint8_t> encode_png(const test_image& image, int depth) {
    std::vector<uint8_t> raw;
    for (int y = 0; y < image.height; ++y) {
        raw.push_back(0);
        for (int x = 0; x < image.width * 4; ++x) {
            raw.push_back(image.rgba[(size_t)y * image.width * 4 + x]);
            if (depth == 16) raw.push_back(0x5a);
        }
    }
    std::vector<uint8_t> z = {0x78, 0x01};
    size_t at = 0;
    do {
        size_t n = std::min<size_t>(65535, raw.size() - at);
        z.push_back(at + n == raw.size() ? 1 : 0);
        z.push_back((uint8_t)n);
        z.push_back((uint8_t)(n >> 8));
        z.push_back((uint8_t)~n);
        z.push_back((uint8_t)(~n >> 8));
        z.insert(z.end(), raw.begin() + at, raw.begin() + at + n);
        at += n;
    } while (at < raw.size());
    uint32_t a = 1, b = 0;
    for (uint8_t byte : raw) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put_be32(z, (b << 16) | a);

    std::vector<uint8_t> png = {137, 'P', 'N', 'G', 13, 10, 26, 10};
    std::vector<uint8_t> header;
    put_be32(header, (uint32_t)image.width);
    put_be32(header, (uint32_t)image.height);
    header.insert(header.end(), {(uint8_t)depth, 6, 0, 0, 0});
    put_chunk(png, "IHDR", header);
    put_chunk(png, "IDAT", z);
    put_chunk(png, "IEND", {});
    return png;
}

color as_buffer_color(uint32_t r_g_b_a) {
    uint32_t r = r_g_b_a >> 24, g = (r_g_b_a >> 16) & 0xff, b = (r_g_b_a >> 8) & 0xff,
             a = r_g_b_a & 0xff;
    return (a << 24) | (b << 16) | (g << 8) | r;  // R is byte 0 in memory
}

static void fill_cell(test_image& image, int c, int x0, int x1, int y0, int y1, uint32_t value) {
    int cx = (c % 16) * 8, cy = (c / 16) * 16;
    for (int y = y0; y <= y1; ++y)
        for (int x = x0; x <= x1; ++x) image.set(cx + x, cy + y, value);
}

test_image make_test_font_image(void) {
    test_image image = make_image(128, 256);
    fill_cell(image, 'A', 0, 6, 2, 12, font_red);
    fill_cell(image, 'B', 2, 5, 3, 5, font_green);
    fill_cell(image, 0, 3, 3, 7, 7, font_blue);
    fill_cell(image, 0xe9, 1, 5, 4, 6, font_red);
    return image;
}

glyph_atlas test_font;

void free_font(glyph_atlas* atlas) {
    os_free(atlas->pixels);
    os_free(atlas->glyphs);
    *atlas = glyph_atlas{};
}

bool load_test_font(void) {
    free_font(&test_font);
    std::vector<uint8_t> png = encode_png(make_test_font_image());
    return build_glyph_atlas(&test_font, png.data(), png.size());
}

bool load_real_font(void) {
    std::ifstream in(source_dir() + "/render/mono.png", std::ios::binary);
    std::vector<uint8_t> png((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    free_font(&test_font);
    return build_glyph_atlas(&test_font, png.data(), png.size());
}
