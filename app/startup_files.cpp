// Start-up after the window: the shell's one start sequence, and the two
// files it reads from beside the executable, the font and the types.
#include <string.h>

#include "app/app.h"
#include "app/app_print.h"
#include "app/app_state.h"
#include "os/os.h"
#include "render/font.h"
#include "render/text_buffer.h"
#include "types/type_parser.h"

enum : uint64_t { png_signature_size = 8, shared_text_capacity = 10000 };

// Built on the heap so that no directory is too long for it; the directory
// already ends in '/', so the joint holds "//", which the file system accepts.
char* path_beside_executable(const char* name_with_slash) {
    utf8_string directory = os_executable_directory();
    uint64_t directory_length = directory.data && directory.length > 0 ? (uint64_t)directory.length : 0;
    uint64_t name_length = strlen(name_with_slash);
    char* path = (char*)os_alloc(directory_length + name_length + 1);
    if (!path) return nullptr;
    if (directory_length) memcpy(path, directory.data, directory_length);
    memcpy(path + directory_length, name_with_slash, name_length);
    path[directory_length + name_length] = 0;
    return path;
}

static file_contents read_beside_executable(const char* name_with_slash) {
    file_contents contents = {};
    char* path = path_beside_executable(name_with_slash);
    if (path) {
        contents = os_read_entire_file(os_string(path));
        os_free(path);
    }
    return contents;
}

void load_font(void) {
    file_contents png = read_beside_executable("/mono.png");
    bool built = png.data && png.size > png_signature_size &&
                 build_glyph_atlas(&app_state.font, png.data, png.size);
    if (png.data) os_free_file_contents(&png);
    if (built) return;
    // Without a font no label could be read; the copy built into the program
    // keeps the viewer usable.
    app_print("mono.png is missing or unusable; using the built-in font\n");
    build_glyph_atlas(&app_state.font, embedded_mono_png, embedded_mono_png_size);
}

void load_types_file(void) {
    file_contents code = read_beside_executable("/types.c");
    if (!code.data) return;
    create_types_from_code((const char*)code.data, code.size);
    os_free_file_contents(&code);
}

bool start_shell(bool files_beside_program) {
    if (files_beside_program) load_font();
    else build_glyph_atlas(&app_state.font, embedded_mono_png, embedded_mono_png_size);
    bool ready = app_state.font.glyphs && text_buffer_create(&app_state.text, shared_text_capacity);
    reset_type_colors();
    register_builtin_types();
    if (files_beside_program) {
        load_types_file();
        watch_types_file();
    }
    layout_panels();
    return ready;
}
