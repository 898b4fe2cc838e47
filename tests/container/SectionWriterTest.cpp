#include "ContainerFixtures.h"
#include "container/uWriteBaseFrame.h"
#include "container/uWriteChapter.h"
#include "container/uWriteFileHead.h"
#include "container/uWriteSound.h"
#include "container/uWriteSubtitle.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <sstream>

using namespace omm::test;

namespace {

struct THeadCase {
    const char* Model;
    uint32_t Format;
    uint16_t Interval;
    uint16_t Width, Height;
};

class HeadTest : public ::testing::TestWithParam<THeadCase> {};

} // namespace

TEST_P(HeadTest, WritesTheFortyBytesWithPlaceholders) {
    const THeadCase c = GetParam();
    auto profile = MakeProfile(c.Model);
    TMediaResManager frames;
    for (int i = 0; i < 123; ++i)
        frames.AddFile("f", i);
    frames.Duration = 12300;
    TMemoryOutStream out;
    TWriteFileHead head(&out, *profile, frames);
    EXPECT_TRUE(head.Execute());
    const auto& b = out.Bytes();
    ASSERT_EQ(b.size(), 40u);
    EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "OAVI");
    EXPECT_EQ(U32At(b, 4), c.Format);
    EXPECT_EQ(U32At(b, 8), 0u);
    EXPECT_EQ(U16At(b, 12), 40);
    EXPECT_EQ(U16At(b, 14), 1);
    EXPECT_EQ(U32At(b, 16), 123u);
    EXPECT_EQ(U32At(b, 20), 12300u);
    EXPECT_EQ(U16At(b, 24), c.Height); // height before width
    EXPECT_EQ(U16At(b, 26), c.Width);
    EXPECT_EQ(U16At(b, 28), 10);
    EXPECT_EQ(U16At(b, 30), c.Interval);
    EXPECT_EQ(U16At(b, 32), 1);
    EXPECT_EQ(U32At(b, 34), 0u);
    EXPECT_EQ(U16At(b, 38), 254);

    out.Seek(out.Size());
    out.WriteU32(0xDEADBEEF);
    head.PatchFileSize(0x01020304);
    head.PatchSoundOffset(0x0A0B0C0D);
    EXPECT_EQ(U32At(out.Bytes(), 8), 0x01020304u);
    EXPECT_EQ(U32At(out.Bytes(), 34), 0x0A0B0C0Du);
    EXPECT_EQ(U32At(out.Bytes(), 40), 0xDEADBEEFu);
}

INSTANTIATE_TEST_SUITE_P(Models, HeadTest,
                         ::testing::Values(THeadCase{"LM41", 0x00020101, 30, 144, 112},
                                           THeadCase{"LM52", 0x00820101, 20, 144, 112},
                                           THeadCase{"LM63", 0x81820781, 20, 320, 240}),
                         [](const auto& info) { return std::string(info.param.Model); });

TEST(HeadTest, VideoTypeTwoChangesTheTopByte) {
    auto profile = MakeProfile("LM63");
    profile->VideoType = 2;
    TMediaResManager frames;
    TMemoryOutStream out;
    TWriteFileHead(&out, *profile, frames).Execute();
    EXPECT_EQ(U32At(out.Bytes(), 4), 0x82820781u);
}

TEST(ChapterTables, WriteOneChapterAndTheBaseFramesWithTheDelay) {
    auto profile = MakeProfile("LM41");
    profile->DelayTime = 200;
    profile->BaseFrames = {0, 3000, 150, 9000};
    TMemoryOutStream out;
    std::vector<uint8_t> head(40, 0xAA);
    out.WriteBytes(head);
    TWriteChapter chapter(&out, *profile, "LM41");
    TWriteBaseFrame baseFrame(&out, *profile, "LM41");
    chapter.Execute();
    baseFrame.Execute();
    const auto& b = out.Bytes();
    ASSERT_EQ(b.size(), 40u + 8u + 4 * 8u);
    EXPECT_EQ(chapter.TablePos, 40u);
    EXPECT_EQ(chapter.EntryCount, 1);
    EXPECT_EQ(U32At(b, 40), 0u);
    EXPECT_EQ(U32At(b, 44), 100u);
    EXPECT_EQ(baseFrame.TablePos, 48u);
    EXPECT_EQ(baseFrame.EntryCount, 4);
    const uint32_t expected[] = {0, 2800, uint32_t(150 - 200), 8800};
    for (int i = 0; i < 4; ++i) {
        EXPECT_EQ(U32At(b, 48 + 8 * i), 0u);
        EXPECT_EQ(U32At(b, 52 + 8 * i), expected[i]) << "entry " << i;
    }
    chapter.PatchEntry(0, 777);
    EXPECT_EQ(U32At(out.Bytes(), 40), 777u);
    EXPECT_EQ(out.Position(), 48u);
}

namespace {

// A segment of LM41/LM52-framed records with the given lengths (payload filler).
std::string DeltaSegment(const std::vector<uint32_t>& Lengths) {
    std::string s;
    for (uint32_t len : Lengths) {
        std::string r(len, '\x11');
        r[0] = '\xFF';
        r[1] = '\x02';
        for (int k = 0; k < 4; ++k)
            r[2 + k] = char((len >> (8 * k)) & 0xFF);
        s += r;
    }
    return s;
}

std::string JpegSegment(const std::vector<uint32_t>& Lengths) {
    std::string s;
    for (uint32_t len : Lengths) {
        std::string r(len, '\x22');
        for (int k = 0; k < 4; ++k)
            r[k] = char((len >> (8 * k)) & 0xFF);
        s += r;
    }
    return s;
}

} // namespace

TEST(ChapterTables, PatchKeyFramesFollowsTheRecordLengths) {
    // K = 3 (frame rate 1 for LM41); frames 3..10 in one segment: base frames 3, 6, 9.
    auto profile = MakeProfile("LM41");
    profile->PlaySpeed = 1;
    profile->BaseFrames = {0, 1, 2, 3}; // entries for frames 0, 3, 6, 9
    TMemoryOutStream out;
    out.WriteBytes(std::vector<uint8_t>(40, 0));
    TWriteChapter chapter(&out, *profile, "LM41");
    TWriteBaseFrame baseFrame(&out, *profile, "LM41");
    chapter.Execute();
    baseFrame.Execute();
    const std::vector<uint32_t> lengths = {20, 11, 13, 30, 11, 11, 50, 12};
    std::istringstream segment(DeltaSegment(lengths));
    baseFrame.PatchKeyFrames(3, 10, segment, 1000, "seg");
    const auto& b = out.Bytes();
    EXPECT_EQ(U32At(b, 48), 0u);         // frame 0 lies in another segment
    EXPECT_EQ(U32At(b, 56), 1000u);      // frame 3
    EXPECT_EQ(U32At(b, 64), 1000u + 44); // frame 6: after 20 + 11 + 13
    EXPECT_EQ(U32At(b, 72), 1000u + 96); // frame 9: + 30 + 11 + 11
    EXPECT_EQ(out.Position(), out.Size());
}

TEST(ChapterTables, PatchKeyFramesReadsJpegLengthsFirstAndNeverWritesPastTheTable) {
    auto profile = MakeProfile("LM63");
    profile->PlaySpeed = 1; // K = 2
    profile->BaseFrames = {0, 1};
    TMemoryOutStream out;
    out.WriteBytes(std::vector<uint8_t>(40, 0));
    TWriteChapter chapter(&out, *profile, "LM63");
    TWriteBaseFrame baseFrame(&out, *profile, "LM63");
    chapter.Execute();
    baseFrame.Execute();
    // What follows the table (the sound, say) must stay intact.
    out.WriteBytes(std::vector<uint8_t>(64, 0x5A));
    std::istringstream segment(JpegSegment({100, 40, 60, 80, 8, 8}));
    baseFrame.PatchKeyFrames(0, 5, segment, 500, "seg");
    const auto& b = out.Bytes();
    EXPECT_EQ(U32At(b, 48), 500u);
    EXPECT_EQ(U32At(b, 56), 640u);
    for (size_t i = 64; i < b.size(); ++i)
        ASSERT_EQ(b[i], 0x5A) << "byte " << i;
}

TEST(ChapterTables, ADamagedSegmentIsAnErrorNotAWildSeek) {
    auto profile = MakeProfile("LM52");
    profile->PlaySpeed = 1; // K = 2
    profile->BaseFrames = {0, 1, 2};
    TMemoryOutStream out;
    out.WriteBytes(std::vector<uint8_t>(40, 0));
    TWriteChapter chapter(&out, *profile, "LM52");
    TWriteBaseFrame baseFrame(&out, *profile, "LM52");
    chapter.Execute();
    baseFrame.Execute();
    std::string seg = DeltaSegment({20, 20});
    seg.resize(25); // the second record is cut short
    std::istringstream segment(seg);
    try {
        baseFrame.PatchKeyFrames(0, 4, segment, 100, "/tmp/work/0.tmp");
        FAIL() << "no error";
    } catch (const TEncodeError& e) {
        EXPECT_NE(std::string(e.what()).find("/tmp/work/0.tmp"), std::string::npos);
    }
}

TEST(SoundWriter, CopiesTheFileAndRecordsItsOffset) {
    TempDir dir;
    auto mp3 = dir / "a.mp3";
    std::vector<unsigned char> bytes(12345);
    for (size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<unsigned char>(i * 7 + 3);
    writeFile(mp3, bytes);
    auto profile = MakeProfile("LM52");
    TMediaResManager frames;
    TMemoryOutStream out;
    TWriteFileHead head(&out, *profile, frames);
    head.Execute();
    out.WriteBytes(std::vector<uint8_t>(16, 0));
    TWriteSound sound(&out, head, mp3.string());
    sound.Execute();
    EXPECT_TRUE(sound.Consumed());
    EXPECT_EQ(U32At(out.Bytes(), 34), 56u);
    ASSERT_EQ(out.Size(), 56u + 12345u);
    EXPECT_TRUE(std::equal(bytes.begin(), bytes.end(), out.Bytes().begin() + 56));
    // The pipeline, not the writer, removes the file once the video is in place.
    EXPECT_TRUE(std::filesystem::exists(mp3));
}

TEST(SoundWriter, AMissingFileGivesASilentVideo) {
    auto profile = MakeProfile("LM41");
    TMediaResManager frames;
    TMemoryOutStream out;
    TWriteFileHead head(&out, *profile, frames);
    head.Execute();
    TWriteSound sound(&out, head, "/nonexistent/a.mp3");
    sound.Execute();
    EXPECT_FALSE(sound.Consumed());
    EXPECT_EQ(out.Size(), 40u);
    EXPECT_EQ(U32At(out.Bytes(), 34), 40u);
}

TEST(SoundWriter, RefusesASoundThatWouldPassTheSizeLimit) {
    TempDir dir;
    writeFile(dir / "a.mp3", std::vector<unsigned char>(5000, 1));
    auto profile = MakeProfile("LM41");
    TMediaResManager frames;
    TMemoryOutStream out;
    TWriteFileHead head(&out, *profile, frames);
    head.Execute();
    TWriteSound sound(&out, head, (dir / "a.mp3").string());
    sound.SizeLimit = 4000;
    sound.OutputName = "x.omv";
    EXPECT_THROW(sound.Execute(), TEncodeError);
    EXPECT_EQ(out.Size(), 40u); // nothing copied
}
