// The Lanczos scaler: weights, rounding, edges, clamping and 16-bit input, checked
// against a plain reference written straight from the filter's definition.

#include <gtest/gtest.h>

#include <cfenv>
#include <cmath>
#include <numbers>

#include "codec/CodecPictures.h"
#include "codec/uGraphicStretch.h"

namespace {

// ---- reference: one contributor list per destination index, three channel arrays ----

float RefSinc(float X) {
    if (X == 0.0f)
        return 1.0f;
    const float A = std::numbers::pi_v<float> * X;
    return std::sin(A) / A;
}

float RefFilter(float X) {
    const float Ax = std::fabs(X);
    return Ax >= 3.0f ? 0.0f : RefSinc(Ax / 3.0f) * RefSinc(Ax);
}

struct RefContrib {
    int Pixel, Weight;
};

// Half-to-even rounding done by hand, independent of the floating-point environment.
int RoundHalfEven(float V) {
    const float F = std::floor(V);
    const float Diff = V - F;
    if (Diff > 0.5f)
        return int(F) + 1;
    if (Diff < 0.5f)
        return int(F);
    return (int64_t(F) % 2 == 0) ? int(F) : int(F) + 1;
}

std::vector<std::vector<RefContrib>> RefWeights(int N, int NewN) {
    std::vector<std::vector<RefContrib>> All(static_cast<size_t>(NewN));
    const float S = float(NewN - 1) / float(N - 1);
    const float W = S >= 1.0f ? 3.0f : 3.0f / S;
    for (int I = 0; I < NewN; ++I) {
        const float C = float(I) / S;
        for (int J = int(std::floor(C - W)); J <= int(std::ceil(C + W)); ++J) {
            const float Wt = S >= 1.0f ? RefFilter(C - float(J)) * 256.0f
                                       : RefFilter((C - float(J)) * S) * S * 256.0f;
            const int K = RoundHalfEven(Wt);
            if (K == 0)
                continue;
            int Src = J < 0 ? -J : (J >= N ? 2 * N - 1 - J : J);
            // Lines shorter than the filter: a reflected index is kept inside the line.
            All[size_t(I)].push_back({std::clamp(Src, 0, N - 1), K});
        }
        EXPECT_LE(All[size_t(I)].size(), size_t(2.0f * W + 1.0f)) << N << "->" << NewN;
    }
    return All;
}

int RefApply(const std::vector<RefContrib>& List, const std::vector<int>& Values) {
    int32_t Sum = 0, Total = 0;
    for (const RefContrib& C : List) {
        Sum += C.Weight * Values[size_t(C.Pixel)];
        Total += C.Weight;
    }
    int V = Total != 0 ? Sum / Total : int(uint32_t(Sum) >> 8);
    return V < 0 ? 0 : (V > 255 ? 255 : V);
}

TBitmap RefStretch(const TBitmap& In, int NW, int NH) {
    const int W = In.Width(), H = In.Height();
    const auto Cols = RefWeights(W, NW);
    const auto Rows = RefWeights(H, NH);
    TBitmap Work(NW, H), Out(NW, NH);
    std::vector<int> R, G, B;
    for (int Y = 0; Y < H; ++Y) {
        R.assign(size_t(W), 0);
        G = B = R;
        for (int X = 0; X < W; ++X) {
            const uint8_t* P = In.ScanLine(Y) + X * 3;
            B[size_t(X)] = P[0];
            G[size_t(X)] = P[1];
            R[size_t(X)] = P[2];
        }
        for (int X = 0; X < NW; ++X) {
            uint8_t* P = Work.ScanLine(Y) + X * 3;
            P[0] = uint8_t(RefApply(Cols[size_t(X)], B));
            P[1] = uint8_t(RefApply(Cols[size_t(X)], G));
            P[2] = uint8_t(RefApply(Cols[size_t(X)], R));
        }
    }
    for (int X = 0; X < NW; ++X) {
        R.assign(size_t(H), 0);
        G = B = R;
        for (int Y = 0; Y < H; ++Y) {
            const uint8_t* P = Work.ScanLine(Y) + X * 3;
            B[size_t(Y)] = P[0];
            G[size_t(Y)] = P[1];
            R[size_t(Y)] = P[2];
        }
        for (int Y = 0; Y < NH; ++Y) {
            uint8_t* P = Out.ScanLine(Y) + X * 3;
            P[0] = uint8_t(RefApply(Rows[size_t(Y)], B));
            P[1] = uint8_t(RefApply(Rows[size_t(Y)], G));
            P[2] = uint8_t(RefApply(Rows[size_t(Y)], R));
        }
    }
    return Out;
}

// ---------------------------------------------------------------------------------------

TEST(Stretch, FilterValues) {
    EXPECT_EQ(TGraphicStretch::Lanczos3(0.0f), 1.0f);
    EXPECT_EQ(TGraphicStretch::Lanczos3(3.0f), 0.0f);
    EXPECT_EQ(TGraphicStretch::Lanczos3(-3.5f), 0.0f);
    EXPECT_NEAR(TGraphicStretch::Lanczos3(1.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(TGraphicStretch::Lanczos3(2.0f), 0.0f, 1e-6f);
    EXPECT_NEAR(TGraphicStretch::Lanczos3(0.5f), 0.6079271f, 1e-5f);
    EXPECT_EQ(TGraphicStretch::Lanczos3(0.7f), TGraphicStretch::Lanczos3(-0.7f));
}

TEST(Stretch, SameSizeWeightsAreTheCentrePixelAlone) {
    for (int N : {2, 7, 144, 320}) {
        const auto A = TGraphicStretch::BuildWeights(N, N);
        EXPECT_TRUE(A.Identity) << N;
        EXPECT_FALSE(TGraphicStretch::BuildWeights(N, N + 1).Identity) << N;
        EXPECT_FALSE(TGraphicStretch::BuildWeights(N + 1, N).Identity) << N;
        for (int I = 0; I < N; ++I) {
            ASSERT_EQ(A.Start[size_t(I) + 1] - A.Start[size_t(I)], 1) << N << " at " << I;
            EXPECT_EQ(A.List[size_t(A.Start[size_t(I)])].Pixel, I);
            EXPECT_EQ(A.List[size_t(A.Start[size_t(I)])].Weight, 256);
        }
    }
}

TEST(Stretch, WeightTablesMatchTheReferenceForManySizePairs) {
    int Halves = 0;
    const std::pair<int, int> Pairs[] = {{320, 144}, {240, 112}, {640, 320}, {480, 240}, {144, 320},
                                         {112, 240}, {10, 5},    {5, 10},    {3, 200},   {200, 3},
                                         {101, 51},  {352, 144}, {6, 184},   {7, 324},   {8, 354}};
    for (auto [N, M] : Pairs) {
        const auto Ours = TGraphicStretch::BuildWeights(N, M);
        const auto Ref = RefWeights(N, M);
        for (int I = 0; I < M; ++I) {
            const auto& R = Ref[size_t(I)];
            ASSERT_EQ(size_t(Ours.Start[size_t(I) + 1] - Ours.Start[size_t(I)]), R.size())
                << N << "->" << M << " at " << I;
            for (size_t K = 0; K < R.size(); ++K) {
                const auto& O = Ours.List[size_t(Ours.Start[size_t(I)]) + K];
                EXPECT_EQ(O.Pixel, R[K].Pixel);
                EXPECT_EQ(O.Weight, R[K].Weight) << N << "->" << M << " at " << I;
            }
        }
        // Count the exact halves met on the way, where half-to-even makes the difference.
        const float S = float(M - 1) / float(N - 1);
        for (int I = 0; I < M; ++I) {
            const float C = float(I) / S;
            const float W = S >= 1 ? 3.0f : 3.0f / S;
            for (int J = int(std::floor(C - W)); J <= int(std::ceil(C + W)); ++J) {
                const float V = S >= 1 ? RefFilter(C - float(J)) * 256.0f
                                       : RefFilter((C - float(J)) * S) * S * 256.0f;
                if (V - std::floor(V) == 0.5f)
                    ++Halves;
            }
        }
    }
    EXPECT_GT(Halves, 0) << "no tie met: the half-to-even comparison proves nothing";
}

TEST(Stretch, WeightsRoundHalvesToEven) {
    struct Case {
        float In;
        int Out;
    };
    for (const Case& C : {Case{0.5f, 0}, Case{1.5f, 2}, Case{2.5f, 2}, Case{251.5f, 252},
                          Case{140.5f, 140}, Case{-0.5f, 0}, Case{-1.5f, -2}, Case{-2.5f, -2},
                          Case{6.49f, 6}, Case{6.51f, 7}, Case{-6.51f, -7}}) {
        EXPECT_EQ(TGraphicStretch::RoundWeight(C.In), C.Out) << C.In;
    }
}

bool HasContributor(const TGraphicStretch::TAxisWeights& A, int I, int Pixel, int Weight) {
    for (int K = A.Start[size_t(I)]; K < A.Start[size_t(I) + 1]; ++K)
        if (A.List[size_t(K)].Pixel == Pixel && A.List[size_t(K)].Weight == Weight)
            return true;
    return false;
}

TEST(Stretch, ExactHalvesInRealTablesGoToEven) {
    // Enlarging 6 -> 184 meets L(c - 4) * 256 = 251.5 exactly at destination 150, and
    // 8 -> 354 meets 140.5 at destination 330 (source pixel 6).
    const auto A = TGraphicStretch::BuildWeights(6, 184);
    EXPECT_TRUE(HasContributor(A, 150, 4, 252));
    EXPECT_FALSE(HasContributor(A, 150, 4, 251));
    const auto B = TGraphicStretch::BuildWeights(8, 354);
    EXPECT_TRUE(HasContributor(B, 330, 6, 140));
    EXPECT_FALSE(HasContributor(B, 330, 6, 141));
}

TEST(Stretch, ReductionOf320To144UsesTheWideFilter) {
    const auto A = TGraphicStretch::BuildWeights(320, 144);
    const float Sx = 143.0f / 319.0f;
    const size_t Room = size_t(2.0f * (3.0f / Sx) + 1.0f);
    EXPECT_EQ(Room, 14u);
    size_t Widest = 0;
    for (int I = 0; I < 144; ++I)
        Widest = std::max(Widest, size_t(A.Start[size_t(I) + 1] - A.Start[size_t(I)]));
    EXPECT_LE(Widest, Room);
    EXPECT_GE(Widest, 12u);
    // The first output pixel reaches past the left edge: mirrored pixels appear twice.
    int Pixel1 = 0;
    for (int K = A.Start[0]; K < A.Start[1]; ++K)
        Pixel1 += A.List[size_t(K)].Pixel == 1;
    EXPECT_EQ(Pixel1, 2);
}

TEST(Stretch, MirroringAtTheRightEdgeRepeatsTheLastPixel) {
    // 2n - 1 - j: j = n maps to n - 1, j = n + 1 to n - 2.
    const auto A = TGraphicStretch::BuildWeights(10, 5);
    std::vector<int> Seen;
    for (int K = A.Start[4]; K < A.Start[5]; ++K)
        Seen.push_back(A.List[size_t(K)].Pixel);
    EXPECT_EQ(std::count(Seen.begin(), Seen.end(), 9), 2);
    for (int P : Seen)
        EXPECT_LT(P, 10);
}

TEST(Stretch, SameSizeReproducesThePicture) {
    TGraphicStretch S;
    for (auto [W, H] : {std::pair{144, 112}, std::pair{7, 5}, std::pair{320, 240}}) {
        const TBitmap In = codectest::Noise(W, H, uint32_t(W));
        TBitmap Pic = In;
        S.Stretch(Pic, uint16_t(W), uint16_t(H));
        EXPECT_EQ(Pic, In) << W << "x" << H;
    }
}

TEST(Stretch, UniformStaysUniformAtAnySize) {
    TGraphicStretch S;
    for (auto [W, H, NW, NH] : {std::tuple{320, 240, 144, 112}, std::tuple{144, 112, 320, 240},
                                std::tuple{33, 17, 100, 9}, std::tuple{640, 480, 320, 240}}) {
        TBitmap Pic = codectest::Uniform(W, H, 13, 200, 77);
        S.Stretch(Pic, uint16_t(NW), uint16_t(NH));
        EXPECT_EQ(Pic, codectest::Uniform(NW, NH, 13, 200, 77)) << W << "->" << NW;
    }
}

TEST(Stretch, OvershootAtSharpEdgesIsClamped) {
    TBitmap Pic(40, 4);
    for (int Y = 0; Y < 4; ++Y)
        for (int X = 0; X < 40; ++X) {
            const uint8_t V = X < 20 ? 0 : 255;
            codectest::SetPixel(Pic, X, Y, V, V, V);
        }
    TGraphicStretch S;
    S.Stretch(Pic, 97, 4);
    const uint8_t* Row = Pic.ScanLine(1);
    // Far from the edge the values stay at the extremes instead of wrapping around.
    EXPECT_EQ(Row[3 * 5], 0);
    EXPECT_EQ(Row[3 * 90], 255);
    EXPECT_EQ(Pic, RefStretch(
                       [&] {
                           TBitmap B(40, 4);
                           for (int Y = 0; Y < 4; ++Y)
                               for (int X = 0; X < 40; ++X) {
                                   const uint8_t V = X < 20 ? 0 : 255;
                                   codectest::SetPixel(B, X, Y, V, V, V);
                               }
                           return B;
                       }(),
                       97, 4));
}

TEST(Stretch, PicturesMatchTheReference) {
    TGraphicStretch S;
    struct Case {
        int W, H, NW, NH;
    };
    for (const Case& C : {Case{320, 240, 144, 112}, Case{640, 480, 320, 240},
                          Case{144, 112, 320, 240}, Case{50, 30, 51, 29}, Case{9, 9, 3, 3},
                          Case{320, 240, 144, 240}, Case{320, 240, 320, 112}}) {
        for (int Kind = 0; Kind < 2; ++Kind) {
            const TBitmap In =
                Kind == 0 ? codectest::Noise(C.W, C.H, 9) : codectest::MovingBlocks(C.W, C.H, 4);
            TBitmap Pic = In;
            S.Stretch(Pic, uint16_t(C.NW), uint16_t(C.NH));
            ASSERT_EQ(Pic.Width(), C.NW);
            ASSERT_EQ(Pic.Height(), C.NH);
            EXPECT_EQ(Pic, RefStretch(In, C.NW, C.NH)) << C.W << "x" << C.H << "->" << C.NW;
        }
    }
}

TEST(Stretch, SixteenBitInputIsWidenedFirst) {
    TBitmap In(64, 48, TPixelFormat::Rgb555);
    for (size_t I = 0; I < In.DataSize(); ++I)
        In.Data()[I] = uint8_t(I * 37 + I / 64);
    TBitmap Wide = In;
    Wide.ConvertTo24();
    TGraphicStretch S;
    TBitmap A = In, B = Wide;
    S.Stretch(A, 30, 20);
    S.Stretch(B, 30, 20);
    EXPECT_EQ(A.Format(), TPixelFormat::Bgr24);
    EXPECT_EQ(A, B);
    // Same size: only the conversion happens.
    TBitmap C = In;
    S.Stretch(C, 64, 48);
    EXPECT_EQ(C, Wide);
}

TEST(Stretch, DegenerateSizesDoNotCrash) {
    TGraphicStretch S;
    for (auto [W, H, NW, NH] :
         {std::tuple{1, 1, 144, 112}, std::tuple{1, 50, 20, 20}, std::tuple{50, 1, 20, 20},
          std::tuple{100, 100, 1, 1}, std::tuple{2, 2, 200, 200}, std::tuple{3, 3, 144, 112}}) {
        TBitmap Pic = codectest::Noise(W, H, 5);
        S.Stretch(Pic, uint16_t(NW), uint16_t(NH));
        EXPECT_EQ(Pic.Width(), NW);
        EXPECT_EQ(Pic.Height(), NH);
    }
    // A single source pixel fills the whole destination.
    TBitmap One = codectest::Uniform(1, 1, 1, 2, 3);
    S.Stretch(One, 5, 4);
    EXPECT_EQ(One, codectest::Uniform(5, 4, 1, 2, 3));
}

TEST(Stretch, ReusedScalerGivesTheSameResultAsAFreshOne) {
    TGraphicStretch Reused;
    for (int I = 0; I < 3; ++I) {
        for (auto [W, H] : {std::pair{320, 240}, std::pair{200, 100}}) {
            const TBitmap In = codectest::MovingBlocks(W, H, I);
            TBitmap A = In, B = In;
            Reused.Stretch(A, 144, 112);
            TGraphicStretch Fresh;
            Fresh.Stretch(B, 144, 112);
            EXPECT_EQ(A, B);
        }
    }
}

} // namespace
