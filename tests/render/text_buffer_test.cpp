// Text buffers: appending, growth, failed growth and number formatting.
#include <gtest/gtest.h>
#include <stdint.h>

#include <string>

#include "os/os.h"
#include "render/text_buffer.h"

// The failed-growth test asks for an impossible block; under AddressSanitizer
// that must come back as null rather than end the run.
extern "C" const char* __asan_default_options() { return "allocator_may_return_null=1"; }

static std::string text_of(const text_buffer& b) { return std::string(b.data, b.length); }

TEST(TextBuffer, CreateAppendAndReset) {
    text_buffer b;
    ASSERT_TRUE(text_buffer_create(&b, 8));
    EXPECT_EQ(b.capacity, 8u);
    EXPECT_EQ(b.length, 0u);
    EXPECT_EQ(b.data[0], 0);
    text_append_cstring(&b, "ab");
    text_append_char(&b, ',');
    text_append(&b, 0, "zzz");
    text_append_cstring(&b, "");
    EXPECT_EQ(text_of(b), "ab,");
    EXPECT_EQ(b.data[3], 0);
    EXPECT_EQ(b.capacity, 8u);
    text_reset(&b);
    EXPECT_EQ(b.length, 0u);
    text_append(&b, 2, nullptr);  // reserves only
    EXPECT_EQ(b.length, 2u);
    EXPECT_EQ(b.data[2], 0);
    os_free(b.data);
}

TEST(TextBuffer, GrowsOnlyWhenTheBytesDoNotFit) {
    text_buffer b;
    ASSERT_TRUE(text_buffer_create(&b, 4));
    text_append(&b, 4, "abcd");  // exact fit
    EXPECT_EQ(b.capacity, 4u);
    text_append_char(&b, 'e');  // exactly full: grows first
    EXPECT_EQ(b.capacity, 8u);
    EXPECT_EQ(text_of(b), "abcde");

    text_buffer big;
    ASSERT_TRUE(text_buffer_create(&big, 10000));
    text_append(&big, 25000, nullptr);
    EXPECT_EQ(big.capacity, 40000u);
    os_free(b.data);
    os_free(big.data);
}

TEST(TextBuffer, LargeBuffersGrowLinearly) {
    text_buffer b;
    ASSERT_TRUE(text_buffer_create(&b, 0x800000));
    text_append(&b, 0x800001, nullptr);
    EXPECT_EQ(b.capacity, 0x1000000u);
    text_append(&b, 0x800000, nullptr);
    EXPECT_EQ(b.capacity, 0x1800000u);
    EXPECT_EQ(b.data[b.length], 0);
    os_free(b.data);
}

TEST(TextBuffer, BufferWithoutStorageStillGrows) {
    text_buffer b = {};  // as left by a failed creation
    text_append_cstring(&b, "abc");
    ASSERT_NE(b.data, nullptr);
    EXPECT_EQ(text_of(b), "abc");
    EXPECT_GE(b.capacity, 3u);
    os_free(b.data);
}

TEST(TextBuffer, FailedGrowthKeepsTheOldText) {
    text_buffer b;
    ASSERT_TRUE(text_buffer_create(&b, 16));
    text_append_cstring(&b, "kept");
    char* before = b.data;
    text_append(&b, UINT64_MAX / 4, nullptr);
    EXPECT_EQ(b.data, before);
    EXPECT_EQ(b.capacity, 16u);
    EXPECT_EQ(text_of(b), "kept");
    text_append(&b, UINT64_MAX - 2, nullptr);  // the length would wrap around
    EXPECT_EQ(text_of(b), "kept");
    text_append_char(&b, '!');
    EXPECT_EQ(text_of(b), "kept!");
    os_free(b.data);
}

TEST(TextBuffer, Decimals) {
    text_buffer b;
    ASSERT_TRUE(text_buffer_create(&b, 4));
    struct { int64_t value; const char* text; } cases[] = {
        {-42, "-42"}, {0, "0"}, {1234567890123, "1234567890123"}, {INT64_MAX, "9223372036854775807"},
        {INT64_MIN, "-9223372036854775808"},
    };
    for (auto& c : cases) {
        text_reset(&b);
        text_append_int(&b, c.value);
        EXPECT_EQ(text_of(b), c.text);
    }
    text_reset(&b);
    text_append_uint(&b, UINT64_MAX);
    EXPECT_EQ(text_of(b), "18446744073709551615");
    os_free(b.data);
}
