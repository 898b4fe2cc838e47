#include "codec/uGraphicCompress_LM41.h"

namespace {

inline uint8_t Grey(const uint8_t* P) {
    return TGraphicCompress_LM41::GreyLevel(P[0], P[1], P[2]);
}

} // namespace

TGraphicCompress_LM41::TGraphicCompress_LM41() {
    KeyInterval = DefaultKeyInterval;
}

void TGraphicCompress_LM41::SetQuality(int Value) {
    TGraphicCompress::SetQuality(Value);
    KeyInterval = DefaultKeyInterval;
}

int TGraphicCompress_LM41::DeltaSize(const uint8_t* Prev, const uint8_t* Cur) {
    int Size = 0;
    bool First = true;
    for (int Y = 0; Y < Height; ++Y) {
        const uint8_t* P = Prev + ptrdiff_t(Y) * RowStride;
        const uint8_t* C = Cur + ptrdiff_t(Y) * RowStride;
        for (int X = 0; X < Width; ++X, P += 3, C += 3) {
            if (Grey(P) == Grey(C))
                continue;
            const int Block = (Y * Width + X) / BlockSize;
            if (First) {
                CurrentBlock = uint8_t(Block);
                Size += 5;
                First = false;
            } else if (Block > CurrentBlock) {
                CurrentBlock = uint8_t(Block);
                Size += 5;
            } else {
                Size += 2;
            }
        }
    }
    return Size;
}

int TGraphicCompress_LM41::FullSize(const uint8_t*) {
    return PixelCount() / 2;
}

void TGraphicCompress_LM41::EncodeKeyFrame(const uint8_t* Cur) {
    uint8_t Held = 0;
    int N = 0;
    for (int Y = 0; Y < Height; ++Y) {
        const uint8_t* C = Cur + ptrdiff_t(Y) * RowStride;
        for (int X = 0; X < Width; ++X, C += 3, ++N) {
            if ((N & 1) == 0)
                Held = uint8_t(Grey(C) << 4);
            else
                Payload_.push_back(uint8_t(Held | Grey(C)));
        }
    }
}

void TGraphicCompress_LM41::EncodeFullFrame(const uint8_t* Cur) {
    EncodeKeyFrame(Cur);
}

void TGraphicCompress_LM41::EncodeDeltaFrame(const uint8_t* Prev, const uint8_t* Cur) {
    bool First = true;
    for (int Y = 0; Y < Height; ++Y) {
        const uint8_t* P = Prev + ptrdiff_t(Y) * RowStride;
        const uint8_t* C = Cur + ptrdiff_t(Y) * RowStride;
        for (int X = 0; X < Width; ++X, P += 3, C += 3) {
            const uint8_t Level = Grey(C);
            if (Grey(P) == Level)
                continue;
            const int N = Y * Width + X;
            const int Block = N / BlockSize;
            if (First || Block > CurrentBlock) {
                WriteBlockMark(uint8_t(Block));
                First = false;
            }
            Payload_.push_back(uint8_t(N % BlockSize));
            Payload_.push_back(Level);
        }
    }
}
