// A growable array of fixed-size elements stored by value: the type table,
// member lists, placements and the input change lists all use it.
#pragma once

#include <stdint.h>

struct growable_array {
    int64_t count;
    int64_t capacity;
    void* items;
};

// False, leaving capacity 0, when the allocation fails.
bool array_create(growable_array* array, int64_t capacity, uint64_t element_size);
// Copies one element to the end; returns the stored copy, or null when the
// array cannot grow (the failure is reported on standard output).
void* array_append(growable_array* array, uint64_t element_size, const void* element);
// Removes element `index`, moving the later ones down in order.
void array_remove(growable_array* array, uint64_t element_size, int64_t index);
