// Numbers read from file bytes in either byte order.
#pragma once

#include <stdint.h>

// Unsigned value of `size` (1..8) bytes at `bytes`, in the given byte order.
uint64_t read_unsigned(const uint8_t* bytes, uint32_t size, bool big_endian);
int64_t read_signed(const uint8_t* bytes, uint32_t size, bool big_endian);
double half_to_double(uint16_t bits);
// An IEEE half, single or double of `size` 2, 4 or 8 bytes, widened to double.
double read_float(const uint8_t* bytes, uint32_t size, bool big_endian);
