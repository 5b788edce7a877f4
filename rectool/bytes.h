// Record fields read and written byte by byte: files are little-endian
// whatever the host, and the bytes handed in need not be aligned.
#pragma once
#include "../engine/types.h"
#include <cstdint>

inline uint32_t Le32(const uint8_t *p) {
    return uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 | uint32_t(p[3]) << 24;
}

inline void PutLe32(uint8_t *p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
    p[2] = uint8_t(v >> 16);
    p[3] = uint8_t(v >> 24);
}

inline EventRecord RecordAt(const uint8_t *data, uint64_t index) {
    const uint8_t *p = data + index * sizeof(EventRecord);
    return {Le32(p), Le32(p + 4), Le32(p + 8), Le32(p + 12), Le32(p + 16)};
}
