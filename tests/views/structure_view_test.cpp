// The structure view: type buttons, placements and their toolbar, type lines and misc sections.
#include <stdint.h>

#include <string>
#include <vector>

#include "app/app_state.h"
#include "render/font.h"
#include "test_canvas.h"
#include "types/type_layout.h"
#include "types/type_table.h"
#include "views/data_view.h"
#include "views_fixture.h"

enum toolbar_slot { slot_remove, slot_right, slot_left, slot_longer, slot_shorter };

class StructureView : public ViewsTest {
protected:
    rect panel() const { return app_state.struct_panel; }
    int32_t content_x() const { return panel().x + app_state.panel_pad; }
    int32_t content_y() const { return panel().y + app_state.panel_pad; }

    text_extent extent(const std::string& label) const {
        return measure_text(&app_state.font, rect{0, 0, 0, 0}, label.size(), label.data());
    }

    // The offering buttons' rectangles, by replaying the flow of the buttons.
    rect offer_rect(int64_t type_index) const {
        int64_t line_start = content_x(), x = line_start, y = content_y();
        int32_t last_h = 0;
        int64_t inner_right = (int64_t)panel().x + panel().w - app_state.panel_pad;
        rect found{};
        auto place = [&](const std::string& label) {
            text_extent e = extent(label);
            if (x + e.w + 16 > inner_right) {
                x = line_start;
                y += e.h + 12;
            }
            rect r = {(int32_t)x, (int32_t)y, e.w + 16, e.h + 8};
            x += e.w + 20;
            last_h = r.h;
            return r;
        };
        auto new_row = [&]() {
            x = line_start;
            y += last_h + 4;
        };
        found = place("(Misc section)");
        new_row();
        for (int64_t i = 1; i <= type_index; i++) {
            const type_info* type = type_at((uint32_t)i);
            found = place(std::string(type->name, type->name_length));
            if (i == 8 || i == 12 || i == 15) new_row();
        }
        return found;
    }

    rect toolbar_rect(int slot) const {
        text_extent e = extent("X");
        int32_t right = panel().x + panel().w - app_state.panel_pad - slot * (e.w + 20);
        return rect{right - (e.w + 16), content_y(), e.w + 16, e.h + 8};
    }

    rect byte_order_rect() const {
        text_extent e = extent("Bigendian");
        int32_t right = panel().x - app_state.margin;
        return rect{right - (e.w + 16), panel().y, e.w + 16, e.h + 8};
    }

    void click(rect r) { click_at(r.x + r.w / 2, r.y + r.h / 2); }
    void park() {
        move_to(0, 0);
        frame();
    }
    // Pointer over the k-th line of the panel's text (0 = "At offset").
    int32_t line_y(int k) const { return content_y() + k * app_state.font.glyph_h; }
    const placement& placement_at(int64_t i) const { return ((const placement*)app_state.placements.items)[i]; }
};

static std::vector<uint8_t> letters(size_t n) {
    std::vector<uint8_t> bytes(n);
    for (size_t i = 0; i < n; i++) bytes[i] = (uint8_t)('a' + i % 26);
    return bytes;
}

TEST_F(StructureView, MiscSectionOverTheSelectedBytes) {
    load(letters(64));
    move_to(hex_cell(16).x + 3, hex_cell(16).y + 3);
    press();
    frame();
    move_to(hex_cell(19).x + 3, hex_cell(19).y + 3);
    frame();
    release();
    frame();
    ASSERT_EQ(app_state.select_offset, 16);
    ASSERT_EQ(app_state.select_len, 4);

    click(offer_rect(0));
    ASSERT_EQ(app_state.placements.count, 1);
    EXPECT_EQ(placement_at(0).type_index, 0u);
    EXPECT_EQ(placement_at(0).offset, 16u);
    EXPECT_EQ(placement_at(0).length, 4u);
    EXPECT_EQ(placement_at(0).color, 0xff000000u);

    park();
    EXPECT_TRUE(line_shows(content_x(), line_y(0), "At offset 16:"));
    EXPECT_TRUE(line_shows(content_x(), line_y(1), "(Misc section, length 4)"));
    EXPECT_TRUE(line_shows(content_x(), line_y(2), "(qrst)", 0, 1));
    EXPECT_FALSE(line_shows(content_x(), line_y(2), "(qrst)", 0, 0));
}

TEST_F(StructureView, BuiltInTypesStandInThreeRowsUnderTheMiscButton) {
    load(letters(200));
    int32_t row_step = offer_rect(0).h + 4;
    EXPECT_EQ(offer_rect(1).y, content_y() + row_step);
    EXPECT_EQ(offer_rect(9).y, content_y() + 2 * row_step);
    EXPECT_EQ(offer_rect(9).x, content_x());
    EXPECT_EQ(offer_rect(13).y, content_y() + 3 * row_step);

    click_at(hex_cell(100).x + 3, hex_cell(100).y + 3);
    struct probe {
        int64_t index;
        int64_t size;
    };
    for (probe p : {probe{1, 1}, {3, 4}, {8, 7}, {9, 1}, {12, 8}, {13, 2}, {15, 8}}) {
        rect r = offer_rect(p.index);
        move_to(r.x + 2, r.y + 2);
        frame();
        EXPECT_EQ(app_state.hover_offset, 100) << p.index;
        EXPECT_EQ(app_state.hover_len, p.size) << p.index;
    }
    EXPECT_EQ(app_state.placements.count, 0);
    // The hovered type's bytes are framed in the grids of the same frame.
    EXPECT_EQ(pixel(hex_cell(100).x, hex_cell(100).y + 2), 0xffffffffu);
}

TEST_F(StructureView, ClickingATypeLaysItAtTheSelection) {
    load(letters(200));
    click_at(hex_cell(100).x + 3, hex_cell(100).y + 3);
    rect u32 = offer_rect(3);
    ASSERT_EQ(std::string(type_at(3)->name, type_at(3)->name_length), "u32");
    click(u32);
    ASSERT_EQ(app_state.placements.count, 1);
    EXPECT_EQ(placement_at(0).type_index, 3u);
    EXPECT_EQ(placement_at(0).offset, 100u);
    EXPECT_EQ(placement_at(0).length, 4u);
    EXPECT_EQ(placement_at(0).color, type_at(3)->color);

    park();
    EXPECT_TRUE(line_shows(content_x(), line_y(0), "At offset 100:"));
    color fill = pixel(hex_cell(102).x + 1, hex_cell(102).y + 2);
    EXPECT_EQ(fill, type_at(3)->color);
    EXPECT_EQ(pixel(hex_cell(104).x + 1, hex_cell(104).y + 2), 0xff111111u);
}

TEST_F(StructureView, ToolbarMovesResizesAndRemovesAMiscSection) {
    load(letters(64));
    add_placement(0, 10, 2, 0xff000000);
    app_state.select_offset = 11;
    app_state.select_len = 1;

    click(toolbar_rect(slot_shorter));
    EXPECT_EQ(placement_at(0).length, 1u);
    EXPECT_EQ(app_state.select_offset, 10);
    click(toolbar_rect(slot_shorter));  // disabled at length 1
    EXPECT_EQ(placement_at(0).length, 1u);

    click(toolbar_rect(slot_longer));
    EXPECT_EQ(placement_at(0).length, 2u);
    click(toolbar_rect(slot_right));
    EXPECT_EQ(placement_at(0).offset, 11u);
    EXPECT_EQ(app_state.select_offset, 11);
    click(toolbar_rect(slot_left));
    EXPECT_EQ(placement_at(0).offset, 10u);
    EXPECT_EQ(app_state.select_offset, 10);

    click(toolbar_rect(slot_remove));
    EXPECT_EQ(app_state.placements.count, 0);
    park();
    EXPECT_TRUE(line_shows(offer_rect(0).x + 8, offer_rect(0).y + 6, "(Misc section)", 16));
}

TEST_F(StructureView, MovingStopsAtTheEndsOfTheFileAndOfTheOffsetSpace) {
    load(letters(8));
    add_placement(3, 0, 4, 0xff00ff00);
    app_state.select_offset = 0;
    click(toolbar_rect(slot_left));  // disabled at offset 0
    EXPECT_EQ(placement_at(0).offset, 0u);
    EXPECT_EQ(app_state.select_offset, 0);

    app_state.placements.count = 0;
    add_placement(0, 7, 1, 0xff000000);
    app_state.select_offset = 7;
    click(toolbar_rect(slot_right));
    EXPECT_EQ(placement_at(0).offset, 8u);
    EXPECT_EQ(app_state.select_offset, 7);  // held on the last byte
    park();
    EXPECT_TRUE(line_shows(offer_rect(0).x + 8, offer_rect(0).y + 6, "(Misc section)", 16));
}

TEST_F(StructureView, OverlappingPlacementsShowTheLaterOne) {
    load(letters(64));
    add_placement(0, 4, 20, 0xff000000);
    add_placement(0, 8, 4, 0xff000000);
    app_state.select_offset = 9;
    park();
    EXPECT_TRUE(line_shows(content_x(), line_y(0), "At offset 8:"));
    click(toolbar_rect(slot_remove));
    ASSERT_EQ(app_state.placements.count, 1);
    EXPECT_EQ(placement_at(0).offset, 4u);
    park();
    EXPECT_TRUE(line_shows(content_x(), line_y(0), "At offset 4:"));
    EXPECT_TRUE(line_shows(content_x(), line_y(1), "(Misc section, length 20)"));
}

TEST_F(StructureView, ByteOrderToggleFlipsEveryRead) {
    load({0x01, 0x02, 0x03, 0x04});
    rect toggle = byte_order_rect();
    click(toggle);
    EXPECT_EQ(app_state.big_endian, 1);
    EXPECT_EQ(pixel(toggle.x, toggle.y), 0xffffffffu);  // drawn as toggled
    data_view_row_text(data_row_u16);
    EXPECT_EQ(std::string(app_state.text.data, app_state.text.length), "258");
    click(toggle);
    EXPECT_EQ(app_state.big_endian, 0);
    EXPECT_NE(pixel(toggle.x, toggle.y), 0xffffffffu);
}

TEST_F(StructureView, StructLinesHoverAndDragSelectMembers) {
    add_types("enum Kind : u8 { Data, Code, Exec }\n"
              "struct Pos { i16 x; i16 y; }\n"
              "struct Header { u32 magic; Kind kind; Pos pos; }\n");
    uint32_t header = type_table_find("Header", 6);
    ASSERT_NE(header, 0u);
    std::vector<uint8_t> bytes(32, 0);
    uint8_t fields[9] = {7, 0, 0, 0, 2, 0xfd, 0xff, 12, 0};
    for (int i = 0; i < 9; i++) bytes[8 + i] = fields[i];
    load(bytes);
    click_at(hex_cell(8).x + 3, hex_cell(8).y + 3);
    click(offer_rect(header));
    ASSERT_EQ(app_state.placements.count, 1);
    EXPECT_EQ(placement_at(0).length, 9u);

    park();
    std::vector<std::string> expected = {"At offset 8:",        "Header struct(9)", "   magic u32 = 7",
                                         "   kind Kind:u8 = Exec (2)", "   pos Pos struct(4)", "      x i16 = -3",
                                         "      y i16 = 12"};
    for (int i = 0; i < (int)expected.size(); i++) EXPECT_TRUE(line_shows(content_x(), line_y(i), expected[i])) << i;

    int32_t x = content_x() + 40;
    move_to(x, line_y(3) + 3);  // kind
    frame();
    EXPECT_EQ(app_state.hover_offset, 12);
    EXPECT_EQ(app_state.hover_len, 1);

    move_to(x, line_y(2) + 3);  // magic
    press();
    frame();
    EXPECT_EQ(app_state.select_offset, 8);
    EXPECT_EQ(app_state.select_len, 4);
    move_to(x, line_y(6) + 3);  // pos.y
    frame();
    release();
    frame();
    EXPECT_EQ(app_state.select_offset, 8);
    EXPECT_EQ(app_state.select_len, 9);
}

TEST_F(StructureView, MiscSectionShowsOnlyTheBytesInsideTheFile) {
    load(letters(40));
    add_placement(0, 30, 1000, 0xff000000);
    app_state.select_offset = 35;
    park();
    EXPECT_TRUE(line_shows(content_x(), line_y(1), "(Misc section, length 1000)"));
    EXPECT_TRUE(line_shows(content_x(), line_y(2), "(efghijklmn)", 0, 1));
}

TEST_F(StructureView, MiscSectionInAPanelNarrowerThanItsPaddingTakesALinePerByte) {
    start(panel().x + app_state.margin + 15, 900);  // inner width -5
    load(letters(40));
    add_placement(0, 0, 2, 0xff000000);
    app_state.select_offset = 0;
    park();
    ASSERT_EQ(panel().w, 15);
    EXPECT_TRUE(line_shows(content_x(), line_y(3), "(", 1, 1));
    EXPECT_TRUE(line_shows(content_x(), line_y(4), "a", 1, 1));
    EXPECT_TRUE(line_shows(content_x(), line_y(5), "b", 1, 1));
    EXPECT_TRUE(line_shows(content_x(), line_y(6), ")", 1, 1));
}

TEST_F(StructureView, NothingIsLaidInAnEmptyFile) {
    load({});
    move_to(hex_cell(0).x + 3, hex_cell(0).y + 3);
    press();
    frame();
    release();
    frame();
    ASSERT_EQ(app_state.select_offset, -1);
    for (int64_t type_index : {0, 1, 3, 9}) {
        click(offer_rect(type_index));
        EXPECT_EQ(app_state.placements.count, 0) << "type " << type_index;
    }
    park();
    EXPECT_TRUE(line_shows(offer_rect(0).x + 8, offer_rect(0).y + 6, "(Misc section)", 16));
}

// The buttons stand over the placement's first lines; a press on one must not
// also select the line under it, enabled or not.
TEST_F(StructureView, ToolbarPressesAreTheButtonsAlone) {
    struct {
        int slot;
        uint64_t offset_after;
        int64_t select_after;
    } cases[] = {
        {slot_left, 0, 0},   // disabled at offset 0
        {slot_right, 1, 1},
    };
    for (const auto& c : cases) {
        load(letters(64));
        add_placement(5, 0, type_at(5)->size, type_at(5)->color);
        ASSERT_GE(type_at(5)->size, 2u);
        app_state.select_offset = 0;
        app_state.select_len = 1;
        // The button's lower edge lies over the type's line.
        rect button = toolbar_rect(c.slot);
        click_at(button.x + button.w / 2, button.y + button.h - 2);
        EXPECT_EQ(placement_at(0).offset, c.offset_after) << "slot " << c.slot;
        EXPECT_EQ(app_state.select_offset, c.select_after) << "slot " << c.slot;
        EXPECT_EQ(app_state.select_len, 1) << "slot " << c.slot;
        app_state.placements.count = 0;
    }
    // Beside the buttons the line still takes the press.
    load(letters(64));
    add_placement(5, 0, type_at(5)->size, type_at(5)->color);
    app_state.select_offset = 0;
    app_state.select_len = 1;
    click_at(content_x() + 2, line_y(1) + 2);
    EXPECT_EQ(app_state.select_len, (int64_t)type_at(5)->size);
}

// A press belongs to the item it landed on until release: dragged over
// another item, it changes nothing there.
TEST_F(StructureView, PressesDraggedOverOtherItemsStayWithTheirOwner) {
    load(letters(4096));
    add_placement(5, 0, type_at(5)->size, type_at(5)->color);
    struct {
        const char* name;
        int32_t from_x, from_y, to_x, to_y;
        int64_t select_offset, select_len;
    } cases[] = {
        {"toolbar over a line", toolbar_rect(slot_remove).x + 4, toolbar_rect(slot_remove).y + 4, content_x() + 2,
         line_y(2) + 2, 0, 1},
        {"hex grid into the character grid", hex_cell(3).x + 3, hex_cell(3).y + 3, char_cell(9).x + 3,
         char_cell(9).y + 3, 3, 1},
        {"hex grid onto the lines", hex_cell(1).x + 3, hex_cell(1).y + 3, content_x() + 2, line_y(2) + 2, 1, 1},
    };
    for (const auto& c : cases) {
        app_state.select_offset = 0;
        app_state.select_len = 1;
        move_to(c.from_x, c.from_y);
        press();
        frame();
        move_to(c.to_x, c.to_y);
        frame();
        release();
        frame();
        EXPECT_EQ(app_state.select_offset, c.select_offset) << c.name;
        EXPECT_EQ(app_state.select_len, c.select_len) << c.name;
        if (app_state.placements.count == 0) add_placement(5, 0, type_at(5)->size, type_at(5)->color);
    }
}

// A large section draws only what reaches the window; the picture must be
// the one drawing every byte would give.
TEST_F(StructureView, LargeMiscSectionWrapsAsIfDrawnWhole) {
    std::vector<uint8_t> bytes(300000);
    for (size_t i = 0; i < bytes.size(); i++) bytes[i] = i % 97 == 96 ? '\n' : (uint8_t)('A' + i % 26);
    load(bytes);
    add_placement(0, 0, bytes.size(), 0xff000000);
    app_state.select_offset = 5;
    park();

    const glyph_atlas* font = &app_state.font;
    int32_t w = window.width, h = window.height;
    test_canvas canvas(w, h, 0xff111111);
    int64_t line_start = content_x(), px = line_start, py = line_y(2);
    int64_t advance = font->glyph_w + 1;
    int64_t line_end = line_start + panel().w - 2 * app_state.panel_pad;
    std::string text = "(" + std::string(bytes.begin(), bytes.end()) + ")";
    for (char c : text) {
        if (c == '\n') {
            px = line_start;
            py += font->glyph_h;
            continue;
        }
        if (px + advance > line_end) {
            px = line_start;
            py += font->glyph_h;
        }
        if (py < h) draw_text(&canvas.list, &app_state.font, rect{(int32_t)px, (int32_t)py, 0, 0}, 1, &c);
        px += advance;
    }
    const std::vector<color>& reference = canvas.pixels();
    int mismatches = 0;
    for (int32_t y = line_y(2); y < h; y++)
        for (int32_t x = panel().x; x < w; x++)
            mismatches += (pixel(x, y) == 0xffffffff) != (reference[(size_t)y * w + x] == 0xffffffff);
    EXPECT_EQ(mismatches, 0);
    EXPECT_EQ(pixel(0, 0), 0xff111111u);
}

TEST_F(StructureView, MovingAtTheSmallestSelectionOffsetHoldsIt) {
    load(letters(8));
    // Read as unsigned, the smallest signed offset lies in this section.
    add_placement(0, UINT64_C(1) << 63, 2, 0xff000000);
    app_state.select_offset = INT64_MIN;
    click(toolbar_rect(slot_left));
    EXPECT_EQ(placement_at(0).offset, (UINT64_C(1) << 63) - 1);
    EXPECT_EQ(app_state.select_offset, INT64_MIN);
    // Shortening a section whose last byte holds the selection start.
    app_state.placements.count = 0;
    add_placement(0, (UINT64_C(1) << 63) - 1, 2, 0xff000000);
    app_state.select_offset = INT64_MIN;
    click(toolbar_rect(slot_shorter));
    EXPECT_EQ(placement_at(0).length, 1u);
    EXPECT_EQ(app_state.select_offset, INT64_MIN);
}
