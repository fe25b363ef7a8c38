// Reading integers and floats of 1 to 8 bytes in either byte order.
#include "types/read_number.h"

#include <math.h>
#include <string.h>

uint64_t read_unsigned(const uint8_t* bytes, uint32_t size, bool big_endian) {
    if (size > 8) size = 8;
    uint64_t value = 0;
    for (uint32_t i = 0; i < size; i++) {
        if (big_endian)
            value = (value << 8) | bytes[i];
        else
            value |= (uint64_t)bytes[i] << (8 * i);
    }
    return value;
}

int64_t read_signed(const uint8_t* bytes, uint32_t size, bool big_endian) {
    uint64_t value = read_unsigned(bytes, size, big_endian);
    if (size == 0 || size >= 8) return (int64_t)value;
    uint64_t sign = (uint64_t)1 << (8 * size - 1);
    return (int64_t)((value ^ sign) - sign);
}

double half_to_double(uint16_t bits) {
    int32_t exponent = (bits >> 10) & 0x1f;
    double fraction = bits & 0x3ff;
    double magnitude;
    if (exponent == 0)
        magnitude = ldexp(fraction, -24);
    else if (exponent == 0x1f)
        magnitude = fraction == 0 ? INFINITY : NAN;
    else
        magnitude = ldexp(fraction + 1024, exponent - 25);
    return (bits & 0x8000) ? -magnitude : magnitude;
}

double read_float(const uint8_t* bytes, uint32_t size, bool big_endian) {
    uint64_t bits = read_unsigned(bytes, size, big_endian);
    if (size == 2) return half_to_double((uint16_t)bits);
    if (size == 4) {
        uint32_t narrow = (uint32_t)bits;
        float value;
        memcpy(&value, &narrow, sizeof value);
        return value;
    }
    double value;
    memcpy(&value, &bits, sizeof value);
    return value;
}
