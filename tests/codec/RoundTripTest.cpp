// Compressor -> decoder round trips on generated sequences and on frames made by ffmpeg:
// what the device would show must follow the source as each record type promises.

#include <gtest/gtest.h>

#include <cmath>

#include "codec/CodecPictures.h"
#include "codec/uGraphicCompressFactory.h"
#include "codec/uGraphicCompress_LM41.h"
#include "codec/uGraphicCompress_LM52.h"
#include "codec/uGraphicStretch.h"
#include "support/TestSupport.h"

namespace {

std::vector<TBitmap> Sequence(int W, int H, int Count, int Kind) {
    std::vector<TBitmap> Frames;
    for (int I = 0; I < Count; ++I) {
        switch (Kind) {
        case 0:
            Frames.push_back(codectest::MovingBlocks(W, H, I));
            break;
        case 1:
            Frames.push_back(codectest::Noise(W, H, uint32_t(I / 3))); // repeats in threes
            break;
        default: {
            TBitmap G = codectest::Gradient(W, H);
            // A slow fade: small differences that the tolerances swallow or not.
            for (size_t B = 0; B < G.DataSize(); ++B)
                G.Data()[B] = uint8_t(std::min(255, G.Data()[B] + I * 2));
            Frames.push_back(G);
        }
        }
    }
    return Frames;
}

uint16_t WordOf(const uint8_t* P) {
    return TGraphicCompress_LM52::ColourWord(P[0], P[1], P[2]);
}

// Checks an LM41 stream against its source frames and returns the decoded pictures.
std::vector<TBitmap> CheckLM41(const std::vector<TBitmap>& Frames,
                               const std::vector<uint8_t>& Bytes) {
    const int W = Frames[0].Width(), H = Frames[0].Height(), Count = W * H;
    TGraphicDecoder D(TCodecKind::LM41, W, H);
    std::vector<TBitmap> Shown;
    size_t Pos = 0;
    int StaleAllowance = 0;
    for (size_t I = 0; I < Frames.size(); ++I) {
        const size_t L = D.DecodeNext(std::span(Bytes).subspan(Pos));
        EXPECT_GT(L, 0u);
        Pos += L;
        const TDecodedFrame& F = D.LastFrame();
        int Wrong = 0;
        for (int N = 0; N < Count - (Count % 2); ++N) {
            const uint8_t* S = codectest::PixelAt(Frames[I], N);
            Wrong += codectest::PixelAt(F.Picture, N)[0] !=
                     17 * TGraphicCompress_LM41::GreyLevel(S[0], S[1], S[2]);
        }
        if (F.Type != TFrameType::Delta) {
            EXPECT_EQ(Wrong, 0) << "frame " << I;
            StaleAllowance = 0;
        } else {
            // An unchanged record may leave one pixel behind (a delta of under 7 bytes is
            // dropped), and such a pixel stays until it changes again.
            if (F.Unchanged)
                ++StaleAllowance;
            EXPECT_LE(Wrong, StaleAllowance) << "frame " << I;
        }
        Shown.push_back(F.Picture);
    }
    EXPECT_EQ(Pos, Bytes.size());
    return Shown;
}

void CheckLM52(const std::vector<TBitmap>& Frames, const std::vector<uint8_t>& Bytes) {
    const int W = Frames[0].Width(), H = Frames[0].Height(), Count = W * H;
    TGraphicDecoder D(TCodecKind::LM52, W, H);
    TBitmap Before;
    size_t Pos = 0;
    for (size_t I = 0; I < Frames.size(); ++I) {
        Pos += D.DecodeNext(std::span(Bytes).subspan(Pos));
        const TDecodedFrame& F = D.LastFrame();
        const TBitmap Quantised = [&] {
            TBitmap Q(W, H);
            for (int N = 0; N < Count; ++N) {
                const uint16_t Wd = WordOf(codectest::PixelAt(Frames[I], N));
                uint8_t* P = Q.Data() + size_t(N) * 3;
                P[0] = uint8_t(((Wd & 31) << 3) | ((Wd & 31) >> 2));
                P[1] = uint8_t((((Wd >> 6) & 31) << 3) | (((Wd >> 6) & 31) >> 2));
                P[2] = uint8_t(((Wd >> 11) << 3) | ((Wd >> 11) >> 2));
            }
            return Q;
        }();
        if (F.Type == TFrameType::Key) {
            EXPECT_EQ(F.Picture, Quantised) << "key frame " << I;
        } else if (F.Type == TFrameType::Full) {
            // Every pixel shows the colour of a run start it is similar to; with the
            // largest tolerances (24, 12) and 5-bit precision no channel is more than
            // 24 + 7 away.
            for (size_t B = 0; B < F.Picture.DataSize(); ++B)
                ASSERT_LE(std::abs(int(F.Picture.Data()[B]) - int(Frames[I].Data()[B])), 31)
                    << "full frame " << I;
        } else {
            // A delta pixel is either the new colour or what was shown before.
            for (int N = 0; N < Count; ++N) {
                const uint8_t* P = codectest::PixelAt(F.Picture, N);
                const bool New = std::equal(P, P + 3, codectest::PixelAt(Quantised, N));
                const bool Old = std::equal(P, P + 3, codectest::PixelAt(Before, N));
                ASSERT_TRUE(New || Old) << "delta frame " << I << " pixel " << N;
            }
        }
        Before = F.Picture;
    }
    EXPECT_EQ(Pos, Bytes.size());
}

TEST(RoundTrip, LM41GeneratedSequences) {
    for (int Kind = 0; Kind < 3; ++Kind) {
        for (auto [W, H] : {std::pair{144, 112}, std::pair{31, 17}}) {
            const auto Frames = Sequence(W, H, 45, Kind);
            TGraphicCompress_LM41 C;
            C.SetQuality(80);
            CheckLM41(Frames, codectest::CompressAll(C, Frames));
        }
    }
}

TEST(RoundTrip, LM52GeneratedSequences) {
    for (int Kind = 0; Kind < 3; ++Kind) {
        for (int Quality : {80, 60}) {
            const auto Frames = Sequence(144, 112, 45, Kind);
            TGraphicCompress_LM52 C;
            C.SetQuality(Quality);
            CheckLM52(Frames, codectest::CompressAll(C, Frames));
        }
    }
}

TEST(RoundTrip, LM63GeneratedSequence) {
    const auto Frames = Sequence(320, 240, 6, 0);
    auto C = CreateGraphicCompress("LM63");
    const auto Bytes = codectest::CompressAll(*C, Frames);
    TGraphicDecoder D(TCodecKind::LM63, 320, 240);
    size_t Pos = 0;
    for (const TBitmap& F : Frames) {
        Pos += D.DecodeNext(std::span(Bytes).subspan(Pos));
        double Error = 0;
        for (size_t B = 0; B < F.DataSize(); ++B)
            Error += std::abs(int(F.Data()[B]) - int(D.Current().Data()[B]));
        EXPECT_LT(Error / double(F.DataSize()), 4.0);
    }
    EXPECT_EQ(Pos, Bytes.size());
}

TEST(RoundTrip, RecordLengthsChainThroughAStreamWithItsEndMark) {
    const auto Frames = Sequence(144, 112, 25, 0);
    for (const char* Model : {"LM41", "LM52"}) {
        auto C = CreateGraphicCompress(Model);
        auto Bytes = codectest::CompressAll(*C, Frames);
        Bytes.push_back(0xFF);
        Bytes.push_back(0x05);
        TGraphicDecoder D(*CodecForModel(Model), 144, 112);
        size_t Pos = 0, Records = 0;
        while (size_t L = D.DecodeNext(std::span(Bytes).subspan(Pos))) {
            Pos += L;
            ++Records;
        }
        EXPECT_EQ(Records, Frames.size()) << Model;
        EXPECT_EQ(Pos, Bytes.size() - 2) << Model;
    }
}

TEST(RoundTrip, FfmpegTestPatternFramesScaledAndCompressed) {
    omm::test::TempDir Dir;
    ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-frames:v",
                                   "24", (Dir / "%05d.bmp").string()}));
    std::vector<TBitmap> Small, Large;
    std::vector<std::string> Files;
    TGraphicStretch S;
    for (int I = 1; I <= 24; ++I) {
        char Name[16];
        std::snprintf(Name, sizeof Name, "%05d.bmp", I);
        TBitmap Pic;
        Pic.LoadFromFile(Dir / Name);
        Files.push_back((Dir / Name).string());
        Large.push_back(Pic);
        S.Stretch(Pic, 144, 112);
        Small.push_back(Pic);
    }
    TGraphicCompress_LM41 L41;
    CheckLM41(Small, codectest::CompressAll(L41, Small));
    TGraphicCompress_LM52 L52;
    const auto Bytes52 = codectest::CompressAll(L52, Small);
    CheckLM52(Small, Bytes52);
    // The test pattern moves a little every frame: most records are deltas.
    const auto Records = codectest::SplitRecords(TCodecKind::LM52, Bytes52);
    int Deltas = 0;
    for (const auto& R : Records)
        Deltas += R[8] == 1;
    EXPECT_GT(Deltas, 10);

    auto L63 = CreateGraphicCompress("LM63");
    TMemoryOutStream Out;
    L63->Stream = &Out;
    for (size_t I = 0; I < Large.size(); ++I)
        L63->CompressFrame(Large[I], Files[I]);
    const auto Jpegs = codectest::SplitRecords(TCodecKind::LM63, Out.Bytes());
    ASSERT_EQ(Jpegs.size(), Large.size());
    for (size_t I = 0; I < Jpegs.size(); ++I) {
        const auto Side =
            omm::test::readFile(std::filesystem::path(Files[I]).replace_extension(".jpg"));
        EXPECT_TRUE(std::equal(Jpegs[I].begin() + 4, Jpegs[I].end(), Side.begin(), Side.end()));
        const auto F = DecodeFrameRecord(TCodecKind::LM63, Jpegs[I], 320, 240, nullptr);
        EXPECT_EQ(F.Picture.Width(), 320);
    }
}

} // namespace
