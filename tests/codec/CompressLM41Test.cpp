// Byte-exact checks of the LM41 grey-level records.

#include <gtest/gtest.h>

#include "codec/CodecPictures.h"
#include "codec/uGraphicCompress_LM41.h"

namespace {

using codectest::CompressAll;
using codectest::Hex;

const std::vector<uint8_t> UnchangedRecord = {0xFF, 0x02, 0x0B, 0x00, 0x00, 0x00,
                                              0xFF, 0x04, 0x01, 0xFF, 0x01};

TEST(LM41, GreyLevelsOfPrimaryColours) {
    struct Case {
        uint8_t B, G, R, Level;
    };
    for (const Case& C : {Case{255, 255, 255, 15}, Case{0, 0, 0, 0}, Case{0, 0, 255, 4},
                          Case{0, 255, 0, 9}, Case{255, 0, 0, 1}}) {
        EXPECT_EQ(TGraphicCompress_LM41::GreyLevel(C.B, C.G, C.R), C.Level)
            << int(C.B) << "," << int(C.G) << "," << int(C.R);
    }
    // Luminance 15.5 rounds half up to 16, which is the first value of level 1: with
    // R = G = B = 16 the sum is 1600 + 50.
    EXPECT_EQ(TGraphicCompress_LM41::GreyLevel(16, 16, 16), 1);
    EXPECT_EQ(TGraphicCompress_LM41::GreyLevel(15, 15, 15), 0);
}

TEST(LM41, KeyFrameOf144x112Is8075Bytes) {
    TGraphicCompress_LM41 C;
    C.SetQuality(80);
    const auto Bytes = codectest::CompressOne(C, codectest::Gradient(144, 112));
    ASSERT_EQ(Bytes.size(), 8075u);
    EXPECT_EQ(Hex(std::span(Bytes).first(9)), "FF 02 8B 1F 00 00 FF 04 00 ");
    EXPECT_EQ(Bytes[8073], 0xFF);
    EXPECT_EQ(Bytes[8074], 0x01);
    EXPECT_EQ(C.FrameIndex, 0);
}

TEST(LM41, KeyPayloadPacksPairsAcrossRowEnds) {
    // 3 x 2 picture, levels 0..5 in pixel order: the pair (2, 3) spans the row end.
    TBitmap Pic(3, 2);
    for (int N = 0; N < 6; ++N) {
        const uint8_t V = uint8_t(N * 16 + 8);
        codectest::SetPixel(Pic, N % 3, N / 3, V, V, V);
    }
    TGraphicCompress_LM41 C;
    const auto Bytes = codectest::CompressOne(C, Pic);
    EXPECT_EQ(Hex(Bytes), "FF 02 0E 00 00 00 FF 04 00 01 23 45 FF 01 ");
}

TEST(LM41, OddPixelCountDropsTheLastPixelInKeyFrames) {
    TGraphicCompress_LM41 C;
    const auto Bytes = codectest::CompressOne(C, codectest::Uniform(3, 3, 255, 255, 255));
    // 9 pixels: 4 bytes of pairs.
    EXPECT_EQ(Hex(Bytes), "FF 02 0F 00 00 00 FF 04 00 FF FF FF FF FF 01 ");
}

TEST(LM41, IdenticalFrameIsTheElevenByteRecord) {
    TGraphicCompress_LM41 C;
    const TBitmap Pic = codectest::Gradient(144, 112);
    const auto Bytes = CompressAll(C, {Pic, Pic});
    ASSERT_EQ(Bytes.size(), 8075u + 11u);
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 8075, Bytes.end()), UnchangedRecord);
}

TEST(LM41, TwoChangesGiveTheDeltaWithTwoBlockMarks) {
    const TBitmap A = codectest::Uniform(144, 112, 0, 0, 0);
    TBitmap B = A;
    codectest::SetPixel(B, 10, 0, 255, 255, 255);        // pixel 10, level 15
    codectest::SetPixel(B, 300 - 144 * 2, 2, 0, 255, 0); // pixel 300, level 9
    TGraphicCompress_LM41 C;
    const auto Bytes = CompressAll(C, {A, B});
    const auto Second = std::span(Bytes).subspan(8075);
    EXPECT_EQ(Hex(Second), "FF 02 15 00 00 00 FF 04 01 FF 03 00 0A 0F FF 03 01 2E 09 FF 01 ");
}

TEST(LM41, ChangesInOneBlockShareItsMark) {
    const TBitmap A = codectest::Uniform(144, 112, 0, 0, 0);
    TBitmap B = A;
    codectest::SetPixel(B, 1, 0, 255, 255, 255);
    codectest::SetPixel(B, 5, 0, 255, 255, 255);
    codectest::SetPixel(B, 2, 2, 255, 255, 255); // pixel 290, block 1 offset 36
    TGraphicCompress_LM41 C;
    const auto Bytes = CompressAll(C, {A, B});
    EXPECT_EQ(Hex(std::span(Bytes).subspan(8075 + 9)),
              "FF 03 00 01 0F 05 0F FF 03 01 24 0F FF 01 ");
}

TEST(LM41, OneChangedPixelIsRecordedAsUnchangedAndStaysTheReference) {
    const TBitmap A = codectest::Uniform(144, 112, 0, 0, 0);
    TBitmap B = A;
    codectest::SetPixel(B, 300 - 288, 2, 255, 255, 255);
    TBitmap D = B; // D differs from B in one more pixel only
    codectest::SetPixel(D, 7, 7, 255, 255, 255);
    TGraphicCompress_LM41 C;
    const auto Bytes = CompressAll(C, {A, B, D});
    ASSERT_EQ(Bytes.size(), 8075u + 22u);
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 8075, Bytes.begin() + 8086), UnchangedRecord);
    // D is compared with B (not with what the device shows), so it is unchanged too.
    EXPECT_EQ(std::vector<uint8_t>(Bytes.begin() + 8086, Bytes.end()), UnchangedRecord);
}

TEST(LM41, ChangeOfColourWithinOneGreyLevelIsNoChange) {
    const TBitmap A = codectest::Uniform(16, 16, 0, 0, 0);
    const TBitmap B = codectest::Uniform(16, 16, 10, 10, 10); // still level 0
    TGraphicCompress_LM41 C;
    const auto Bytes = CompressAll(C, {A, B});
    EXPECT_EQ(std::vector<uint8_t>(Bytes.end() - 11, Bytes.end()), UnchangedRecord);
}

TEST(LM41, LargeChangeGivesFullFrame) {
    // Every pixel changes: the delta (5 + 2 per change + marks) is larger than W*H/2.
    const TBitmap A = codectest::Uniform(20, 10, 0, 0, 0);
    const TBitmap B = codectest::Uniform(20, 10, 255, 255, 255);
    TGraphicCompress_LM41 C;
    const auto Bytes = CompressAll(C, {A, B});
    ASSERT_EQ(Bytes.size(), 111u * 2);
    EXPECT_EQ(Bytes[111 + 8], 2);
    EXPECT_EQ(Bytes[111 + 9], 0xFF);
}

TEST(LM41, SmallerDeltaIsChosenAndATieGivesFull) {
    // 16 x 1: full size 8; changes at 3 and 9 need 5 + 2 = 7 bytes.
    const TBitmap Row0 = codectest::Uniform(16, 1, 0, 0, 0);
    TBitmap Row1 = Row0;
    codectest::SetPixel(Row1, 3, 0, 255, 255, 255);
    codectest::SetPixel(Row1, 9, 0, 255, 255, 255);
    TGraphicCompress_LM41 D;
    auto Bytes = CompressAll(D, {Row0, Row1});
    EXPECT_EQ(Hex(std::span(Bytes).subspan(19)),
              "FF 02 12 00 00 00 FF 04 01 FF 03 00 03 0F 09 0F FF 01 ");

    // 18 x 1: full size 9; three changes need 5 + 2 + 2 = 9 bytes, a tie.
    const TBitmap Long0 = codectest::Uniform(18, 1, 0, 0, 0);
    TBitmap Long1 = Long0;
    for (int X : {1, 4, 17})
        codectest::SetPixel(Long1, X, 0, 255, 255, 255);
    TGraphicCompress_LM41 E;
    Bytes = CompressAll(E, {Long0, Long1});
    EXPECT_EQ(Hex(std::span(Bytes).subspan(20)),
              "FF 02 14 00 00 00 FF 04 02 0F 00 F0 00 00 00 00 00 0F FF 01 ");
}

TEST(LM41, KeyFramesEveryThirtyFramesOfARun) {
    TGraphicCompress_LM41 C;
    C.SetQuality(10);
    EXPECT_EQ(C.KeyInterval, 30);
    std::vector<TBitmap> Frames;
    for (int I = 0; I < 61; ++I)
        Frames.push_back(codectest::MovingBlocks(32, 24, I));
    const auto Bytes = CompressAll(C, Frames);
    const auto Records = codectest::SplitRecords(TCodecKind::LM41, Bytes);
    ASSERT_EQ(Records.size(), 61u);
    for (size_t I = 0; I < Records.size(); ++I) {
        if (I % 30 == 0)
            EXPECT_EQ(Records[I][8], 0) << "frame " << I;
        else
            EXPECT_NE(Records[I][8], 0) << "frame " << I;
    }
}

} // namespace
