#include "settings/LMSetConstUnit.h"
#include "settings/VideoInfoUnit.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using omm::test::TempDir;

void putLe32(std::vector<unsigned char>& bytes, size_t offset, int32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + size_t(i)] = uint8_t(uint32_t(value) >> (8 * i));
}

// The first bytes of a RIFF AVI file with the main-header fields at their fixed places.
std::vector<unsigned char> aviHeader(int32_t microSec, int32_t frames, int32_t width,
                                     int32_t height) {
    std::vector<unsigned char> bytes(96, 0);
    std::memcpy(bytes.data(), "RIFF", 4);
    putLe32(bytes, 4, 88);
    std::memcpy(bytes.data() + 8, "AVI LIST", 8);
    std::memcpy(bytes.data() + 24, "avihavih", 8);
    putLe32(bytes, 32, microSec);
    putLe32(bytes, 48, frames);
    putLe32(bytes, 64, width);
    putLe32(bytes, 68, height);
    return bytes;
}

void expectDefaults(const TVideoInfo& info) {
    EXPECT_EQ(info.Width, 240);
    EXPECT_EQ(info.Height, 480);
    EXPECT_EQ(info.TotalFrames, 0);
    EXPECT_EQ(info.DurationSec, 0);
    EXPECT_EQ(info.DurationMs, 0);
    EXPECT_EQ(info.FramesPerSecond, 0);
    EXPECT_EQ(info.MicroSecPerFrame, 0);
}

TEST(VideoInfo, ReadsTheMainHeader) {
    TempDir dir;
    auto file = dir / "clip.avi";
    omm::test::writeFile(file, aviHeader(40000, 250, 320, 240));
    TVideoInfo info;
    EXPECT_TRUE(info.LoadFromFile(file.string()));
    EXPECT_EQ(info.FileName, file.string());
    EXPECT_EQ(info.MicroSecPerFrame, 40000);
    EXPECT_EQ(info.TotalFrames, 250);
    EXPECT_EQ(info.FramesPerSecond, 25);
    EXPECT_EQ(info.DurationSec, 10);
    EXPECT_EQ(info.DurationMs, 10000);
    EXPECT_EQ(info.Width, 320);
    EXPECT_EQ(info.Height, 240);
}

TEST(VideoInfo, TruncatesTowardsZero) {
    TempDir dir;
    auto file = dir / "clip.avi";
    omm::test::writeFile(file, aviHeader(33367, 100, 16, 16)); // 29.97 fps
    TVideoInfo info;
    ASSERT_TRUE(info.LoadFromFile(file.string()));
    EXPECT_EQ(info.FramesPerSecond, 29);
    EXPECT_EQ(info.DurationSec, 3);
    EXPECT_EQ(info.DurationMs, 3336);
}

struct BadAvi {
    const char* what;
    std::vector<unsigned char> bytes;
};

class BadAviInput : public testing::TestWithParam<BadAvi> {};

TEST_P(BadAviInput, IsRefusedWithDefaultsAndANamedError) {
    TempDir dir;
    auto file = dir / "bad.avi";
    omm::test::writeFile(file, GetParam().bytes);
    TVideoInfo info;
    info.Width = 1; // a previous source's value must not survive
    EXPECT_FALSE(info.LoadFromFile(file.string()));
    expectDefaults(info);
    EXPECT_NE(info.LastError.find(file.string()), std::string::npos) << info.LastError;
}

std::vector<unsigned char> textBytes(const std::string& text) {
    std::string padded = text;
    while (padded.size() < 200)
        padded += text;
    return {padded.begin(), padded.end()};
}

std::vector<unsigned char> firstBytes(std::vector<unsigned char> bytes, size_t count) {
    bytes.resize(count);
    return bytes;
}

INSTANTIATE_TEST_SUITE_P(
    Inputs, BadAviInput,
    testing::Values(BadAvi{"zeroDuration", aviHeader(0, 250, 320, 240)},
                    BadAvi{"negativeDuration", aviHeader(-40000, 250, 320, 240)},
                    BadAvi{"negativeFrames", aviHeader(40000, -1, 320, 240)},
                    BadAvi{"negativeWidth", aviHeader(40000, 250, -320, 240)},
                    BadAvi{"negativeHeight", aviHeader(40000, 250, 320, -2)},
                    BadAvi{"durationBeyondRange", aviHeader(0x7FFFFFFF, 0x7FFFFFFF, 320, 240)},
                    BadAvi{"shorterThanHeader", firstBytes(aviHeader(40000, 250, 320, 240), 40)},
                    BadAvi{"empty", {}}, BadAvi{"textFile", textBytes("this is not a video\n")}),
    [](const auto& info) { return std::string(info.param.what); });

TEST(VideoInfo, MissingFileLeavesTheDefaults) {
    TempDir dir;
    TVideoInfo info;
    info.LoadFromFile((dir / "none.avi").string());
    expectDefaults(info);
    EXPECT_EQ(info.FileName, (dir / "none.avi").string());
}

TEST(VideoInfo, ReadsAnAviMadeByFfmpeg) {
    TempDir dir;
    auto file = dir / "real.avi";
    ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=176x144:rate=25", "-t", "2",
                                   "-c:v", "mjpeg", file.string()}));
    TVideoInfo info;
    ASSERT_TRUE(info.LoadFromFile(file.string())) << info.LastError;
    EXPECT_EQ(info.Width, 176);
    EXPECT_EQ(info.Height, 144);
    EXPECT_EQ(info.MicroSecPerFrame, 40000);
    EXPECT_EQ(info.FramesPerSecond, 25);
    EXPECT_EQ(info.TotalFrames, 50);
    EXPECT_EQ(info.DurationSec, 2);
}

TEST(VideoInfo, CurrentFileOfTheProfileRefreshesIt) {
    TempDir dir;
    auto file = dir / "clip.avi";
    omm::test::writeFile(file, aviHeader(40000, 250, 320, 240));
    auto set = CreateModelSet("LM52");
    TVideoInfo info;
    set->VideoInfo->SourceInfo = &info;
    set->VideoInfo->FileList.push_back(TMediaFileItem::ForFile(file.string()));
    EXPECT_EQ(set->VideoInfo->GetCurrentFile(), file.string());
    EXPECT_EQ(info.TotalFrames, 250);
    // Outside the list the name is empty and the values stay.
    set->VideoInfo->FileIndex = 5;
    EXPECT_EQ(set->VideoInfo->GetCurrentFile(), "");
    EXPECT_EQ(info.TotalFrames, 250);
}

TEST(MediaFileItem, NotesTheSubtitleAndSoundFilesBesideIt) {
    TempDir dir;
    omm::test::writeText(dir / "a.srt", "1\n");
    omm::test::writeText(dir / "b.mp3", "x");
    auto a = TMediaFileItem::ForFile((dir / "a.avi").string());
    auto b = TMediaFileItem::ForFile((dir / "b.avi").string());
    EXPECT_TRUE(a.HasSrt);
    EXPECT_FALSE(a.HasMp3);
    EXPECT_FALSE(b.HasSrt);
    EXPECT_TRUE(b.HasMp3);
}

} // namespace
