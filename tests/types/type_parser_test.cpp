// The type language's parser: declarations, their offsets and numbering, and its error lines.
#include <gtest/gtest.h>

#include "types_fixture.h"

static const std::string prefix = "[create_types_from_code:";

TEST(TypeParser, empty_text_and_comments_add_nothing_and_print_nothing) {
    fresh_types();
    EXPECT_EQ(parse(""), "");
    EXPECT_EQ(parse(" \t\r\n// a line\n/* a block */ // last line without feed"), "");
    EXPECT_EQ(parse("/* never closed"), "");
    EXPECT_EQ(app_state.types.count, 16);
}

TEST(TypeParser, struct_fields_follow_one_another) {
    fresh_types();
    EXPECT_EQ(parse("struct Point { i32 x; i32 y; };"), "");
    const type_info* point = find_type("Point");
    ASSERT_NE(point, nullptr);
    EXPECT_EQ(type_table_find("Point", 5), 16u);
    EXPECT_EQ(point->kind, (uint32_t)type_kind_struct);
    EXPECT_EQ(point->size, 8u);
    EXPECT_EQ(point->color, 0xff222266u);
    ASSERT_EQ(point->members.count, 2);
    EXPECT_EQ(member_name(point, 0), "x");
    EXPECT_EQ(member_at(point, 0)->offset, 0u);
    EXPECT_EQ(member_at(point, 1)->offset, 4u);
    EXPECT_EQ(member_at(point, 1)->type_index, 11u);
    EXPECT_EQ(member_at(point, 1)->name[1], 0);
}

TEST(TypeParser, union_members_share_offset_zero_and_separators_are_optional) {
    fresh_types();
    EXPECT_EQ(parse("union U { u8 a; u32 b; u16 c; }struct S{u8 a u8 b}"), "");
    const type_info* u = find_type("U");
    EXPECT_EQ(u->kind, (uint32_t)type_kind_union);
    EXPECT_EQ(u->size, 4u);
    for (int i = 0; i < 3; i++) EXPECT_EQ(member_at(u, i)->offset, 0u);
    EXPECT_EQ(find_type("S")->size, 2u);
    EXPECT_EQ(find_type("S")->color, 0xff224466u);
}

TEST(TypeParser, enums_number_their_enumerators_from_zero) {
    fresh_types();
    EXPECT_EQ(parse("enum Mode : u8 { Off, On; Auto }; enum E { A } enum F i16 { X Y }"), "");
    const type_info* mode = find_type("Mode");
    EXPECT_EQ(mode->kind, (uint32_t)type_kind_enum_unsigned);
    EXPECT_EQ(mode->size, 1u);
    ASSERT_EQ(mode->members.count, 3);
    EXPECT_EQ(member_name(mode, 2), "Auto");
    EXPECT_EQ(member_at(mode, 2)->value, 2);
    const type_info* e = find_type("E");
    EXPECT_EQ(e->kind, (uint32_t)type_kind_enum_signed);
    EXPECT_EQ(e->size, 4u);
    EXPECT_EQ(find_type("F")->size, 2u);
    EXPECT_EQ(find_type("F")->members.count, 2);
}

TEST(TypeParser, enum_bases_must_be_integers) {
    fresh_types();
    EXPECT_EQ(parse("enum E : f32 { A }"), prefix + "293] Error invalid enum\n");
    EXPECT_EQ(parse("enum E : Nope { A }"), prefix + "293] Error invalid enum\n");
    EXPECT_EQ(parse("struct P { u8 a; } enum E : P { A }"), prefix + "293] Error invalid enum\n");
    EXPECT_EQ(find_type("E"), nullptr);
    EXPECT_EQ(parse("typedef BYTE u8; enum G : BYTE { A }"), "");
    EXPECT_EQ(find_type("G")->kind, (uint32_t)type_kind_enum_unsigned);
}

TEST(TypeParser, typedef_names_the_new_type_first) {
    fresh_types();
    EXPECT_EQ(parse("typedef DWORD u32;"), "");
    const type_info* dword = find_type("DWORD");
    EXPECT_EQ(dword->kind, (uint32_t)type_kind_unsigned);
    EXPECT_EQ(dword->size, 4u);
    EXPECT_EQ(dword->members.count, 0);
    EXPECT_EQ(parse("typedef u32 WORD2;"), prefix + "362] Error unexpected\n");
    EXPECT_EQ(parse("typedef A u8"), prefix + "354] Error unexpected\n");
    EXPECT_EQ(parse("typedef"), prefix + "348] Error wat\n");
    EXPECT_EQ(parse("typedef ;"), prefix + "348] Error wat\n");
}

TEST(TypeParser, an_error_keeps_the_type_being_read_with_its_members_so_far) {
    fresh_types();
    EXPECT_EQ(parse("struct A { u8 x; u8 y[4]; }; struct Z { u8 z; }"), prefix + "243] Error wat\n");
    const type_info* a = find_type("A");
    ASSERT_NE(a, nullptr);
    ASSERT_EQ(a->members.count, 2);
    EXPECT_EQ(member_name(a, 1), "y");
    EXPECT_EQ(find_type("Z"), nullptr);
}

TEST(TypeParser, a_body_cut_short_by_the_end_is_accepted) {
    fresh_types();
    EXPECT_EQ(parse("struct B { u8 x;"), "");
    EXPECT_EQ(find_type("B")->members.count, 1);
    EXPECT_EQ(parse("enum C : u8 { P, Q"), "");
    EXPECT_EQ(find_type("C")->members.count, 2);
}

TEST(TypeParser, every_error_line_to_the_byte) {
    struct {
        const char* code;
        const char* line;
    } cases[] = {
        {"struct", "208] Error wat\n"},
        {"union ;", "208] Error wat\n"},
        {"struct A ;", "212] Error unexpected\n"},
        {"struct A", "212] Error unexpected\n"},
        {"struct A { nope x; }", "243] Error wat\n"},
        {"struct A { u8 ; }", "243] Error wat\n"},
        {"struct A { u8 a, u8 b; }", "243] Error wat\n"},
        {"enum", "268] Error wat\n"},
        {"enum {", "268] Error wat\n"},
        {"enum E :", "278] Error unexpected\n"},
        {"enum E : u8 ;", "278] Error unexpected\n"},
        {"enum E { A = 1 }", "321] Error wat\n"},
        {"enum E { A,, B }", "321] Error wat\n"},
        {"foo", "369] Error maybe unsupported foo\n"},
        {";", "369] Error maybe unsupported \n"},
        {"#include <x>", "369] Error maybe unsupported \n"},
        {"Struct A {}", "369] Error maybe unsupported Struct\n"},
        {"struct A { u8 a; } 8bit", "369] Error maybe unsupported 8bit\n"},
    };
    for (const auto& c : cases) {
        fresh_types();
        EXPECT_EQ(parse(c.code), prefix + c.line) << c.code;
    }
}

TEST(TypeParser, a_type_declared_twice_is_found_by_its_first_definition) {
    fresh_types();
    EXPECT_EQ(parse("struct T { u8 a; } struct T { u32 a; } struct U { T t; }"), "");
    EXPECT_EQ(app_state.types.count, 19);
    EXPECT_EQ(find_type("T")->size, 1u);
    EXPECT_EQ(find_type("U")->size, 1u);
}

TEST(TypeParser, a_struct_may_name_itself_with_its_size_so_far) {
    fresh_types();
    EXPECT_EQ(parse("struct S { S self; u8 a; };"), "");
    const type_info* s = find_type("S");
    EXPECT_EQ(s->size, 1u);
    EXPECT_EQ(member_at(s, 0)->offset, 0u);
    EXPECT_EQ(member_at(s, 1)->offset, 0u);
}

TEST(TypeParser, a_struct_larger_than_32_bits_is_refused_instead_of_wrapping) {
    fresh_types();
    std::string code = "struct T0 { u64 a; u64 b; }";
    for (int i = 1; i <= 29; i++) {
        std::string name = "T" + std::to_string(i), inner = "T" + std::to_string(i - 1);
        code += " struct " + name + " { " + inner + " a; " + inner + " b; }";
    }
    // T28 is 2^32 bytes; its second field no longer fits in the 32-bit size.
    EXPECT_EQ(parse(code), prefix + "250] Error type too large\n");
    EXPECT_EQ(find_type("T27")->size, 0x80000000u);
    EXPECT_EQ(find_type("T28")->members.count, 1);
    EXPECT_EQ(find_type("T29"), nullptr);
}

TEST(TypeParser, never_reads_past_the_given_size) {
    fresh_types();
    // Bytes after the size would complete the declaration if they were read.
    std::string code = "struct A { u8 x; } struct B { u8 y; }";
    EXPECT_EQ(capture_stdout([&] { create_types_from_code(code.c_str(), 30); }), "");
    const type_info* b = find_type("B");
    ASSERT_NE(b, nullptr);
    EXPECT_EQ(b->members.count, 0);
    std::string slash = "struct A { u8 x; } /";
    EXPECT_EQ(capture_stdout([&] { create_types_from_code(slash.c_str(), slash.size()); }),
              prefix + "369] Error maybe unsupported \n");
}
