#pragma once
// Pictures and frame sequences for the codec tests, plus small helpers that run a
// compressor over a sequence and split its output into records.

#include <cstdint>
#include <functional>
#include <span>
#include <vector>

#include "codec/uBitmap.h"
#include "codec/uGraphicCompressBase.h"
#include "codec/uGraphicDecode.h"

namespace codectest {

TBitmap Uniform(int W, int H, uint8_t B, uint8_t G, uint8_t R);
// A diagonal colour gradient.
TBitmap Gradient(int W, int H);
// Independent random bytes.
TBitmap Noise(int W, int H, uint32_t Seed);
// A gradient background with a few solid blocks placed according to Frame.
TBitmap MovingBlocks(int W, int H, int Frame);

void SetPixel(TBitmap& B, int X, int Y, uint8_t Blue, uint8_t Green, uint8_t Red);
const uint8_t* PixelAt(const TBitmap& B, int N); // by pixel index (24-bit pictures)

// Runs Compressor (quality already set or default) over Frames into memory.
std::vector<uint8_t> CompressAll(TGraphicCompressBase& Compressor,
                                 const std::vector<TBitmap>& Frames);
// One compressed frame on its own.
std::vector<uint8_t> CompressOne(TGraphicCompressBase& Compressor, const TBitmap& Frame);

// Splits a frame stream (without end mark) into its records.
std::vector<std::span<const uint8_t>> SplitRecords(TCodecKind Codec,
                                                   std::span<const uint8_t> Stream);

// A hex dump for failure messages.
std::string Hex(std::span<const uint8_t> Bytes);

} // namespace codectest
