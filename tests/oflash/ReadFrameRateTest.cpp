#include "oflash/ReadFrameRateUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using omm::test::TempDir;

namespace {

// A movie header: signature, version, length, a rectangle whose field size is fieldBits,
// then the 8.8 frame rate.
std::vector<unsigned char> header(const std::string& signature, int fieldBits, int rateInt,
                                  int rateFrac) {
    std::vector<unsigned char> bytes(signature.begin(), signature.end());
    bytes.insert(bytes.end(), {10, 100, 0, 0, 0});
    const int rectBytes = (5 + 4 * fieldBits + 7) / 8;
    std::vector<unsigned char> rect(static_cast<size_t>(rectBytes), 0);
    rect[0] = static_cast<unsigned char>(fieldBits << 3);
    for (size_t i = 1; i < rect.size(); ++i)
        rect[i] = 0xFF; // filler must not be mistaken for the rate
    bytes.insert(bytes.end(), rect.begin(), rect.end());
    bytes.push_back(static_cast<unsigned char>(rateFrac));
    bytes.push_back(static_cast<unsigned char>(rateInt));
    bytes.insert(bytes.end(), {1, 0}); // frame count, never read
    return bytes;
}

struct RateCase {
    const char* name;
    std::vector<unsigned char> bytes;
    int expected;
};

} // namespace

TEST(ReadFrameRate, HeaderExamples) {
    TempDir dir;
    const std::vector<RateCase> cases = {
        {"uncompressed 24.5 fps", header("FWS", 15, 24, 0x80), 24},
        {"lower-case signature", header("fws", 12, 30, 0), 30},
        {"compressed movie", header("CWS", 15, 24, 0x80), 12},
        {"lower-case compressed", header("cws", 15, 24, 0x80), 12},
        {"other signature", header("ZWS", 15, 24, 0), 12},
        {"rate byte 0", header("FWS", 15, 0, 0x80), 12},
        {"largest rate", header("FWS", 1, 255, 0), 255},
        {"smallest rectangle", header("FWS", 0, 25, 0), 25},
        {"largest rectangle", header("FWS", 31, 50, 0), 50},
        {"empty file", {}, 12},
        {"signature only", {'F', 'W', 'S'}, 12},
        {"cut before the rate", {'F', 'W', 'S', 10, 0, 0, 0, 0, 15 << 3, 0, 0}, 12},
    };
    for (const auto& c : cases) {
        auto path = dir / "movie.swf";
        omm::test::writeFile(path, c.bytes);
        EXPECT_EQ(ReadFrameRate(path.string()), c.expected) << c.name;
    }
}

TEST(ReadFrameRate, RectangleOfFifteenBitFieldsPutsTheRateAtByte18) {
    auto bytes = header("FWS", 15, 7, 0);
    ASSERT_GT(bytes.size(), 18u);
    EXPECT_EQ(bytes[18], 7);
    TempDir dir;
    omm::test::writeFile(dir / "m.swf", bytes);
    EXPECT_EQ(ReadFrameRate((dir / "m.swf").string()), 7);
}

TEST(ReadFrameRate, MissingFileOrFolderGivesTwelve) {
    TempDir dir;
    EXPECT_EQ(ReadFrameRate((dir / "none.swf").string()), 12);
    EXPECT_EQ(ReadFrameRate(dir.path().string()), 12);
    EXPECT_EQ(ReadFrameRate(""), 12);
}

TEST(ReadFrameRate, MovieMadeByFfmpeg) {
    TempDir dir;
    auto path = dir / "clip.swf";
    ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=240x120:rate=15", "-t", "0.5",
                                   "-c:v", "mjpeg", "-f", "swf", path.string()}));
    EXPECT_EQ(ReadFrameRate(path.string()), 15);
}
