#include <dlfcn.h>

#include "os/os.h"
#include "os/os_path.h"

os_library os_library_load(utf8_string path) {
    os_c_path c_path;
    os_path_begin(&c_path, path);
    os_library library = {nullptr, 0};
    if (c_path.text[0]) library.handle = dlopen(c_path.text, RTLD_NOW | RTLD_LOCAL);
    library.loaded = library.handle ? 1 : 0;
    os_path_end(&c_path);
    return library;
}

void os_library_free(os_library library) {
    if (library.loaded && library.handle) dlclose(library.handle);
}

void* os_library_symbol(os_library library, utf8_string name) {
    if (!library.handle || library.loaded != 1 || !name.data) return nullptr;
    return dlsym(library.handle, name.data);
}
