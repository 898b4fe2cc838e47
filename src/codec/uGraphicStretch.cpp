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
    struct TTap {
        int J, Weight;
    };
    std::vector<std::vector<TTap>> Taps(size_t(std::max(0, DestLength)));
    if (SourceLength <= 1 || DestLength <= 1) {
        // No scale factor exists (it would divide by zero): every destination pixel takes
        // the first pixel of the line.
        for (auto& T : Taps)
            T.push_back({0, 256});
    } else {
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
                if (W != 0)
                    Taps[size_t(I)].push_back({J, W});
            }
        }
    }

    TAxisWeights Axis;
    Axis.SourceLength = SourceLength;
    Axis.DestLength = DestLength;
    Axis.Start.reserve(size_t(DestLength) + 1);
    Axis.Start.push_back(0);
    int Widest = 1, MinJ = 0, MaxJ = 0;
    for (const auto& T : Taps) {
        int32_t Total = 0, AbsTotal = 0;
        for (const TTap& K : T) {
            Axis.List.push_back({MirrorIndex(K.J, SourceLength), K.Weight});
            Total += K.Weight;
            AbsTotal += std::abs(K.Weight);
        }
        Axis.Start.push_back(int(Axis.List.size()));
        TDivider D;
        D.Total = Total;
        D.Fast = Total > 0 && int64_t(AbsTotal) * 255 < (int64_t(1) << 23);
        if (D.Fast)
            D.Magic = ((uint64_t(1) << 40) + uint64_t(Total) - 1) / uint64_t(Total);
        Axis.Divide.push_back(D);
        if (!T.empty()) {
            Widest = std::max(Widest, T.back().J - T.front().J + 1);
            MinJ = std::min(MinJ, T.front().J);
            MaxJ = std::max(MaxJ, T.back().J);
        }
    }
    Axis.Identity = SourceLength == DestLength;
    for (int I = 0; Axis.Identity && I < DestLength; ++I) {
        const auto& T = Taps[size_t(I)];
        Axis.Identity = T.size() == 1 && T[0].J == I && T[0].Weight == 256;
    }
    Axis.Taps = (Widest + 7) / 8 * 8;
    Axis.PadLeft = -MinJ;
    // Windows start at their first tap and run Taps long, past the last one.
    Axis.PadRight = std::max(0, MaxJ + Axis.Taps - (SourceLength - 1));
    const int ExtendedLength = Axis.PadLeft + SourceLength + Axis.PadRight;
    Axis.ExtendedSource.resize(size_t(ExtendedLength));
    for (int P = 0; P < ExtendedLength; ++P)
        Axis.ExtendedSource[size_t(P)] = MirrorIndex(P - Axis.PadLeft, SourceLength);
    Axis.Dense.assign(size_t(DestLength) * size_t(Axis.Taps), 0);
    Axis.First.resize(size_t(DestLength));
    for (int I = 0; I < DestLength; ++I) {
        const auto& T = Taps[size_t(I)];
        const int Lo = T.empty() ? 0 : T.front().J;
        Axis.First[size_t(I)] = Lo + Axis.PadLeft;
        for (const TTap& K : T)
            Axis.Dense[size_t(I) * size_t(Axis.Taps) + size_t(K.J - Lo)] = int16_t(K.Weight);
    }
    return Axis;
}

const TGraphicStretch::TAxisWeights& TGraphicStretch::Weights(TAxisWeights& Cache, int SourceLength,
                                                              int DestLength) {
    if (Cache.SourceLength != SourceLength || Cache.DestLength != DestLength || Cache.Start.empty())
        Cache = BuildWeights(SourceLength, DestLength);
    return Cache;
}

namespace {

using TDivider = TGraphicStretch::TDivider;
using TAxisWeights = TGraphicStretch::TAxisWeights;

// sum / total truncated towards zero, or sum >> 8 (unsigned) when the weights cancel
// out; clamped to 0..255.
inline uint8_t Resolve(int32_t Sum, const TDivider& D) {
    if (D.Fast) {
        // A positive total and a sum of at most 0 give a quotient of at most 0.
        if (Sum <= 0)
            return 0;
        const uint64_t Q = (uint64_t(uint32_t(Sum)) * D.Magic) >> 40;
        return uint8_t(Q > 255 ? 255 : Q);
    }
    if (D.Total != 0)
        return Clamp255(Sum / D.Total);
    return Clamp255(int(uint32_t(Sum) >> 8));
}

// Both passes are plain integer loops; on processors with AVX2 the compiler's wider
// vectors run them, with the same results.
[[gnu::target_clones("avx2", "default")]] void HorizontalPass(const TBitmap& Source, TBitmap& Work,
                                                              const TAxisWeights& Cols,
                                                              std::vector<int16_t>& Channels) {
    const int W = Source.Width(), H = Source.Height(), NW = Work.Width();
    const size_t Ext = Cols.ExtendedSource.size();
    Channels.resize(Ext * 3);
    int16_t* Blue = Channels.data();
    int16_t* Green = Blue + Ext;
    int16_t* Red = Green + Ext;
    const int Taps = Cols.Taps;
    (void)W;
    for (int Y = 0; Y < H; ++Y) {
        const uint8_t* Src = Source.ScanLine(Y);
        for (size_t P = 0; P < Ext; ++P) {
            const uint8_t* Px = Src + size_t(Cols.ExtendedSource[P]) * 3;
            Blue[P] = Px[0];
            Green[P] = Px[1];
            Red[P] = Px[2];
        }
        uint8_t* Dst = Work.ScanLine(Y);
        for (int I = 0; I < NW; ++I, Dst += 3) {
            const int16_t* Wt = Cols.Dense.data() + size_t(I) * size_t(Taps);
            const size_t F = size_t(Cols.First[size_t(I)]);
            const int16_t* B = Blue + F;
            const int16_t* G = Green + F;
            const int16_t* R = Red + F;
            int32_t SB = 0, SG = 0, SR = 0;
            for (int K = 0; K < Taps; ++K) {
                SB += int32_t(Wt[K]) * int32_t(B[K]);
                SG += int32_t(Wt[K]) * int32_t(G[K]);
                SR += int32_t(Wt[K]) * int32_t(R[K]);
            }
            const TDivider& D = Cols.Divide[size_t(I)];
            Dst[0] = Resolve(SB, D);
            Dst[1] = Resolve(SG, D);
            Dst[2] = Resolve(SR, D);
        }
    }
}

[[gnu::target_clones("avx2", "default")]] void VerticalPass(const TBitmap& Work, TBitmap& Dest,
                                                            const TAxisWeights& Rows,
                                                            std::vector<int32_t>& Sums) {
    const size_t RowBytes = size_t(Dest.Width()) * 3;
    Sums.resize(RowBytes);
    int32_t* Acc = Sums.data();
    for (int I = 0; I < Dest.Height(); ++I) {
        std::fill(Sums.begin(), Sums.end(), 0);
        for (int K = Rows.Start[size_t(I)]; K < Rows.Start[size_t(I) + 1]; ++K) {
            const uint8_t* Src = Work.ScanLine(Rows.List[size_t(K)].Pixel);
            const int16_t Weight = int16_t(Rows.List[size_t(K)].Weight);
            for (size_t X = 0; X < RowBytes; ++X)
                Acc[X] += int32_t(Weight) * int32_t(Src[X]);
        }
        const TDivider& D = Rows.Divide[size_t(I)];
        uint8_t* Dst = Dest.ScanLine(I);
        for (size_t X = 0; X < RowBytes; ++X)
            Dst[X] = Resolve(Acc[X], D);
    }
}

} // namespace

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
    // A frame that already has the device's size along an axis passes through that axis
    // unchanged; the result is the same, without the filter's work.
    if (!Cols.Identity) {
        if (Work_.Width() != NW || Work_.Height() != H)
            Work_.SetSize(NW, H);
        HorizontalPass(Picture, Work_, Cols, Channels_);
        std::swap(Picture, Work_);
    }
    if (Rows.Identity)
        return;
    if (Dest_.Width() != NW || Dest_.Height() != NH)
        Dest_.SetSize(NW, NH);
    VerticalPass(Picture, Dest_, Rows, Sums_);
    std::swap(Picture, Dest_);
}
