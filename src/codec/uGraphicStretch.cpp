#include "codec/uGraphicStretch.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace {

constexpr float Radius = 3.0f;

float Sinc(float X) {
    if (X == 0.0f)
        return 1.0f;
    const float A = std::numbers::pi_v<float> * X;
    return std::sin(A) / A;
}

int MirrorIndex(int J, int N) {
    if (J < 0)
        J = -J;
    else if (J >= N)
        J = 2 * N - 1 - J;
    // Lines shorter than the filter would still reach outside after one reflection.
    return std::clamp(J, 0, N - 1);
}

inline uint8_t Clamp255(int V) {
    return uint8_t(V < 0 ? 0 : (V > 255 ? 255 : V));
}

// sum / total truncated, or sum >> 8 (unsigned) when the weights cancel out.
inline uint8_t Resolve(int32_t Sum, int32_t Total) {
    if (Total != 0)
        return Clamp255(Sum / Total);
    return Clamp255(int(uint32_t(Sum) >> 8));
}

} // namespace

float TGraphicStretch::Lanczos3(float X) {
    X = std::fabs(X);
    if (X >= Radius)
        return 0.0f;
    return Sinc(X / Radius) * Sinc(X);
}

int TGraphicStretch::RoundWeight(float Weight) {
    // nearbyint honours the rounding mode, which is to-nearest-even unless someone
    // changed it; do not depend on that.
    const float Floor = std::floor(Weight);
    const float Fraction = Weight - Floor;
    int Result = int(Floor);
    if (Fraction > 0.5f || (Fraction == 0.5f && (Result & 1) != 0))
        ++Result;
    return Result;
}

TGraphicStretch::TAxisWeights TGraphicStretch::BuildWeights(int SourceLength, int DestLength) {
    TAxisWeights Axis;
    Axis.SourceLength = SourceLength;
    Axis.DestLength = DestLength;
    Axis.Start.reserve(size_t(DestLength) + 1);
    Axis.Start.push_back(0);
    if (SourceLength <= 1 || DestLength <= 1) {
        // No scale factor exists (it would divide by zero): every destination pixel takes
        // the first source pixel, or for a single destination pixel the first of the line.
        for (int I = 0; I < DestLength; ++I) {
            Axis.List.push_back({0, 256});
            Axis.Start.push_back(int(Axis.List.size()));
        }
        return Axis;
    }
    const float Scale = float(DestLength - 1) / float(SourceLength - 1);
    const bool Enlarging = Scale >= 1.0f;
    const float Width = Enlarging ? Radius : Radius / Scale;
    for (int I = 0; I < DestLength; ++I) {
        const float Centre = float(I) / Scale;
        const int Left = int(std::floor(Centre - Width));
        const int Right = int(std::ceil(Centre + Width));
        for (int J = Left; J <= Right; ++J) {
            float Weight;
            if (Enlarging)
                Weight = Lanczos3(Centre - float(J)) * 256.0f;
            else
                Weight = Lanczos3((Centre - float(J)) * Scale) * Scale * 256.0f;
            const int W = RoundWeight(Weight);
            if (W == 0)
                continue;
            Axis.List.push_back({MirrorIndex(J, SourceLength), W});
        }
        Axis.Start.push_back(int(Axis.List.size()));
    }
    return Axis;
}

const TGraphicStretch::TAxisWeights& TGraphicStretch::Weights(TAxisWeights& Cache, int SourceLength,
                                                              int DestLength) {
    if (Cache.SourceLength != SourceLength || Cache.DestLength != DestLength || Cache.Start.empty())
        Cache = BuildWeights(SourceLength, DestLength);
    return Cache;
}

void TGraphicStretch::Stretch(TBitmap& Picture, uint16_t NewWidth, uint16_t NewHeight) {
    Picture.ConvertTo24();
    const int W = Picture.Width(), H = Picture.Height();
    const int NW = NewWidth, NH = NewHeight;
    if (W == 0 || H == 0 || NW == 0 || NH == 0) {
        Picture.SetSize(NW, NH);
        return;
    }
    const TAxisWeights& Cols = Weights(Horizontal_, W, NW);
    const TAxisWeights& Rows = Weights(Vertical_, H, NH);

    // Horizontal pass: every source row into the same row of the work picture.
    if (Work_.Width() != NW || Work_.Height() != H)
        Work_.SetSize(NW, H);
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* Src = Picture.ScanLine(Y);
        uint8_t* Dst = Work_.ScanLine(Y);
        for (int I = 0; I < NW; ++I) {
            int32_t SB = 0, SG = 0, SR = 0, Total = 0;
            const TContributor* C = Cols.List.data() + Cols.Start[size_t(I)];
            const TContributor* End = Cols.List.data() + Cols.Start[size_t(I) + 1];
            for (; C != End; ++C) {
                const uint8_t* P = Src + size_t(C->Pixel) * 3;
                SB += C->Weight * P[0];
                SG += C->Weight * P[1];
                SR += C->Weight * P[2];
                Total += C->Weight;
            }
            Dst[0] = Resolve(SB, Total);
            Dst[1] = Resolve(SG, Total);
            Dst[2] = Resolve(SR, Total);
            Dst += 3;
        }
    }

    // Vertical pass, a destination row at a time so the inner loop runs along memory.
    if (Dest_.Width() != NW || Dest_.Height() != NH)
        Dest_.SetSize(NW, NH);
    const size_t RowBytes = size_t(NW) * 3;
    Sums_.assign(RowBytes, 0);
    for (int I = 0; I < NH; ++I) {
        std::fill(Sums_.begin(), Sums_.end(), 0);
        int32_t Total = 0;
        const TContributor* C = Rows.List.data() + Rows.Start[size_t(I)];
        const TContributor* End = Rows.List.data() + Rows.Start[size_t(I) + 1];
        int32_t* Acc = Sums_.data();
        for (; C != End; ++C) {
            const uint8_t* Src = Work_.ScanLine(C->Pixel);
            const int32_t Weight = C->Weight;
            for (size_t K = 0; K < RowBytes; ++K)
                Acc[K] += Weight * Src[K];
            Total += Weight;
        }
        uint8_t* Dst = Dest_.ScanLine(I);
        for (size_t K = 0; K < RowBytes; ++K)
            Dst[K] = Resolve(Acc[K], Total);
    }
    std::swap(Picture, Dest_);
}
