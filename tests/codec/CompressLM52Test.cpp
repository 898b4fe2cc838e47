// Byte-exact checks of the LM52 15-bit colour records, the similarity rule and the
// tolerances.

#include <gtest/gtest.h>

#include "codec/CodecPictures.h"
#include "codec/uGraphicCompressFactory.h"
#include "codec/uGraphicCompress_LM41.h"
#include "codec/uGraphicCompress_LM52.h"

namespace {

using codectest::CompressAll;
using codectest::Hex;
using Tol = TGraphicCompress_LM52::TTolerance;

const std::vector<uint8_t> UnchangedRecord = {0xFF, 0x02, 0x0B, 0x00, 0x00, 0x00,
                                              0xFF, 0x04, 0x01, 0xFF, 0x01};

std::string WordHex(uint16_t W) {
    return Hex(std::vector<uint8_t>{uint8_t(W), uint8_t(W >> 8)});
}

TEST(LM52, ColourWords) {
    EXPECT_EQ(TGraphicCompress_LM52::ColourWord(255, 255, 255), 0xFFDF);
    EXPECT_EQ(TGraphicCompress_LM52::ColourWord(0, 0, 255), 0xF800);
    EXPECT_EQ(TGraphicCompress_LM52::ColourWord(0, 255, 0), 0x07C0);
    EXPECT_EQ(TGraphicCompress_LM52::ColourWord(255, 0, 0), 0x001F);
    EXPECT_EQ(TGraphicCompress_LM52::ColourWord(7, 7, 7), 0x0000);
}

TEST(LM52, UniformKeyFrameIsOneRun) {
    TGraphicCompress_LM52 C;
    C.SetQuality(80);
    const auto Bytes = codectest::CompressOne(C, codectest::Uniform(144, 112, 100, 100, 100));
    // word 0x630C with the run flag, then 16128 = 0x3F00
    EXPECT_EQ(Hex(Bytes), "FF 02 0F 00 00 00 FF 04 00 2C 63 00 3F FF 01 ");
}

TEST(LM52, WhiteAndRedSinglePixelRuns) {
    TBitmap Pic(2, 1);
    codectest::SetPixel(Pic, 0, 0, 255, 255, 255);
    codectest::SetPixel(Pic, 1, 0, 0, 0, 255);
    TGraphicCompress_LM52 C;
    EXPECT_EQ(Hex(codectest::CompressOne(C, Pic)), "FF 02 0F 00 00 00 FF 04 00 DF FF 00 F8 FF 01 ");
}

TEST(LM52, KeyFrameOfAllDifferentNeighboursTakesTwoBytesPerPixel) {
    TBitmap Pic(16, 4);
    for (int N = 0; N < 64; ++N)
        codectest::SetPixel(Pic, N % 16, N / 16, uint8_t(N * 8), uint8_t(255 - N * 4), 0);
    TGraphicCompress_LM52 C;
    EXPECT_EQ(codectest::CompressOne(C, Pic).size(), 9u + 128u + 2u);
}

TEST(LM52, KeyFrameIsLosslessEvenForTinyDifferences) {
    // Key frames compare colour words, not tolerances: 96 and 104 are one step apart.
    TBitmap Pic = codectest::Uniform(3, 1, 0, 0, 96);
    codectest::SetPixel(Pic, 2, 0, 0, 0, 104);
    TGraphicCompress_LM52 C;
    EXPECT_EQ(Hex(codectest::CompressOne(C, Pic)),
              "FF 02 11 00 00 00 FF 04 00 20 60 02 00 00 68 FF 01 ");
}

TEST(LM52, SimilarityExamples) {
    auto Px = [](uint8_t R, uint8_t G, uint8_t B) { return std::array<uint8_t, 3>{B, G, R}; };
    struct Case {
        std::array<uint8_t, 3> P, Q;
        Tol T;
        bool Similar;
    };
    const Case Cases[] = {
        {Px(100, 100, 100), Px(108, 104, 104), {10, 5}, true},
        {Px(100, 100, 100), Px(106, 106, 100), {10, 5}, false},
        {Px(100, 100, 100), Px(100, 110, 95), {10, 5}, true},
        {Px(100, 100, 100), Px(100, 111, 100), {10, 5}, false},
        {Px(100, 100, 100), Px(95, 95, 90), {10, 5}, true},
        {Px(100, 100, 100), Px(94, 100, 100), {6, 3}, true},
        {Px(100, 100, 100), Px(96, 96, 100), {6, 3}, false},
        {Px(0, 0, 0), Px(255, 0, 0), {24, 12}, false},
    };
    for (const Case& C : Cases) {
        EXPECT_EQ(TGraphicCompress_LM52::Similar(C.P.data(), C.Q.data(), C.T), C.Similar)
            << int(C.Q[2]) << "," << int(C.Q[1]) << "," << int(C.Q[0]);
        EXPECT_EQ(TGraphicCompress_LM52::Similar(C.Q.data(), C.P.data(), C.T), C.Similar);
    }
}

TEST(LM52, QualitySetsBaseTolerancesAndKeyInterval) {
    TGraphicCompress_LM52 C;
    for (auto [Quality, Big, Small] : {std::tuple{80, 10, 5}, std::tuple{75, 10, 5},
                                       std::tuple{74, 6, 3}, std::tuple{1, 6, 3}}) {
        C.SetQuality(Quality);
        EXPECT_EQ(C.DeltaTolerance().Big, Big) << Quality;
        EXPECT_EQ(C.DeltaTolerance().Small, Small) << Quality;
        EXPECT_EQ(C.FullTolerance().Big, Big) << Quality;
        EXPECT_EQ(C.KeyInterval, 20);
    }
}

TEST(LM52, TwoAdjacentChangesGiveOneGroup) {
    const TBitmap A = codectest::Uniform(144, 112, 0, 0, 0);
    TBitmap B = A;
    codectest::SetPixel(B, 10, 0, 255, 255, 255);
    codectest::SetPixel(B, 11, 0, 0, 0, 255);
    TGraphicCompress_LM52 C;
    const auto Bytes = CompressAll(C, {A, B});
    EXPECT_EQ(Hex(std::span(Bytes).subspan(15)),
              "FF 02 13 00 00 00 FF 04 01 FF 03 00 0A FF FF 00 F8 FF 01 ");
}

TEST(LM52, GroupsRunAcrossBlocksAndLaterGroupsOpenTheirBlock) {
    const TBitmap A = codectest::Uniform(144, 112, 0, 0, 0);
    TBitmap B = A;
    auto Set = [&](int N, bool Red) {
        codectest::SetPixel(B, N % 144, N / 144, 0, Red ? 0 : 255, Red ? 255 : 0);
    };
    for (int N = 252; N <= 256; ++N)
        Set(N, N % 2 == 0);
    Set(260, true);
    Set(300, false);
    TGraphicCompress_LM52 C;
    const auto Bytes = CompressAll(C, {A, B});
    const std::string Red = WordHex(0xF800), Green = WordHex(0x07C0);
    const std::string RedF = WordHex(0xF820), GreenF = WordHex(0x07E0);
    EXPECT_EQ(Hex(std::span(Bytes).subspan(15 + 9, 23)), "FF 03 00 FC " + RedF + GreenF + RedF +
                                                             GreenF + Red + "FF 03 01 06 " + Red +
                                                             "2E " + Green);
    EXPECT_EQ(Bytes.size(), 15u + 9u + 23u + 2u);
}

TEST(LM52, OneChangedPixelGivesTheUnchangedRecord) {
    const TBitmap A = codectest::Gradient(144, 112);
    TBitmap B = A;
    codectest::SetPixel(B, 50, 50, 0, 0, 0);
    TGraphicCompress_LM52 C;
    const auto Bytes = CompressAll(C, {A, A, B});
    const auto Records = codectest::SplitRecords(TCodecKind::LM52, Bytes);
    ASSERT_EQ(Records.size(), 3u);
    EXPECT_EQ(std::vector<uint8_t>(Records[1].begin(), Records[1].end()), UnchangedRecord);
    EXPECT_EQ(std::vector<uint8_t>(Records[2].begin(), Records[2].end()), UnchangedRecord);
}

TEST(LM52, FullFrameRunsKeepTheColourOfTheirFirstPixel) {
    const TBitmap A = codectest::Uniform(4, 1, 0, 0, 0);
    TBitmap B(4, 1);
    const uint8_t Reds[] = {100, 104, 108, 112};
    for (int X = 0; X < 4; ++X)
        codectest::SetPixel(B, X, 0, 0, 0, Reds[X]);
    TGraphicCompress_LM52 C;
    const auto Bytes = CompressAll(C, {A, B});
    EXPECT_EQ(Hex(std::span(Bytes).subspan(15)),
              "FF 02 11 00 00 00 FF 04 02 20 60 03 00 00 70 FF 01 ");
}

// Alternating green keeps every full-frame run at one pixel.
TBitmap Striped() {
    TBitmap Pic(144, 112);
    for (int N = 0; N < 144 * 112; ++N)
        codectest::SetPixel(Pic, N % 144, N / 144, 100, N % 2 ? 200 : 0, 100);
    return Pic;
}

TEST(LM52, LargeFramesRaiseTolerancesForTheFollowingFrames) {
    TGraphicCompress_LM52 C;
    C.SetQuality(80);
    const TBitmap A = Striped();
    TBitmap B = A;
    // Every red byte moves by 12: the delta (about 32260 bytes) loses against the full
    // frame (32256), whose size is above 20000.
    for (int N = 0; N < 144 * 112; ++N)
        B.Data()[size_t(N) * 3 + 2] = 112;
    CompressAll(C, {A});
    C.Stream = nullptr;
    TMemoryOutStream Out;
    C.Stream = &Out;
    C.CompressFrame(B, "");
    EXPECT_EQ(Out.Bytes()[8], 2);
    EXPECT_EQ(C.DeltaTolerance().Big, 24);
    EXPECT_EQ(C.DeltaTolerance().Small, 12);
    EXPECT_EQ(C.FullTolerance().Big, 24);

    // A frame whose sizes fall to 12000 or less brings them back to the base values.
    TBitmap D = B;
    for (int N = 0; N < 100; ++N)
        D.Data()[size_t(N) * 3 + 1] = 100;
    C.CompressFrame(D, "");
    EXPECT_EQ(Out.Bytes()[Out.Size() - 2 - 204 - 1], 1); // a delta of 204 bytes
    EXPECT_EQ(C.DeltaTolerance().Big, 10);
    EXPECT_EQ(C.DeltaTolerance().Small, 5);
}

TEST(LM52, MediumFramesRaiseBy8And4) {
    TGraphicCompress_LM52 C;
    const TBitmap A = Striped();
    TBitmap B = A;
    for (int N = 0; N < 7000; ++N) // delta 4 + 2 * 6999 + 2 = 14004
        B.Data()[size_t(N) * 3 + 2] = 130;
    CompressAll(C, {A, B});
    EXPECT_EQ(C.DeltaTolerance().Big, 18);
    EXPECT_EQ(C.DeltaTolerance().Small, 9);
}

TEST(LM52, DeltaLeftWithoutChangesByRaisedToleranceIsTheUnchangedRecord) {
    TGraphicCompress_LM52 C;
    C.SetQuality(80);
    const TBitmap A = Striped();
    TBitmap B = A;
    // 12000 consecutive pixels change by 12 in red: the estimate (24004 bytes, below the
    // full size of 32256) picks a delta and raises the tolerances to (24, 12), under
    // which no pixel is changed any more.
    for (int N = 0; N < 12000; ++N)
        B.Data()[size_t(N) * 3 + 2] = 112;
    const auto Bytes = CompressAll(C, {A, B});
    const auto Records = codectest::SplitRecords(TCodecKind::LM52, Bytes);
    ASSERT_EQ(Records.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(Records[1].begin(), Records[1].end()), UnchangedRecord)
        << Hex(Records[1].first(std::min<size_t>(Records[1].size(), 32)));
    // The decoder shows the previous picture for it.
    const TDecodedFrame Key = DecodeFrameRecord(TCodecKind::LM52, Records[0], 144, 112, nullptr);
    const TDecodedFrame Next =
        DecodeFrameRecord(TCodecKind::LM52, Records[1], 144, 112, &Key.Picture);
    EXPECT_TRUE(Next.Unchanged);
    EXPECT_EQ(Next.Picture, Key.Picture);
}

TEST(LM52, RaisedTolerancesLastThroughUnchangedFramesAndJudgeTheNextOnes) {
    // Unchanged frames do not adapt the tolerances, so those raised by a large frame
    // also decide the frames after it; a moderate frame then lowers them again.
    const TBitmap A = Striped();
    TBitmap Large = A; // every red byte off by 12: a full frame above 20000 bytes
    for (int N = 0; N < 144 * 112; ++N)
        Large.Data()[size_t(N) * 3 + 2] = 112;
    TBitmap WithinRaised = Large; // 50 pixels off by 20 in red: below Big 24, above 10
    for (int N = 0; N < 100; N += 2)
        WithinRaised.Data()[size_t(N) * 3 + 2] = 132;
    TBitmap Moderate = WithinRaised; // 50 pixels off by 100 in blue
    for (int N = 1000; N < 1100; N += 2)
        Moderate.Data()[size_t(N) * 3] = 200;

    struct Step {
        const char* What;
        const TBitmap* Frame;
        std::vector<uint8_t> Head; // the first 9 bytes, or the whole record
        int Big, Small;            // delta tolerances in use afterwards
    };
    const std::vector<uint8_t> FullHead = {0xFF, 0x02, 0x0B, 0x7E, 0x00, 0x00, 0xFF, 0x04, 0x02};
    const Step Steps[] = {
        {"key", &A, {}, 10, 5},
        {"large full frame", &Large, FullHead, 24, 12},
        {"identical frame", &Large, UnchangedRecord, 24, 12},
        {"changes within the raised tolerance", &WithinRaised, UnchangedRecord, 24, 12},
        {"moderate delta",
         &Moderate,
         {0xFF, 0x02, 0xA7, 0x00, 0x00, 0x00, 0xFF, 0x04, 0x01},
         10,
         5},
    };
    TGraphicCompress_LM52 C;
    C.SetQuality(80);
    TMemoryOutStream Out;
    C.Stream = &Out;
    for (const Step& S : Steps) {
        const size_t Start = Out.Size();
        C.CompressFrame(*S.Frame, "");
        const std::vector<uint8_t> Record(Out.Bytes().begin() + ptrdiff_t(Start),
                                          Out.Bytes().end());
        if (!S.Head.empty()) {
            ASSERT_GE(Record.size(), S.Head.size()) << S.What;
            EXPECT_EQ(
                std::vector<uint8_t>(Record.begin(), Record.begin() + ptrdiff_t(S.Head.size())),
                S.Head)
                << S.What << ": "
                << Hex(std::span(Record).first(std::min<size_t>(Record.size(), 16)));
        }
        EXPECT_EQ(C.DeltaTolerance().Big, S.Big) << S.What;
        EXPECT_EQ(C.DeltaTolerance().Small, S.Small) << S.What;
        EXPECT_EQ(C.FullTolerance().Big, S.Big) << S.What;
        EXPECT_EQ(C.FullTolerance().Small, S.Small) << S.What;
    }
}

TEST(LM52, KeyFramesEveryTwentyFramesAndTheyKeepTolerances) {
    TGraphicCompress_LM52 C;
    std::vector<TBitmap> Frames;
    for (int I = 0; I < 41; ++I)
        Frames.push_back(I % 2 ? Striped() : codectest::Noise(144, 112, uint32_t(I)));
    const auto Bytes = CompressAll(C, Frames);
    const auto Records = codectest::SplitRecords(TCodecKind::LM52, Bytes);
    ASSERT_EQ(Records.size(), 41u);
    for (size_t I = 0; I < Records.size(); ++I)
        EXPECT_EQ(Records[I][8] == 0, I % 20 == 0) << "frame " << I;
    // Frame 40 was a key frame; the raised tolerances of frame 39 are still in place.
    EXPECT_EQ(C.DeltaTolerance().Big, 24);
}

TEST(DeltaCodecs, FramesBeyondDeltaAddressingAreRefusedBeforeWriting) {
    for (const char* Model : {"LM41", "LM52"}) {
        auto C = CreateGraphicCompress(Model);
        ASSERT_TRUE(C);
        TMemoryOutStream Out;
        C->Stream = &Out;
        try {
            C->CompressFrame(TBitmap(256, 255), "/work/f/00001.bmp");
            ADD_FAILURE() << Model << ": no error";
        } catch (const TCodecError& E) {
            const std::string What = E.what();
            EXPECT_NE(What.find("00001.bmp"), std::string::npos) << What;
            EXPECT_NE(What.find("65024"), std::string::npos) << What;
        }
        EXPECT_EQ(Out.Size(), 0u) << Model;
        EXPECT_EQ(C->FrameIndex, -1) << Model;
        // The largest addressable frame is fine, also its delta.
        TBitmap Big(254, 256);
        C->CompressFrame(Big, "");
        codectest::SetPixel(Big, 251, 255, 255, 255, 255);
        codectest::SetPixel(Big, 253, 255, 0, 0, 255);
        C->CompressFrame(Big, "");
        const auto Records = codectest::SplitRecords(*CodecForModel(Model), Out.Bytes());
        ASSERT_EQ(Records.size(), 2u);
        EXPECT_EQ(Records[1][8], 1) << Model;
        EXPECT_EQ(Records[1][11], 255) << Model; // block 255
        EXPECT_EQ(Records[1][12], 251) << Model;
    }
}

TEST(DeltaCodecs, FrameSizeChangeWithinARunIsRefused) {
    TGraphicCompress_LM52 C;
    TMemoryOutStream Out;
    C.Stream = &Out;
    C.CompressFrame(TBitmap(10, 10), "");
    const uint64_t Before = Out.Size();
    EXPECT_THROW(C.CompressFrame(TBitmap(12, 10), "x.bmp"), TCodecError);
    EXPECT_EQ(Out.Size(), Before);
}

TEST(DeltaCodecs, SixteenBitPicturesAreEncodedAsTheir24BitForm) {
    TBitmap Pic(8, 8, TPixelFormat::Rgb555);
    for (int N = 0; N < 64; ++N) {
        Pic.Data()[N * 2] = uint8_t(N * 4);
        Pic.Data()[N * 2 + 1] = uint8_t(N);
    }
    TBitmap Wide = Pic;
    Wide.ConvertTo24();
    TGraphicCompress_LM52 A, B;
    EXPECT_EQ(codectest::CompressOne(A, Pic), codectest::CompressOne(B, Wide));
}

TEST(DeltaCodecs, MissingStreamIsAnError) {
    TGraphicCompress_LM41 C;
    EXPECT_THROW(C.CompressFrame(TBitmap(4, 4), ""), TCodecError);
}

TEST(Factory, ChoosesTheCompressorByModelName) {
    EXPECT_TRUE(dynamic_cast<TGraphicCompress_LM41*>(CreateGraphicCompress("LM41").get()));
    EXPECT_TRUE(dynamic_cast<TGraphicCompress_LM52*>(CreateGraphicCompress("LM52").get()));
    EXPECT_TRUE(CreateGraphicCompress("LM63"));
    for (const char* Other : {"LM52A", "LM75", "LM17", "lm41", ""})
        EXPECT_FALSE(CreateGraphicCompress(Other)) << Other;
    auto C = CreateGraphicCompress("LM63");
    EXPECT_EQ(C->FrameIndex, -1);
    EXPECT_EQ(C->Quality, 80);
}

} // namespace
