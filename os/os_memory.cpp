#include <malloc.h>
#include <stdlib.h>

#include "os/os.h"

void* os_alloc(uint64_t bytes) { return malloc(bytes ? bytes : 1); }

void* os_alloc_zeroed(uint64_t bytes) { return calloc(1, bytes ? bytes : 1); }

void* os_realloc(void* block, uint64_t bytes) { return realloc(block, bytes ? bytes : 1); }

int32_t os_free(void* block) {
    free(block);
    return 1;
}

uint64_t os_heap_size(void* block) { return block ? malloc_usable_size(block) : 0; }
