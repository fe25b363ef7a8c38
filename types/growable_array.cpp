// The growable array: creation, growth by doubling then by steps, appending and removal.
#include "types/growable_array.h"

#include <string.h>

#include "app/app_print.h"
#include "os/os.h"

enum : int64_t {
    // A failed allocation leaves capacity 0, which doubling alone never leaves.
    array_restart_capacity = 16,
    array_doubling_limit_bytes = 0xfffff,
    array_linear_step = 0x100000,  // elements, not bytes
};

bool array_create(growable_array* array, int64_t capacity, uint64_t element_size) {
    array->count = 0;
    array->capacity = 0;
    array->items = nullptr;
    if (capacity <= 0 || element_size == 0) return true;
    if ((uint64_t)capacity > UINT64_MAX / element_size) return false;
    void* items = os_alloc((uint64_t)capacity * element_size);
    if (!items) return false;
    array->items = items;
    array->capacity = capacity;
    return true;
}

// The capacity after growth, or 0 when no capacity above count can be had.
static int64_t grown_capacity(int64_t count, int64_t capacity, uint64_t element_size) {
    if (capacity <= 0) capacity = array_restart_capacity;
    while (count >= capacity) {
        if ((uint64_t)capacity > UINT64_MAX / element_size) return 0;
        uint64_t bytes = (uint64_t)capacity * element_size;
        if (bytes <= array_doubling_limit_bytes) {
            capacity *= 2;
        } else {
            if (capacity > INT64_MAX - array_linear_step) return 0;
            capacity += array_linear_step;
        }
    }
    if ((uint64_t)capacity > UINT64_MAX / element_size) return 0;
    return capacity;
}

void* array_append(growable_array* array, uint64_t element_size, const void* element) {
    if (element_size == 0) return nullptr;
    if (array->count >= array->capacity) {
        int64_t capacity = grown_capacity(array->count, array->capacity, element_size);
        // The element may lie inside the block that is about to move.
        const uint8_t* old_items = (const uint8_t*)array->items;
        const uint8_t* source = (const uint8_t*)element;
        bool inside = old_items && source >= old_items &&
                      source < old_items + (uint64_t)array->count * element_size;
        void* items = capacity ? os_realloc(array->items, (uint64_t)capacity * element_size) : nullptr;
        if (!items) {
            app_print("Out of memory: could not grow a list to %lld items\n",
                      (long long)(capacity ? capacity : array->count + 1));
            return nullptr;
        }
        if (inside) element = (const uint8_t*)items + (source - old_items);
        array->items = items;
        array->capacity = capacity;
    }
    uint8_t* slot = (uint8_t*)array->items + (uint64_t)array->count * element_size;
    memcpy(slot, element, element_size);
    array->count += 1;
    return slot;
}

void array_remove(growable_array* array, uint64_t element_size, int64_t index) {
    if (index < 0 || index >= array->count) return;
    uint8_t* items = (uint8_t*)array->items;
    uint64_t after = (uint64_t)(array->count - index - 1) * element_size;
    memmove(items + (uint64_t)index * element_size, items + (uint64_t)(index + 1) * element_size,
            after);
    array->count -= 1;
}
