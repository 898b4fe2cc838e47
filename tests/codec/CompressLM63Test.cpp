// The JPEG records of the LM63 model and their ".jpg" side files.

#include <gtest/gtest.h>

#include "codec/CodecPictures.h"
#include "codec/uGraphicCompress_LM52A.h"
#include "support/TestSupport.h"

namespace {

uint32_t U32(std::span<const uint8_t> B) {
    return uint32_t(B[0]) | uint32_t(B[1]) << 8 | uint32_t(B[2]) << 16 | uint32_t(B[3]) << 24;
}

// Walks the JPEG markers up to the start of scan and collects them.
std::vector<uint8_t> MarkersBeforeScan(std::span<const uint8_t> J) {
    std::vector<uint8_t> Markers;
    size_t P = 2;
    while (P + 4 <= J.size() && J[P] == 0xFF) {
        const uint8_t M = J[P + 1];
        Markers.push_back(M);
        if (M == 0xDA)
            break;
        P += 2 + (size_t(J[P + 2]) << 8 | J[P + 3]);
    }
    return Markers;
}

TEST(LM63, RecordIsLengthAndOneBaselineJfifPicture) {
    TGraphicCompress_LM52A C;
    C.SetQuality(80);
    const auto Bytes = codectest::CompressOne(C, codectest::MovingBlocks(320, 240, 3));
    ASSERT_GT(Bytes.size(), 100u);
    EXPECT_EQ(U32(Bytes), Bytes.size());
    const auto Jpeg = std::span(Bytes).subspan(4);
    EXPECT_EQ(Jpeg[0], 0xFF);
    EXPECT_EQ(Jpeg[1], 0xD8);
    EXPECT_EQ(Jpeg[2], 0xFF);
    EXPECT_EQ(Jpeg[3], 0xE0); // JFIF
    EXPECT_EQ(std::string(Jpeg.begin() + 6, Jpeg.begin() + 10), "JFIF");
    EXPECT_EQ(Jpeg[Jpeg.size() - 2], 0xFF);
    EXPECT_EQ(Jpeg[Jpeg.size() - 1], 0xD9);
    const auto Markers = MarkersBeforeScan(Jpeg);
    EXPECT_NE(std::find(Markers.begin(), Markers.end(), 0xC0), Markers.end()) << "baseline SOF0";
    EXPECT_EQ(std::find(Markers.begin(), Markers.end(), 0xC2), Markers.end()) << "progressive";

    const TDecodedFrame Frame = DecodeFrameRecord(TCodecKind::LM63, Bytes, 320, 240, nullptr);
    EXPECT_EQ(Frame.Picture.Width(), 320);
    EXPECT_EQ(Frame.Picture.Height(), 240);
    EXPECT_EQ(C.FrameIndex, 0);
}

TEST(LM63, ColourWithTwoByTwoChromaSampling) {
    TGraphicCompress_LM52A C;
    const auto Bytes = codectest::CompressOne(C, codectest::Gradient(64, 48));
    const auto J = std::span(Bytes).subspan(4);
    // Find SOF0 and read its component table.
    size_t P = 2;
    while (J[P + 1] != 0xC0)
        P += 2 + (size_t(J[P + 2]) << 8 | J[P + 3]);
    EXPECT_EQ(J[P + 9], 3);     // components
    EXPECT_EQ(J[P + 11], 0x22); // Y sampled 2 x 2
    EXPECT_EQ(J[P + 14], 0x11); // Cb
    EXPECT_EQ(J[P + 17], 0x11); // Cr
}

TEST(LM63, HigherQualityGivesLargerRecords) {
    const TBitmap Pic = codectest::MovingBlocks(320, 240, 1);
    size_t Previous = 0;
    for (int Q : {20, 50, 80, 95}) {
        TGraphicCompress_LM52A C;
        C.SetQuality(Q);
        const size_t Size = codectest::CompressOne(C, Pic).size();
        EXPECT_GT(Size, Previous) << "quality " << Q;
        Previous = Size;
    }
}

TEST(LM63, SideFileBesideTheBitmapHoldsTheRecordsPicture) {
    omm::test::TempDir Dir;
    TGraphicCompress_LM52A C;
    TMemoryOutStream Out;
    C.Stream = &Out;
    const auto Source = Dir / "00007.bmp";
    codectest::Gradient(32, 16).SaveToFile(Source);
    omm::test::writeText(Dir / "00007.jpg", "old");
    C.CompressFrame(codectest::Gradient(32, 16), Source.string());
    C.CompressFrame(codectest::Noise(32, 16, 1), (Dir / "x.frame.bmp").string());
    const auto Side = omm::test::readFile(Dir / "00007.jpg");
    const auto Records = codectest::SplitRecords(TCodecKind::LM63, Out.Bytes());
    ASSERT_EQ(Records.size(), 2u);
    EXPECT_EQ(std::vector<uint8_t>(Records[0].begin() + 4, Records[0].end()),
              std::vector<uint8_t>(Side.begin(), Side.end()));
    EXPECT_TRUE(std::filesystem::exists(Dir / "x.frame.jpg"));
    EXPECT_EQ(C.FrameIndex, 1);
}

TEST(LM63, UnwritableSideFileIsAnErrorAndNoRecordIsWritten) {
    omm::test::TempDir Dir;
    TGraphicCompress_LM52A C;
    TMemoryOutStream Out;
    C.Stream = &Out;
    EXPECT_THROW(C.CompressFrame(codectest::Gradient(8, 8), (Dir / "gone" / "1.bmp").string()),
                 TStreamError);
    EXPECT_EQ(Out.Size(), 0u);
}

TEST(LM63, SixteenBitPictureIsEncoded) {
    TBitmap Pic(16, 16, TPixelFormat::Rgb565);
    TGraphicCompress_LM52A C;
    const auto Bytes = codectest::CompressOne(C, Pic);
    const auto Frame = DecodeFrameRecord(TCodecKind::LM63, Bytes, 16, 16, nullptr);
    EXPECT_LE(Frame.Picture.Data()[0], 2);
}

} // namespace
