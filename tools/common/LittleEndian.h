#pragma once
// Little-endian fields of the file headers the sibling tools write (BMP, WAV).

#include <cstdint>

namespace toolsupport {

inline void putLe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

inline void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace toolsupport
