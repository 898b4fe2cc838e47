#include "codec/uGraphicCompress_LM52.h"

#include <cstdlib>

namespace {

inline uint16_t Word(const uint8_t* P) {
    return TGraphicCompress_LM52::ColourWord(P[0], P[1], P[2]);
}

constexpr TGraphicCompress_LM52::TTolerance HighQuality{10, 5};
constexpr TGraphicCompress_LM52::TTolerance LowQuality{6, 3};
constexpr int HighQualityFrom = 75;

} // namespace

TGraphicCompress_LM52::TGraphicCompress_LM52() {
    KeyInterval = DefaultKeyInterval;
    SetQuality(Quality);
}

void TGraphicCompress_LM52::SetQuality(int Value) {
    TGraphicCompress::SetQuality(Value);
    KeyInterval = DefaultKeyInterval;
    BaseDelta_ = BaseFull_ = Value >= HighQualityFrom ? HighQuality : LowQuality;
}

TGraphicCompress_LM52::TTolerance TGraphicCompress_LM52::DeltaTolerance() const {
    return {BaseDelta_.Big + ExtraDelta_.Big, BaseDelta_.Small + ExtraDelta_.Small};
}

TGraphicCompress_LM52::TTolerance TGraphicCompress_LM52::FullTolerance() const {
    return {BaseFull_.Big + ExtraFull_.Big, BaseFull_.Small + ExtraFull_.Small};
}

bool TGraphicCompress_LM52::Similar(const uint8_t* P, const uint8_t* Q, TTolerance T) {
    const int DB = std::abs(int(P[0]) - int(Q[0]));
    const int DG = std::abs(int(P[1]) - int(Q[1]));
    const int DR = std::abs(int(P[2]) - int(Q[2]));
    return (DR <= T.Big && DG <= T.Small && DB <= T.Small) ||
           (DG <= T.Big && DR <= T.Small && DB <= T.Small) ||
           (DB <= T.Big && DR <= T.Small && DG <= T.Small);
}

void TGraphicCompress_LM52::AdaptTolerance(int Size) {
    TTolerance Extra{0, 0};
    if (Size > 20000)
        Extra = {14, 7};
    else if (Size > 12000)
        Extra = {8, 4};
    ExtraDelta_ = ExtraFull_ = Extra;
}

void TGraphicCompress_LM52::EmitRun(uint16_t Colour, int Length) {
    // Run lengths are 16-bit; frames are limited to 65024 pixels, so a longer run means
    // a broken caller, and writing it truncated would corrupt the picture.
    if (Length < 1 || Length > 0xFFFF)
        throw TCodecError("LM52: run of " + std::to_string(Length) + " pixels cannot be written");
    if (Length == 1) {
        Payload_.push_back(uint8_t(Colour));
        Payload_.push_back(uint8_t(Colour >> 8));
        return;
    }
    const uint16_t Flagged = uint16_t(Colour | RunFlag);
    Payload_.push_back(uint8_t(Flagged));
    Payload_.push_back(uint8_t(Flagged >> 8));
    Payload_.push_back(uint8_t(Length));
    Payload_.push_back(uint8_t(Length >> 8));
}

void TGraphicCompress_LM52::EncodeKeyFrame(const uint8_t* Cur) {
    uint16_t Colour = Word(Cur);
    int Run = 0;
    for (int Y = 0; Y < Height; ++Y) {
        const uint8_t* C = Cur + ptrdiff_t(Y) * RowStride;
        for (int X = 0; X < Width; ++X, C += 3) {
            const uint16_t W = Word(C);
            if (W != Colour) {
                EmitRun(Colour, Run);
                Colour = W;
                Run = 0;
            }
            ++Run;
        }
    }
    EmitRun(Colour, Run);
}

int TGraphicCompress_LM52::FullSize(const uint8_t* Cur) {
    const TTolerance T = FullTolerance();
    const uint8_t* Reference = Cur;
    int Run = 0;
    int Size = 0;
    for (int Y = 0; Y < Height; ++Y) {
        const uint8_t* C = Cur + ptrdiff_t(Y) * RowStride;
        for (int X = 0; X < Width; ++X, C += 3) {
            if (!Similar(C, Reference, T)) {
                Size += Run == 1 ? 2 : 4;
                Reference = C;
                Run = 0;
            }
            ++Run;
        }
    }
    return Size + (Run == 1 ? 2 : 4);
}

void TGraphicCompress_LM52::EncodeFullFrame(const uint8_t* Cur) {
    const TTolerance T = FullTolerance();
    const uint8_t* Reference = Cur;
    int Run = 0;
    for (int Y = 0; Y < Height; ++Y) {
        const uint8_t* C = Cur + ptrdiff_t(Y) * RowStride;
        for (int X = 0; X < Width; ++X, C += 3) {
            if (!Similar(C, Reference, T)) {
                EmitRun(Word(Reference), Run);
                Reference = C;
                Run = 0;
            }
            ++Run;
        }
    }
    EmitRun(Word(Reference), Run);
}

// Calls Visit(N, C) for every pixel N of Cur, in order, that the delta tolerance does not
// take as equal to Prev; C points at its three bytes.
template <class TVisit>
void TGraphicCompress_LM52::ForEachChange(const uint8_t* Prev, const uint8_t* Cur,
                                          TVisit&& Visit) const {
    const TTolerance T = DeltaTolerance();
    for (int Y = 0; Y < Height; ++Y) {
        const uint8_t* P = Prev + ptrdiff_t(Y) * RowStride;
        const uint8_t* C = Cur + ptrdiff_t(Y) * RowStride;
        for (int X = 0; X < Width; ++X, P += 3, C += 3)
            if (!Similar(P, C, T))
                Visit(Y * Width + X, C);
    }
}

int TGraphicCompress_LM52::DeltaSize(const uint8_t* Prev, const uint8_t* Cur) {
    int Last = -1;
    int Size = 0;
    ForEachChange(Prev, Cur, [&](int N, const uint8_t*) {
        const int Block = N / BlockSize;
        if (Last == -1) {
            CurrentBlock = uint8_t(Block);
            Size += 4;
        } else if (N == Last + 1) {
            Size += 2;
        } else {
            Size += 3;
            if (Block > CurrentBlock) {
                CurrentBlock = uint8_t(Block);
                Size += 3;
            }
        }
        Last = N;
    });
    return Size + 2;
}

void TGraphicCompress_LM52::EncodeDeltaFrame(const uint8_t* Prev, const uint8_t* Cur) {
    int Last = -1;
    uint16_t Pending = 0;
    auto PushWord = [this](uint16_t W) {
        Payload_.push_back(uint8_t(W));
        Payload_.push_back(uint8_t(W >> 8));
    };
    ForEachChange(Prev, Cur, [&](int N, const uint8_t* C) {
        const int Block = N / BlockSize;
        if (Last == -1) {
            WriteBlockMark(uint8_t(Block));
            Payload_.push_back(uint8_t(N % BlockSize));
        } else if (N == Last + 1) {
            PushWord(uint16_t(Pending | RunFlag));
        } else {
            PushWord(Pending);
            if (Block > CurrentBlock)
                WriteBlockMark(uint8_t(Block));
            Payload_.push_back(uint8_t(N % BlockSize));
        }
        Pending = Word(C);
        Last = N;
    });
    // Raised tolerances can leave no changed pixel at all: the payload then stays empty
    // and the record reads as an unchanged frame.
    if (Last != -1)
        PushWord(Pending);
}
