// The shipped types.c parses cleanly and reads real headers of its formats.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include "types_fixture.h"

static void load_default_types(void) {
    fresh_types();
    std::string code = read_text_file(source_dir() + "/types/types.c");
    ASSERT_GT(code.size(), 1000u);
    ASSERT_EQ(parse(code), "");
}

static void put16(std::vector<uint8_t>& out, uint32_t v) {
    out.push_back((uint8_t)v);
    out.push_back((uint8_t)(v >> 8));
}

static void put32(std::vector<uint8_t>& out, uint32_t v) {
    put16(out, v & 0xffff);
    put16(out, v >> 16);
}

static void put_be32(std::vector<uint8_t>& out, uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8) out.push_back((uint8_t)(v >> shift));
}

static void put_text(std::vector<uint8_t>& out, const char* text) {
    while (*text) out.push_back((uint8_t)*text++);
}

#define EXPECT_LINE(lines, text) \
    EXPECT_NE(std::find((lines).begin(), (lines).end(), std::string(text)), (lines).end()) << (text)

static bool has_line_starting(const std::vector<std::string>& lines, const std::string& start) {
    for (const std::string& line : lines)
        if (line.rfind(start, 0) == 0) return true;
    return false;
}

TEST(DefaultTypes, every_type_lays_out_without_an_error_line) {
    load_default_types();
    std::vector<uint8_t> zeros(4096, 0);
    for (int64_t i = 16; i < app_state.types.count; i++) {
        const type_info* type = type_at((uint32_t)i);
        std::string name(type->name, type->name_length);
        for (const std::string& line : lay_out(name.c_str(), zeros))
            EXPECT_EQ(line.find("Error"), std::string::npos) << name << ": " << line;
    }
}

TEST(DefaultTypes, bmp_headers) {
    load_default_types();
    std::vector<uint8_t> bmp;
    put_text(bmp, "BM");
    put32(bmp, 54 + 24);
    put32(bmp, 0);
    put32(bmp, 54);
    put32(bmp, 40);
    put32(bmp, 4);
    put32(bmp, (uint32_t)-2);
    put16(bmp, 1);
    put16(bmp, 24);
    put32(bmp, 0);
    put32(bmp, 24);
    put32(bmp, 2835);
    put32(bmp, 2835);
    put32(bmp, 0);
    put32(bmp, 0);
    ASSERT_EQ(bmp.size(), 54u);
    std::vector<std::string> lines = lay_out("BmpFile", bmp);
    EXPECT_EQ(lines[0], "BmpFile struct(54)");
    EXPECT_LINE(lines, "   file BmpFileHeader struct(14)");
    EXPECT_LINE(lines, "      bfType u16 = 19778");
    EXPECT_LINE(lines, "      bfOffBits u32 = 54");
    EXPECT_LINE(lines, "      biHeight i32 = -2");
    EXPECT_LINE(lines, "      biBitCount u16 = 24");
    EXPECT_LINE(lines, "      biCompression BmpCompression:u32 = BI_RGB (0)");
}

TEST(DefaultTypes, elf64_header_of_this_test_program) {
    load_default_types();
    std::string exe = read_text_file("/proc/self/exe");
    ASSERT_GT(exe.size(), 4096u);
    std::vector<uint8_t> elf(exe.begin(), exe.begin() + 4096);
    std::vector<std::string> lines = lay_out("Elf64Header", elf);
    EXPECT_EQ(lines[0], "Elf64Header struct(64)");
    EXPECT_LINE(lines, "      ei_magic u32 = 1179403647");
    EXPECT_LINE(lines, "      ei_class ElfClass:u8 = ELFCLASS64 (2)");
    EXPECT_LINE(lines, "      ei_data ElfData:u8 = ELFDATA2LSB (1)");
    EXPECT_LINE(lines, "   e_ehsize u16 = 64");
    EXPECT_LINE(lines, "   e_phentsize u16 = 56");
    EXPECT_TRUE(has_line_starting(lines, "   e_type ElfType:u16 = ET_"));

    uint64_t phoff = 0;
    memcpy(&phoff, elf.data() + 32, sizeof phoff);
    ASSERT_LT(phoff, 4096u - 56);
    lines = lay_out("Elf64ProgramHeader", elf, phoff);
    EXPECT_EQ(lines[0], "Elf64ProgramHeader struct(56)");
    EXPECT_TRUE(has_line_starting(lines, "   p_type ElfSegmentType:u32 = PT_"));
}

TEST(DefaultTypes, zip_local_file_header_and_end_record) {
    load_default_types();
    std::vector<uint8_t> zip;
    put32(zip, 0x04034b50);
    put16(zip, 20);
    put16(zip, 0);
    put16(zip, 8);
    put16(zip, 0x6000);
    put16(zip, 0x5821);
    put32(zip, 0x12345678);
    put32(zip, 10);
    put32(zip, 20);
    put16(zip, 5);
    put16(zip, 0);
    std::vector<std::string> lines = lay_out("ZipLocalFileHeader", zip);
    EXPECT_EQ(lines[0], "ZipLocalFileHeader struct(30)");
    EXPECT_LINE(lines, "   signature u32 = 67324752");
    EXPECT_LINE(lines, "   method ZipMethod:u16 = ZIP_DEFLATED (8)");
    EXPECT_LINE(lines, "   crc32 u32 = 305419896");
    EXPECT_LINE(lines, "   file_name_length u16 = 5");

    std::vector<uint8_t> end;
    put32(end, 0x06054b50);
    put16(end, 0);
    put16(end, 0);
    put16(end, 3);
    put16(end, 3);
    put32(end, 150);
    put32(end, 1000);
    put16(end, 0);
    lines = lay_out("ZipEndOfCentralDirectory", end);
    EXPECT_EQ(lines[0], "ZipEndOfCentralDirectory struct(22)");
    EXPECT_LINE(lines, "   total_entries u16 = 3");
    EXPECT_LINE(lines, "   central_directory_offset u32 = 1000");
}

TEST(DefaultTypes, gif_header_and_screen) {
    load_default_types();
    std::vector<uint8_t> gif;
    put_text(gif, "GIF89a");
    put16(gif, 320);
    put16(gif, 200);
    gif.push_back(0xf7);
    gif.push_back(0);
    gif.push_back(0);
    std::vector<std::string> lines = lay_out("GifFile", gif);
    EXPECT_EQ(lines[0], "GifFile struct(13)");
    EXPECT_LINE(lines, "      signature u24 = 4606279");
    EXPECT_LINE(lines, "      version u24 = 6371640");
    EXPECT_LINE(lines, "      width u16 = 320");
    EXPECT_LINE(lines, "      packed u8 = 247");
}

TEST(DefaultTypes, wave_header) {
    load_default_types();
    std::vector<uint8_t> wav;
    put_text(wav, "RIFF");
    put32(wav, 36 + 8);
    put_text(wav, "WAVEfmt ");
    put32(wav, 16);
    put16(wav, 1);
    put16(wav, 2);
    put32(wav, 44100);
    put32(wav, 176400);
    put16(wav, 4);
    put16(wav, 16);
    put_text(wav, "data");
    put32(wav, 8);
    std::vector<std::string> lines = lay_out("WaveFile", wav);
    EXPECT_EQ(lines[0], "WaveFile struct(44)");
    EXPECT_LINE(lines, "      riff_id u32 = 1179011410");
    EXPECT_LINE(lines, "      audio_format WaveFormat:u16 = WAVE_FORMAT_PCM (1)");
    EXPECT_LINE(lines, "      sample_rate u32 = 44100");
    EXPECT_LINE(lines, "      bits_per_sample u16 = 16");
    EXPECT_LINE(lines, "      data_size u32 = 8");
}

TEST(DefaultTypes, png_signature_and_ihdr_read_big_endian) {
    load_default_types();
    std::vector<uint8_t> png = {0x89, 'P', 'N', 'G', 0x0d, 0x0a, 0x1a, 0x0a};
    put_be32(png, 13);
    put_text(png, "IHDR");
    put_be32(png, 640);
    put_be32(png, 480);
    png.push_back(8);
    png.push_back(6);
    png.push_back(0);
    png.push_back(0);
    png.push_back(1);
    put_be32(png, 0xdeadbeef);
    app_state.big_endian = 1;
    std::vector<std::string> lines = lay_out("PngFile", png);
    EXPECT_EQ(lines[0], "PngFile struct(33)");
    EXPECT_LINE(lines, "   signature u64 = 9894494448401390090");
    EXPECT_LINE(lines, "      length u32 = 13");
    EXPECT_LINE(lines, "      chunk_type u32 = 1229472850");
    EXPECT_LINE(lines, "      width u32 = 640");
    EXPECT_LINE(lines, "      height u32 = 480");
    EXPECT_LINE(lines, "      color_type PngColorType:u8 = PNG_RGBA (6)");
    EXPECT_LINE(lines, "      interlace PngInterlace:u8 = PNG_ADAM7 (1)");
    EXPECT_LINE(lines, "      crc u32 = 3735928559");
}
