#include "codec/CodecPictures.h"

#include <cstdio>
#include <random>
#include <stdexcept>
#include <string>

#include "codec/uStream.h"

namespace codectest {

TBitmap Uniform(int W, int H, uint8_t B, uint8_t G, uint8_t R) {
    TBitmap Pic(W, H);
    for (int N = 0; N < W * H; ++N) {
        uint8_t* P = Pic.Data() + size_t(N) * 3;
        P[0] = B;
        P[1] = G;
        P[2] = R;
    }
    return Pic;
}

TBitmap Gradient(int W, int H) {
    TBitmap Pic(W, H);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X)
            SetPixel(Pic, X, Y, uint8_t(X * 255 / std::max(1, W - 1)),
                     uint8_t(Y * 255 / std::max(1, H - 1)),
                     uint8_t((X + Y) * 255 / std::max(1, W + H - 2)));
    return Pic;
}

TBitmap Noise(int W, int H, uint32_t Seed) {
    TBitmap Pic(W, H);
    std::mt19937 Rng(Seed);
    for (size_t I = 0; I < Pic.DataSize(); ++I)
        Pic.Data()[I] = uint8_t(Rng());
    return Pic;
}

TBitmap MovingBlocks(int W, int H, int Frame) {
    TBitmap Pic = Gradient(W, H);
    struct Block {
        int X, Y, Size, DX, DY;
        uint8_t B, G, R;
    };
    const Block Blocks[] = {{5, 7, 20, 3, 1, 250, 30, 30},
                            {60, 40, 16, -2, 2, 20, 240, 60},
                            {100, 10, 12, 1, -3, 200, 200, 10}};
    for (const Block& K : Blocks) {
        const int X0 = ((K.X + K.DX * Frame) % W + W) % W;
        const int Y0 = ((K.Y + K.DY * Frame) % H + H) % H;
        for (int Y = Y0; Y < std::min(H, Y0 + K.Size); ++Y)
            for (int X = X0; X < std::min(W, X0 + K.Size); ++X)
                SetPixel(Pic, X, Y, K.B, K.G, K.R);
    }
    return Pic;
}

void SetPixel(TBitmap& B, int X, int Y, uint8_t Blue, uint8_t Green, uint8_t Red) {
    uint8_t* P = B.ScanLine(Y) + size_t(X) * 3;
    P[0] = Blue;
    P[1] = Green;
    P[2] = Red;
}

const uint8_t* PixelAt(const TBitmap& B, int N) {
    return B.Data() + size_t(N) * 3;
}

std::vector<uint8_t> CompressAll(TGraphicCompressBase& Compressor,
                                 const std::vector<TBitmap>& Frames) {
    TMemoryOutStream Out;
    Compressor.Stream = &Out;
    for (const TBitmap& F : Frames)
        Compressor.CompressFrame(F, "");
    Compressor.Stream = nullptr;
    return Out.TakeBytes();
}

std::vector<uint8_t> CompressOne(TGraphicCompressBase& Compressor, const TBitmap& Frame) {
    TMemoryOutStream Out;
    Compressor.Stream = &Out;
    Compressor.CompressFrame(Frame, "");
    Compressor.Stream = nullptr;
    return Out.TakeBytes();
}

std::vector<std::span<const uint8_t>> SplitRecords(TCodecKind Codec,
                                                   std::span<const uint8_t> Stream) {
    std::vector<std::span<const uint8_t>> Records;
    size_t Pos = 0;
    while (Pos < Stream.size()) {
        const size_t L = FrameRecordLength(Codec, Stream.subspan(Pos));
        if (L == 0)
            throw std::runtime_error("end mark inside the stream at " + std::to_string(Pos));
        Records.push_back(Stream.subspan(Pos, L));
        Pos += L;
    }
    return Records;
}

std::string Hex(std::span<const uint8_t> Bytes) {
    std::string S;
    char Buf[4];
    for (uint8_t B : Bytes) {
        std::snprintf(Buf, sizeof Buf, "%02X ", B);
        S += Buf;
    }
    return S;
}

} // namespace codectest
