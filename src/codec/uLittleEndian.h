#pragma once
// Little-endian fields in byte buffers (bitmap and WAV headers, frame records).

#include <cstdint>

inline uint16_t GetU16(const uint8_t* P) {
    return uint16_t(P[0] | (P[1] << 8));
}

inline uint32_t GetU32(const uint8_t* P) {
    return uint32_t(P[0]) | (uint32_t(P[1]) << 8) | (uint32_t(P[2]) << 16) | (uint32_t(P[3]) << 24);
}

inline void PutU16(uint8_t* P, uint16_t V) {
    P[0] = uint8_t(V);
    P[1] = uint8_t(V >> 8);
}

inline void PutU32(uint8_t* P, uint32_t V) {
    for (int I = 0; I < 4; ++I)
        P[I] = uint8_t(V >> (8 * I));
}
