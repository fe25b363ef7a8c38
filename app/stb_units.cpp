// The one unit that compiles the stb implementations, with our own hooks:
// allocation through the platform heap and an assertion that reports and
// parks the thread instead of aborting.
#include "app/app_print.h"
#include "os/os.h"

enum : uint32_t { stbi_assert_sleep_ms = 43200000 };  // twelve hours

static void stbi_report_assert(const char* function, int line, const char* condition) {
    app_print("* STBI_ASSERT * [%s:%i] - (%s)\n", function, line, condition);
    os_sleep_milliseconds(stbi_assert_sleep_ms);
}

#define STBI_ASSERT(x) ((x) ? (void)0 : stbi_report_assert(__func__, __LINE__, #x))
#define STBI_MALLOC(size) os_alloc(size)
#define STBI_REALLOC(block, size) os_realloc(block, size)
#define STBI_FREE(block) os_free(block)
#define STBI_ONLY_PNG
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION

#define STB_SPRINTF_MIN 1024
// The formatter's word-at-a-time copies are misaligned stores, which are
// undefined behaviour; byte copies cost nothing that matters here.
#define STB_SPRINTF_NOUNALIGNED
#define STB_SPRINTF_IMPLEMENTATION

#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wunused-parameter"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#pragma GCC diagnostic ignored "-Wsign-compare"
#pragma GCC diagnostic ignored "-Wimplicit-fallthrough"
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#include "stb_image.h"
#include "stb_sprintf.h"
#pragma GCC diagnostic pop
