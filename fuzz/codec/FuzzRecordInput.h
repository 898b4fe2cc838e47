#pragma once
// How the record fuzzers read their input: one byte chooses the codec, two bytes the
// frame size (kept small so one input stays quick), the rest are the record bytes.
// The seed writer uses the same layout.

#include <cstddef>
#include <cstdint>

#include "codec/uGraphicDecode.h"

namespace fuzzcodec {

constexpr size_t PrefixSize = 3;

struct TRecordInput {
    TCodecKind Codec;
    int Width;
    int Height;
};

inline TRecordInput ReadPrefix(const uint8_t* Data) {
    const TCodecKind Kinds[3] = {TCodecKind::LM41, TCodecKind::LM52, TCodecKind::LM63};
    return {Kinds[Data[0] % 3], 1 + Data[1] % 160, 1 + Data[2] % 128};
}

inline void WritePrefix(uint8_t* Out, TCodecKind Codec, int Width, int Height) {
    Out[0] = uint8_t(Codec == TCodecKind::LM41 ? 0 : Codec == TCodecKind::LM52 ? 1 : 2);
    Out[1] = uint8_t(Width - 1);
    Out[2] = uint8_t(Height - 1);
}

} // namespace fuzzcodec
