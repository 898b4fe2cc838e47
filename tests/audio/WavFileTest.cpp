#include "platform/audio/WavFileWriter.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

using namespace omm::audio;
using omm::test::TempDir;

namespace {
uint32_t le32(const std::vector<unsigned char>& b, size_t p) {
    return b[p] | (b[p + 1] << 8) | (b[p + 2] << 16) | (static_cast<uint32_t>(b[p + 3]) << 24);
}
} // namespace

TEST(WavFileWriter, WritesAHeaderThatFfmpegReads) {
    TempDir dir;
    PcmBuffer pcm;
    pcm.format = {22050, 2};
    for (int i = 0; i < 22050; ++i)
        pcm.samples.insert(pcm.samples.end(), {static_cast<int16_t>(i), static_cast<int16_t>(-i)});
    std::string error;
    const auto path = dir / "out.wav";
    ASSERT_TRUE(WriteWavFile(path.string(), pcm, error)) << error;
    auto bytes = omm::test::readFile(path);
    ASSERT_EQ(bytes.size(), 44u + 22050 * 4);
    EXPECT_EQ(le32(bytes, 4), 36u + 22050 * 4);
    EXPECT_EQ(le32(bytes, 24), 22050u);
    EXPECT_EQ(le32(bytes, 40), 22050u * 4);
    // Decoded by ffmpeg, the samples come back unchanged.
    const auto raw = dir / "back.raw";
    ASSERT_TRUE(omm::test::ffmpeg({"-i", path.string(), "-f", "s16le", raw.string()}));
    auto back = omm::test::readFile(raw);
    ASSERT_EQ(back.size(), pcm.samples.size() * 2);
    EXPECT_EQ(std::memcmp(back.data(), pcm.samples.data(), back.size()), 0);
    // No temporary file remains beside the target.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator{}),
              2);
}

TEST(WavFileWriter, AbortLeavesTheOldFileInPlace) {
    TempDir dir;
    const auto path = dir / "keep.wav";
    omm::test::writeText(path, "old");
    {
        WavFileWriter writer;
        std::string error;
        ASSERT_TRUE(writer.Open(path.string(), {8000, 1}, error));
        int16_t s[4] = {1, 2, 3, 4};
        ASSERT_TRUE(writer.Append(s, 4, error));
    } // destroyed unfinished
    auto bytes = omm::test::readFile(path);
    EXPECT_EQ(std::string(bytes.begin(), bytes.end()), "old");
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.path()),
                            std::filesystem::directory_iterator{}),
              1);
}

TEST(WavFileWriter, UnwritableFolderIsReportedWithItsName) {
    std::string error;
    PcmBuffer pcm;
    pcm.format = {8000, 1};
    EXPECT_FALSE(WriteWavFile("/nonexistent-folder/x.wav", pcm, error));
    EXPECT_NE(error.find("/nonexistent-folder/x.wav"), std::string::npos) << error;
}
