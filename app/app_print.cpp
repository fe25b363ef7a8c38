// app_print: stb_sprintf's chunked formatter writing to standard output.
#include "app/app_print.h"

#include <stdarg.h>

#include "os/os.h"
#include "stb_sprintf.h"

enum : int { print_chunk_size = 1024 };

struct print_sink {
    char chunk[print_chunk_size];
    int64_t produced;
};

static char* write_chunk(const char* bytes, void* user, int length) {
    print_sink* sink = (print_sink*)user;
    sink->produced += length;
    os_write_stdout(utf8_string{length, bytes});
    return sink->chunk;
}

int64_t app_print(const char* format, ...) {
    print_sink sink;
    sink.produced = 0;
    va_list args;
    va_start(args, format);
    stbsp_vsprintfcb(write_chunk, &sink, sink.chunk, format, args);
    va_end(args);
    return sink.produced;
}
