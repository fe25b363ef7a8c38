// Bitlorn types: the record layouts offered in the structure view.
//
// Declarations, in the order they may be used (a type must be declared
// before any field refers to it):
//
//   struct Name { Type field; Type field; }      fields follow one another, no padding
//   union Name { Type field; Type field; }       every field starts at offset 0
//   enum Name : Base { A, B, C }                 A = 0, B = 1, C = 2 (no explicit values);
//                                                Base is an integer type, i32 when left out
//   typedef NewName OldName;                     NewName first, then the existing type
//
// Built-in types: u8 u16 u24 u32 u40 u48 u56 u64, i8 i16 i32 i64, f16 f32 f64.
//
// The language has no arrays, so wider fields (magic strings, identification
// blocks, padding) are written as one or more integers of the right total
// width. Magic strings read as numbers: "RIFF" shows as u32 = 1179011410.
//
// Values are read little-endian unless the "Bigendian" button is on.

typedef BYTE u8;
typedef WORD u16;
typedef DWORD u32;
typedef LONG i32;

// ---------------------------------------------------------------------------
// BMP: the file header, then the BITMAPINFOHEADER (54 bytes together)

enum BmpCompression : DWORD {
    BI_RGB, BI_RLE8, BI_RLE4, BI_BITFIELDS, BI_JPEG, BI_PNG, BI_ALPHABITFIELDS
}

struct BmpFileHeader {
    WORD bfType;        // "BM" = 19778
    DWORD bfSize;       // the whole file, in bytes
    WORD bfReserved1;
    WORD bfReserved2;
    DWORD bfOffBits;    // where the pixels start
}

struct BmpInfoHeader {
    DWORD biSize;       // 40 for this header
    LONG biWidth;
    LONG biHeight;      // negative: rows run top to bottom
    WORD biPlanes;
    WORD biBitCount;
    BmpCompression biCompression;
    DWORD biSizeImage;
    LONG biXPelsPerMeter;
    LONG biYPelsPerMeter;
    DWORD biClrUsed;
    DWORD biClrImportant;
}

struct BmpFile {
    BmpFileHeader file;
    BmpInfoHeader info;
}

// ---------------------------------------------------------------------------
// RIFF/WAVE: the RIFF header, the "fmt " chunk and the "data" chunk header

enum WaveFormat : u16 {
    WAVE_FORMAT_UNKNOWN, WAVE_FORMAT_PCM, WAVE_FORMAT_ADPCM, WAVE_FORMAT_IEEE_FLOAT,
    WAVE_FORMAT_VSELP, WAVE_FORMAT_IBM_CVSD, WAVE_FORMAT_ALAW, WAVE_FORMAT_MULAW
}

struct RiffHeader {
    u32 riff_id;        // "RIFF"
    u32 riff_size;      // file size - 8
    u32 wave_id;        // "WAVE"
}

struct WaveFmtChunk {
    u32 fmt_id;         // "fmt "
    u32 fmt_size;       // 16 for PCM
    WaveFormat audio_format;
    u16 channels;
    u32 sample_rate;
    u32 byte_rate;      // sample_rate * block_align
    u16 block_align;    // channels * bits_per_sample / 8
    u16 bits_per_sample;
}

struct WaveDataChunk {
    u32 data_id;        // "data"
    u32 data_size;
}

// The usual 44-byte header of a PCM .wav file
struct WaveFile {
    RiffHeader riff;
    WaveFmtChunk fmt;
    WaveDataChunk data;
}

// ---------------------------------------------------------------------------
// ELF64: the file header (64 bytes) and a program header (56 bytes)

enum ElfClass : u8 { ELFCLASSNONE, ELFCLASS32, ELFCLASS64 }
enum ElfData : u8 { ELFDATANONE, ELFDATA2LSB, ELFDATA2MSB }
enum ElfType : u16 { ET_NONE, ET_REL, ET_EXEC, ET_DYN, ET_CORE }
enum ElfSegmentType : u32 {
    PT_NULL, PT_LOAD, PT_DYNAMIC, PT_INTERP, PT_NOTE, PT_SHLIB, PT_PHDR, PT_TLS
}

// e_ident: 16 bytes
struct ElfIdent {
    u32 ei_magic;       // 7f 'E' 'L' 'F' = 1179403647
    ElfClass ei_class;
    ElfData ei_data;    // ELFDATA2MSB: switch "Bigendian" on for the rest
    u8 ei_version;
    u8 ei_osabi;
    u8 ei_abiversion;
    u56 ei_pad;
}

struct Elf64Header {
    ElfIdent e_ident;
    ElfType e_type;
    u16 e_machine;      // 62 = x86-64, 183 = AArch64
    u32 e_version;
    u64 e_entry;
    u64 e_phoff;        // program headers: place Elf64ProgramHeader there
    u64 e_shoff;
    u32 e_flags;
    u16 e_ehsize;
    u16 e_phentsize;
    u16 e_phnum;
    u16 e_shentsize;
    u16 e_shnum;
    u16 e_shstrndx;
}

struct Elf64ProgramHeader {
    ElfSegmentType p_type;
    u32 p_flags;        // 1 execute, 2 write, 4 read
    u64 p_offset;
    u64 p_vaddr;
    u64 p_paddr;
    u64 p_filesz;
    u64 p_memsz;
    u64 p_align;
}

// ---------------------------------------------------------------------------
// ZIP: a local file header (30 bytes; the file name follows it) and the end
// of central directory record (22 bytes, near the end of the file)

enum ZipMethod : u16 {
    ZIP_STORED, ZIP_SHRUNK, ZIP_REDUCED1, ZIP_REDUCED2, ZIP_REDUCED3, ZIP_REDUCED4,
    ZIP_IMPLODED, ZIP_RESERVED7, ZIP_DEFLATED, ZIP_DEFLATE64
}

struct ZipLocalFileHeader {
    u32 signature;      // "PK\3\4" = 67324752
    u16 version_needed;
    u16 flags;          // bit 3: CRC and sizes follow the data instead
    ZipMethod method;
    u16 mod_time;       // MS-DOS time
    u16 mod_date;       // MS-DOS date
    u32 crc32;
    u32 compressed_size;
    u32 uncompressed_size;
    u16 file_name_length;
    u16 extra_field_length;
}

struct ZipEndOfCentralDirectory {
    u32 signature;      // "PK\5\6" = 101010256
    u16 disk_number;
    u16 central_directory_disk;
    u16 entries_on_disk;
    u16 total_entries;
    u32 central_directory_size;
    u32 central_directory_offset;
    u16 comment_length;
}

// ---------------------------------------------------------------------------
// GIF: the header and the logical screen descriptor (13 bytes)

struct GifHeader {
    u24 signature;      // "GIF" = 4606279
    u24 version;        // "89a" = 6371640, "87a" = 6371128
}

struct GifScreenDescriptor {
    u16 width;
    u16 height;
    u8 packed;          // bit 7: global colour table; bits 0-2: its size
    u8 background_color;
    u8 pixel_aspect_ratio;
}

struct GifFile {
    GifHeader header;
    GifScreenDescriptor screen;
}

// ---------------------------------------------------------------------------
// PNG: the signature and the IHDR chunk (33 bytes).
// PNG stores every number big-endian: switch "Bigendian" on to read it.

enum PngColorType : u8 {
    PNG_GRAY, PNG_UNUSED1, PNG_RGB, PNG_PALETTE, PNG_GRAY_ALPHA, PNG_UNUSED5, PNG_RGBA
}

enum PngInterlace : u8 { PNG_NOT_INTERLACED, PNG_ADAM7 }

struct PngIhdrChunk {
    u32 length;         // 13
    u32 chunk_type;     // "IHDR" = 1229472850 (big-endian)
    u32 width;
    u32 height;
    u8 bit_depth;
    PngColorType color_type;
    u8 compression_method;
    u8 filter_method;
    PngInterlace interlace;
    u32 crc;
}

struct PngFile {
    u64 signature;      // 89 50 4e 47 0d 0a 1a 0a
    PngIhdrChunk ihdr;
}
