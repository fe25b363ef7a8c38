// The icon: a rounded dark square holding a grid of byte cells, a run of them
// laid over by a type in its colour and outlined, as the byte grids show a placement.
#include "render/app_icon.h"

#include "render/pixel_buffer.h"

namespace {

// Shapes in units of the icon's side, so that every size draws the same picture.
struct icon_shape {
    float x, y, w, h, radius;
    color fill;
};

enum : int32_t { grid_cells = 4 };
// Samples per pixel along each axis: edges are smoothed by coverage.
constexpr int32_t samples_per_axis = 4;

constexpr float grid_left = 0.17f, cell_step = 0.175f, cell_size = 0.135f, cell_radius = 0.025f;
constexpr float outline_width = 0.03f;

constexpr color background = 0xFF1D2733u;
constexpr color plain_cell = 0xFF4A5868u;
constexpr color placed_cell = 0xFFE89B2Eu;
constexpr color other_placed_cell = 0xFF3BB8A8u;
constexpr color outline = 0xFFF4F4F0u;

// Which cells a type covers, row by row: 0 plain, 1 the outlined run, 2 another.
constexpr uint8_t cell_kinds[grid_cells][grid_cells] = {
    {0, 0, 0, 0},
    {0, 1, 1, 1},
    {1, 0, 0, 0},
    {0, 0, 2, 2},
};

bool inside(const icon_shape& s, float x, float y) {
    if (x < s.x || y < s.y || x >= s.x + s.w || y >= s.y + s.h) return false;
    // Distance into the corner's square, measured from the circle's centre.
    float cx = x < s.x + s.radius ? s.x + s.radius - x : x > s.x + s.w - s.radius ? x - (s.x + s.w - s.radius) : 0;
    float cy = y < s.y + s.radius ? s.y + s.radius - y : y > s.y + s.h - s.radius ? y - (s.y + s.h - s.radius) : 0;
    return cx * cx + cy * cy <= s.radius * s.radius;
}

// Source-over of the shape's colour, weighted by how many of the pixel's samples it covers.
void paint(pixel_buffer* buffer, const icon_shape& s) {
    float side = (float)buffer->width;
    for (int32_t py = 0; py < buffer->height; py++)
        for (int32_t px = 0; px < buffer->width; px++) {
            int32_t covered = 0;
            for (int32_t sy = 0; sy < samples_per_axis; sy++)
                for (int32_t sx = 0; sx < samples_per_axis; sx++)
                    covered += inside(s, (px + (sx + 0.5f) / samples_per_axis) / side,
                                      (py + (sy + 0.5f) / samples_per_axis) / side);
            if (!covered) continue;
            uint32_t alpha = (uint32_t)(covered * 255 / (samples_per_axis * samples_per_axis));
            color source = (s.fill & 0x00FFFFFFu) | (alpha << 24);
            color* at = &buffer->pixels[(int64_t)py * buffer->width + px];
            *at = blend_pixel(source, *at);
        }
}

}  // namespace

void draw_app_icon(pixel_buffer* buffer) {
    if (!buffer->pixels || buffer->width <= 0) return;
    for (int64_t i = 0; i < (int64_t)buffer->width * buffer->height; i++) buffer->pixels[i] = 0;
    paint(buffer, icon_shape{0.04f, 0.04f, 0.92f, 0.92f, 0.18f, background});

    // The outline goes under the run's cells, so it shows as a frame around them.
    float run_x = grid_left + cell_step - outline_width, run_y = grid_left + cell_step - outline_width;
    paint(buffer, icon_shape{run_x, run_y, 2 * cell_step + cell_size + 2 * outline_width,
                             cell_size + 2 * outline_width, cell_radius + outline_width, outline});
    static const color kinds[] = {plain_cell, placed_cell, other_placed_cell};
    for (int32_t row = 0; row < grid_cells; row++)
        for (int32_t column = 0; column < grid_cells; column++)
            paint(buffer, icon_shape{grid_left + column * cell_step, grid_left + row * cell_step, cell_size,
                                     cell_size, cell_radius, kinds[cell_kinds[row][column]]});
}
