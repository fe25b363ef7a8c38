// The type table and its built-in types, and the growable array beneath it.
#include <gtest/gtest.h>
#include <string.h>

#include <algorithm>

#include "types_fixture.h"

TEST(TypeTable, builtins_in_order_with_their_kinds_sizes_and_colors) {
    fresh_types();
    EXPECT_EQ(sizeof(type_info), 56u);
    ASSERT_EQ(app_state.types.count, 16);
    EXPECT_EQ(app_state.types.capacity, 128);
    const type_info* empty = type_at(0);
    EXPECT_EQ(empty->kind, (uint32_t)type_kind_none);
    EXPECT_EQ(empty->name, nullptr);
    const char* names[] = {"u8", "u16", "u32", "u64", "u24", "u40", "u48", "u56",
                           "i8", "i16", "i32", "i64", "f16", "f32", "f64"};
    uint32_t sizes[] = {1, 2, 4, 8, 3, 5, 6, 7, 1, 2, 4, 8, 2, 4, 8};
    for (uint32_t i = 1; i <= 15; i++) {
        const type_info* type = type_at(i);
        EXPECT_STREQ(type->name, names[i - 1]);
        EXPECT_EQ(type->name_length, strlen(names[i - 1]));
        EXPECT_EQ(type->size, sizes[i - 1]);
        uint32_t kind = i <= 8 ? type_kind_unsigned : i <= 12 ? type_kind_signed : type_kind_float;
        uint32_t color = i <= 8 ? 0xff222222 : i <= 12 ? 0xff333333 : 0xff444444;
        EXPECT_EQ(type->kind, kind);
        EXPECT_EQ(type->color, color);
        EXPECT_EQ(type->members.count, 0);
    }
    EXPECT_EQ(type_at(16), nullptr);
}

TEST(TypeTable, lookups_are_exact_and_never_return_the_empty_entry) {
    fresh_types();
    EXPECT_EQ(type_table_find("u8", 2), 1u);
    EXPECT_EQ(type_table_find("u8x", 2), 1u);  // no terminator needed
    EXPECT_EQ(type_table_find("u", 1), 0u);
    EXPECT_EQ(type_table_find("U8", 2), 0u);
    EXPECT_EQ(type_table_find("", 0), 0u);
    EXPECT_EQ(type_table_find("f64", 3), 15u);

    int64_t count = app_state.types.count;
    app_state.types.count = 1;
    EXPECT_EQ(type_table_find("u8", 2), 0u);
    app_state.types.count = count;  // so that the names behind it are freed
}

TEST(TypeTable, the_129th_entry_doubles_the_table_and_keeps_every_entry) {
    fresh_types();
    for (int i = 16; i < 129; i++) {
        type_info entry = {};
        entry.kind = type_kind_unsigned;
        entry.size = (uint32_t)i;
        ASSERT_NE(type_table_append(&entry), nullptr);
    }
    EXPECT_EQ(app_state.types.count, 129);
    EXPECT_EQ(app_state.types.capacity, 256);
    EXPECT_STREQ(type_at(3)->name, "u32");
    EXPECT_EQ(type_at(128)->size, 128u);
}

TEST(GrowableArray, doubles_below_a_mebibyte_then_grows_by_a_mebi_elements) {
    growable_array array;
    ASSERT_TRUE(array_create(&array, 32, sizeof(member)));
    member m = {};
    for (int i = 0; i < 33; i++) {
        m.value = i;
        ASSERT_NE(array_append(&array, sizeof m, &m), nullptr);
    }
    EXPECT_EQ(array.capacity, 64);
    EXPECT_EQ(((member*)array.items)[32].value, 32);

    // 0x100000 bytes is above the doubling limit: the next growth is linear.
    growable_array bytes;
    ASSERT_TRUE(array_create(&bytes, 0x100000, 1));
    bytes.count = bytes.capacity;
    uint8_t one = 7;
    ASSERT_NE(array_append(&bytes, 1, &one), nullptr);
    EXPECT_EQ(bytes.capacity, 0x200000);
    EXPECT_EQ(((uint8_t*)bytes.items)[0x100000], 7);

    growable_array small;
    ASSERT_TRUE(array_create(&small, 0xfffff, 1));
    small.count = small.capacity;
    ASSERT_NE(array_append(&small, 1, &one), nullptr);
    EXPECT_EQ(small.capacity, 0x1ffffe);
    for (growable_array* a : {&array, &bytes, &small}) os_free(a->items);
}

TEST(GrowableArray, a_zero_capacity_still_grows) {
    growable_array array = {};
    int32_t value = 5;
    for (int i = 0; i < 20; i++) ASSERT_NE(array_append(&array, sizeof value, &value), nullptr);
    EXPECT_EQ(array.count, 20);
    EXPECT_GE(array.capacity, 20);
    os_free(array.items);
}

TEST(GrowableArray, an_element_taken_from_the_array_itself_survives_the_move) {
    growable_array array;
    ASSERT_TRUE(array_create(&array, 2, sizeof(int64_t)));
    int64_t first = 11, second = 22;
    array_append(&array, sizeof first, &first);
    array_append(&array, sizeof second, &second);
    int64_t* copy = (int64_t*)array_append(&array, sizeof(int64_t), (int64_t*)array.items + 1);
    ASSERT_NE(copy, nullptr);
    EXPECT_EQ(*copy, 22);
    os_free(array.items);
}

TEST(GrowableArray, a_failed_growth_is_reported_and_keeps_the_items) {
    growable_array array;
    ASSERT_TRUE(array_create(&array, 4, 1));
    uint8_t byte = 9;
    for (int i = 0; i < 4; i++) array_append(&array, 1, &byte);
    // A capacity that cannot grow any further.
    array.count = array.capacity = INT64_MAX - 10;
    void* items = array.items;
    void* result = nullptr;
    std::string out = capture_stdout([&] { result = array_append(&array, 1, &byte); });
    EXPECT_EQ(result, nullptr);
    EXPECT_EQ(out.rfind("Out of memory: could not grow a list to ", 0), 0u) << out;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1);
    EXPECT_EQ(array.items, items);
    EXPECT_EQ(array.capacity, INT64_MAX - 10);
    EXPECT_EQ(((uint8_t*)array.items)[3], 9);
    os_free(array.items);
}

TEST(GrowableArray, remove_moves_the_later_items_down_in_order) {
    growable_array array;
    ASSERT_TRUE(array_create(&array, 4, sizeof(int32_t)));
    for (int32_t v : {1, 2, 3, 4}) array_append(&array, sizeof v, &v);
    array_remove(&array, sizeof(int32_t), 1);
    array_remove(&array, sizeof(int32_t), 9);  // out of range: nothing
    ASSERT_EQ(array.count, 3);
    int32_t* items = (int32_t*)array.items;
    EXPECT_EQ(items[0], 1);
    EXPECT_EQ(items[1], 3);
    EXPECT_EQ(items[2], 4);
    os_free(array.items);
}

TEST(TypePalette, fourteen_colors_in_turn_then_again_from_the_first) {
    reset_type_colors();
    uint32_t colors[20];
    for (int i = 0; i < 20; i++) colors[i] = next_type_color();
    EXPECT_EQ(colors[0], 0xff222266u);
    EXPECT_EQ(colors[13], 0xff663322u);
    EXPECT_EQ(colors[14], 0xff222266u);
    EXPECT_EQ(colors[15], 0xff224466u);
}
