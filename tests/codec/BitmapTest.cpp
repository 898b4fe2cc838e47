// Loading and saving the frame bitmaps: the formats the frame tools and the capture
// write, and every kind of damaged file.

#include <gtest/gtest.h>

#include <cstring>

#include "codec/CodecPictures.h"
#include "codec/uBitmap.h"
#include "support/TestSupport.h"

namespace {

using codectest::Hex;
using omm::test::TempDir;

void Put16(std::vector<uint8_t>& V, size_t At, uint16_t X) {
    V[At] = uint8_t(X);
    V[At + 1] = uint8_t(X >> 8);
}
void Put32(std::vector<uint8_t>& V, size_t At, uint32_t X) {
    for (int I = 0; I < 4; ++I)
        V[At + size_t(I)] = uint8_t(X >> (8 * I));
}

// A hand-made 16-bit BMP: rows bottom-up (or top-down), padded to 4 bytes; with masks
// when Masks is not empty.
std::vector<uint8_t> Make16BitBmp(int W, int H, const std::vector<uint16_t>& Words,
                                  const std::vector<uint32_t>& Masks, bool TopDown = false) {
    const size_t Stride = (size_t(W) * 2 + 3) / 4 * 4;
    const size_t Offset = 14 + 40 + Masks.size() * 4;
    std::vector<uint8_t> F(Offset + Stride * size_t(H), 0);
    F[0] = 'B';
    F[1] = 'M';
    Put32(F, 2, uint32_t(F.size()));
    Put32(F, 10, uint32_t(Offset));
    Put32(F, 14, 40);
    Put32(F, 18, uint32_t(W));
    Put32(F, 22, uint32_t(TopDown ? -H : H));
    Put16(F, 26, 1);
    Put16(F, 28, 16);
    Put32(F, 30, Masks.empty() ? 0 : 3);
    for (size_t I = 0; I < Masks.size(); ++I)
        Put32(F, 54 + 4 * I, Masks[I]);
    for (int Y = 0; Y < H; ++Y) {
        const int FileRow = TopDown ? Y : H - 1 - Y;
        for (int X = 0; X < W; ++X)
            Put16(F, Offset + Stride * size_t(FileRow) + size_t(X) * 2, Words[size_t(Y * W + X)]);
    }
    return F;
}

TEST(Bitmap, SaveAndLoadKeepEveryPixelForOddWidths) {
    TempDir Dir;
    for (int W : {1, 3, 5, 144, 321}) {
        const TBitmap Pic = codectest::Noise(W, 7, uint32_t(W));
        const auto File = Dir / ("n" + std::to_string(W) + ".bmp");
        Pic.SaveToFile(File);
        TBitmap Back;
        Back.LoadFromFile(File);
        EXPECT_EQ(Back, Pic) << "width " << W;
        const auto Bytes = omm::test::readFile(File);
        const size_t Stride = (size_t(W) * 3 + 3) / 4 * 4;
        EXPECT_EQ(Bytes.size(), 54 + Stride * 7);
    }
}

TEST(Bitmap, SavedFileIsBottomUpWithBgrOrder) {
    TBitmap Pic(2, 2);
    codectest::SetPixel(Pic, 0, 0, 1, 2, 3); // top left
    codectest::SetPixel(Pic, 1, 1, 7, 8, 9); // bottom right
    const auto Bytes = Pic.SaveToBytes();
    ASSERT_EQ(Bytes.size(), 54u + 8u * 2u);
    EXPECT_EQ(Bytes[28], 24); // bits per pixel
    // The first stored row is the bottom one.
    EXPECT_EQ(Bytes[54 + 3], 7);
    EXPECT_EQ(Bytes[54 + 4], 8);
    EXPECT_EQ(Bytes[54 + 5], 9);
    EXPECT_EQ(Bytes[54 + 8], 1);
    EXPECT_EQ(Bytes[54 + 9], 2);
    EXPECT_EQ(Bytes[54 + 10], 3);
}

TEST(Bitmap, Loads16BitDefaultLayoutAs555) {
    // white, pure red, pure green, pure blue in 5-5-5
    const auto File = Make16BitBmp(2, 2, {0x7FFF, 0x7C00, 0x03E0, 0x001F}, {});
    TBitmap Pic;
    Pic.LoadFromBytes(File.data(), File.size(), "capture.bmp");
    EXPECT_EQ(Pic.Format(), TPixelFormat::Rgb555);
    Pic.ConvertTo24();
    const uint8_t Expected[4][3] = {{255, 255, 255}, {0, 0, 255}, {0, 255, 0}, {255, 0, 0}};
    for (int N = 0; N < 4; ++N)
        for (int C = 0; C < 3; ++C)
            EXPECT_EQ(codectest::PixelAt(Pic, N)[C], Expected[N][C]) << N << "," << C;
}

TEST(Bitmap, Loads16BitWithMasks565And555) {
    const auto F565 = Make16BitBmp(3, 1, {0xF800, 0x07E0, 0x0410}, {0xF800, 0x07E0, 0x001F});
    TBitmap Pic;
    Pic.LoadFromBytes(F565.data(), F565.size(), "a.bmp");
    EXPECT_EQ(Pic.Format(), TPixelFormat::Rgb565);
    Pic.ConvertTo24();
    EXPECT_EQ(codectest::PixelAt(Pic, 0)[2], 255);
    EXPECT_EQ(codectest::PixelAt(Pic, 1)[1], 255);
    EXPECT_EQ(codectest::PixelAt(Pic, 2)[1], (32 << 2) | (32 >> 4)); // 6-bit 32 widened
    const auto F555 = Make16BitBmp(1, 1, {0x7C00}, {0x7C00, 0x03E0, 0x001F}, true);
    Pic.LoadFromBytes(F555.data(), F555.size(), "b.bmp");
    EXPECT_EQ(Pic.Format(), TPixelFormat::Rgb555);
}

TEST(Bitmap, Loads32BitFilesWithoutMasksDroppingTheFourthByte) {
    std::vector<uint8_t> F(54 + 2 * 4, 0);
    F[0] = 'B';
    F[1] = 'M';
    Put32(F, 2, uint32_t(F.size()));
    Put32(F, 10, 54);
    Put32(F, 14, 40);
    Put32(F, 18, 2);
    Put32(F, 22, 1);
    Put16(F, 26, 1);
    Put16(F, 28, 32);
    const uint8_t Pixels[8] = {1, 2, 3, 99, 4, 5, 6, 99};
    std::copy(Pixels, Pixels + 8, F.begin() + 54);
    TBitmap Pic;
    Pic.LoadFromBytes(F.data(), F.size(), "x.bmp");
    EXPECT_EQ(Pic.Format(), TPixelFormat::Bgr24);
    EXPECT_EQ(Hex(std::span(Pic.Data(), Pic.DataSize())), "01 02 03 04 05 06 ");
}

TEST(Bitmap, TopDownAndBottomUpGiveTheSamePicture) {
    const std::vector<uint16_t> Words = {1, 2, 3, 4, 5, 6};
    const auto Up = Make16BitBmp(3, 2, Words, {});
    const auto Down = Make16BitBmp(3, 2, Words, {}, true);
    TBitmap A, B;
    A.LoadFromBytes(Up.data(), Up.size(), "up");
    B.LoadFromBytes(Down.data(), Down.size(), "down");
    EXPECT_EQ(A, B);
    EXPECT_EQ(A.ScanLine(0)[0], 1);
}

struct BadFile {
    const char* Name;
    std::function<void(std::vector<uint8_t>&)> Damage;
    const char* Message;
};

TEST(Bitmap, DamagedFilesGiveClearErrorsNamingTheFile) {
    const std::vector<BadFile> Cases = {
        {"empty", [](auto& F) { F.clear(); }, "not a BMP"},
        {"png signature", [](auto& F) { F[0] = 0x89; }, "not a BMP"},
        {"header cut", [](auto& F) { F.resize(30); }, "truncated"},
        {"pixels cut", [](auto& F) { F.resize(F.size() - 1); }, "truncated"},
        {"8 bits", [](auto& F) { Put16(F, 28, 8); }, "unsupported colour depth"},
        {"rle", [](auto& F) { Put32(F, 30, 1); }, "compressed"},
        {"huge width", [](auto& F) { Put32(F, 18, 100000); }, "too large"},
        {"huge height", [](auto& F) { Put32(F, 22, uint32_t(-100000)); }, "too large"},
        {"zero width", [](auto& F) { Put32(F, 18, 0); }, "invalid picture size"},
        {"negative width", [](auto& F) { Put32(F, 18, uint32_t(-5)); }, "invalid picture size"},
        {"core header", [](auto& F) { Put32(F, 14, 12); }, "unsupported BMP header"},
        {"offset past end", [](auto& F) { Put32(F, 10, 1u << 30); }, "offset"},
        {"odd masks",
         [](auto& F) {
             Put16(F, 28, 16);
             Put32(F, 30, 3);
         },
         "masks"},
    };
    const std::vector<uint8_t> Good = codectest::Noise(9, 5, 3).SaveToBytes();
    for (const BadFile& C : Cases) {
        std::vector<uint8_t> F = Good;
        C.Damage(F);
        TBitmap Pic;
        try {
            Pic.LoadFromBytes(F.data(), F.size(), "/frames/00042.bmp");
            ADD_FAILURE() << C.Name << ": no error";
        } catch (const TBitmapError& E) {
            const std::string What = E.what();
            EXPECT_NE(What.find("/frames/00042.bmp"), std::string::npos) << C.Name << ": " << What;
            EXPECT_NE(What.find(C.Message), std::string::npos) << C.Name << ": " << What;
        }
    }
}

TEST(Bitmap, MissingFileNamesTheFile) {
    TempDir Dir;
    TBitmap Pic;
    try {
        Pic.LoadFromFile(Dir / "absent.bmp");
        ADD_FAILURE() << "no error";
    } catch (const TBitmapError& E) {
        EXPECT_NE(std::string(E.what()).find("absent.bmp"), std::string::npos) << E.what();
    }
}

TEST(Bitmap, SaveIntoMissingFolderFailsWithoutLeavingFiles) {
    TempDir Dir;
    EXPECT_THROW(codectest::Gradient(4, 4).SaveToFile(Dir / "no" / "x.bmp"), TBitmapError);
    EXPECT_FALSE(std::filesystem::exists(Dir / "no"));
}

TEST(Bitmap, LoadsFramesWrittenByFfmpegInEveryDepth) {
    TempDir Dir;
    struct Case {
        const char* PixFmt;
        TPixelFormat Format;
    };
    for (const Case& C :
         {Case{"bgr24", TPixelFormat::Bgr24}, Case{"rgb555le", TPixelFormat::Rgb555},
          Case{"rgb565le", TPixelFormat::Rgb565}}) {
        const auto File = Dir / (std::string(C.PixFmt) + ".bmp");
        ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=64x48:rate=1",
                                       "-frames:v", "1", "-pix_fmt", C.PixFmt, File.string()}));
        TBitmap Pic;
        Pic.LoadFromFile(File);
        EXPECT_EQ(Pic.Width(), 64);
        EXPECT_EQ(Pic.Height(), 48);
        EXPECT_EQ(Pic.Format(), C.Format) << C.PixFmt;
    }
    // The depths show the same picture up to 5 bits per channel (ffmpeg's own conversion
    // softens sharp edges a little, so compare the average).
    TBitmap A, B;
    A.LoadFromFile(Dir / "bgr24.bmp");
    B.LoadFromFile(Dir / "rgb555le.bmp");
    B.ConvertTo24();
    double Sum = 0;
    for (size_t I = 0; I < A.DataSize(); ++I)
        Sum += std::abs(int(A.Data()[I]) - int(B.Data()[I]));
    EXPECT_LT(Sum / double(A.DataSize()), 8.0);
}

} // namespace
