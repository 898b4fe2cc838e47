// omm convert as a user runs it: whole conversions decoded back, batches with failures,
// and bad usage.

#include "acquire/AviFixtures.h"
#include "container/uVideoDecode.h"

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

class ConvertCommandTest : public ::testing::Test {
protected:
    RunResult convert(std::vector<std::string> args) {
        args.insert(args.begin(), {"convert", "--config", (dir / "omm.ini").string()});
        return run(builtProgram("omm").string(), args, 300000);
    }
    TempDir dir;
};

TEST_F(ConvertCommandTest, EveryModelGetsItsDeviceVideoWithSound) {
    struct Case {
        const char* model;
        const char* extension;
        int width, height;
    } cases[] = {
        {"LM63", ".ovi", 320, 240}, {"LM52", ".omv", 144, 112}, {"lm41", ".omv", 144, 112}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.model);
        const fs::path src = dir / "课程 one.v1.avi";
        ASSERT_TRUE(makeAvi(src, "25", 3, AviSound::Mp3));
        // Device frames whose nearest source frame exists (the sound can make the
        // video a frame or two longer than asked for).
        const int sourceFrames = std::stoi(probe(src, "v", "nb_frames"));
        uint32_t expected = 0;
        while (int(2.5 * expected + 0.5) < sourceFrames)
            ++expected;
        auto r = convert({"--model", c.model, src.string()});
        ASSERT_EQ(r.exitCode, 0) << r.err;
        const fs::path out = dir / (std::string("课程 one.v1") + c.extension);
        EXPECT_NE(r.out.find(out.string()), std::string::npos) << r.out;
        EXPECT_NE(r.out.find(": " + std::to_string(expected) + " frames"), std::string::npos)
            << r.out;
        TVideoFile file = TVideoDecode::Open(out.string());
        EXPECT_EQ(file.Head.FrameCount, expected);
        EXPECT_EQ(file.Head.Width, c.width);
        EXPECT_EQ(file.Head.Height, c.height);
        ASSERT_GT(file.SoundLength, 1000u);
        // The sound inside is an MP3 stream of the model's default format.
        std::vector<unsigned char> sound(file.Bytes.begin() + file.SoundOffset,
                                         file.Bytes.begin() + file.SoundOffset + file.SoundLength);
        writeFile(dir / "inside.mp3", sound);
        EXPECT_EQ(probe(dir / "inside.mp3", "a", "sample_rate"), "22050");
        EXPECT_NEAR(probeDuration(dir / "inside.mp3"), 3.0, 0.2);
        size_t decoded = 0;
        TVideoDecode::DecodeFrames(file, [&](size_t, const TBitmap&) { ++decoded; });
        EXPECT_EQ(decoded, expected);
        EXPECT_FALSE(fs::exists(dir / "课程 one.v1.mp3")) << "the sound is consumed";
        EXPECT_FALSE(fs::exists(dir / "课程 one")) << "the working folder is removed";
        fs::remove(out);
        fs::remove(dir / "inside.mp3");
    }
}

TEST_F(ConvertCommandTest, OptionsReachTheProfile) {
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 2, AviSound::Pcm));
    writeText(dir / "clip.srt", "1\n0\n0\nheader\n1\n00:00:00,500 --> 00:00:01,500\nhello\n"
                                "第二行\n\n");
    auto r =
        convert({"--model", "LM63", "--fps", "5", "--quality", "60", "--subtitles", src.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    TVideoFile file = TVideoDecode::Open((dir / "clip.ovi").string());
    EXPECT_EQ(file.Head.FrameCount, 10u); // 2 s at 5 device frames per second
    EXPECT_EQ(file.Head.FrameRate, 5);
    EXPECT_TRUE(file.HasSubtitleTable);
    ASSERT_EQ(file.Subtitles.size(), 1u);
    EXPECT_EQ(file.Subtitles[0].FirstLine, "hello");
    EXPECT_EQ(file.Subtitles[0].SecondLine, "第二行");
    EXPECT_EQ(file.Subtitles[0].Start, 500u);
    EXPECT_EQ(file.Subtitles[0].End, 1500u);
}

TEST_F(ConvertCommandTest, SourceWithoutSoundConvertsSilentlyWithAWarning) {
    const fs::path src = dir / "silent.avi";
    ASSERT_TRUE(makeAvi(src, "5", 2, AviSound::None));
    auto r = convert({"--model", "LM52", src.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.err.find("no sound track"), std::string::npos) << r.err;
    TVideoFile file = TVideoDecode::Open((dir / "silent.omv").string());
    EXPECT_EQ(file.SoundLength, 0u);
    EXPECT_EQ(file.Head.FrameCount, 19u); // 10 source frames, all but the first twice
    EXPECT_EQ(file.Head.Duration, 2000u);
    EXPECT_FALSE(fs::exists(dir / "silent.mp3"));
}

TEST_F(ConvertCommandTest, BadFilesFailOneByOneAndTheBatchGoesOn) {
    const fs::path good = dir / "good.avi";
    ASSERT_TRUE(makeAvi(good, "25", 2, AviSound::Mp3));
    writeText(dir / "text.avi", "I am a text file named like a video\n");
    ASSERT_TRUE(makeAvi(dir / "full.avi", "25", 4, AviSound::Mp3));
    auto bytes = readFile(dir / "full.avi");
    bytes.resize(bytes.size() / 2);
    writeFile(dir / "cut.avi", bytes);
    fs::remove(dir / "full.avi");
    writeText(dir / "text.ovi", "older output stays");

    auto r = convert({"--model", "LM63", (dir / "text.avi").string(),
                      (dir / "missing.avi").string(), (dir / "cut.avi").string(), good.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("text.avi"), std::string::npos) << r.err;
    EXPECT_NE(r.err.find("missing.avi: the file does not exist"), std::string::npos) << r.err;
    // The truncated file still yields the frames before the cut.
    EXPECT_TRUE(fs::exists(dir / "cut.ovi")) << r.err;
    EXPECT_TRUE(fs::exists(dir / "good.ovi"));
    auto older = readFile(dir / "text.ovi");
    EXPECT_EQ(std::string(older.begin(), older.end()), "older output stays");
    EXPECT_NE(r.out.find("2 of 4 files converted"), std::string::npos) << r.out;
    auto left = filesIn(dir.path());
    EXPECT_EQ(left, (std::vector<std::string>{"cut.avi", "cut.ovi", "good.avi", "good.ovi",
                                              "text.avi", "text.ovi"}))
        << "no working folder, no stray sound file";
}

TEST_F(ConvertCommandTest, BadUsageExitsWithTwo) {
    const fs::path src = dir / "clip.avi";
    writeText(src, "x");
    const std::vector<std::vector<std::string>> cases = {
        {"--model", "LM99", src.string()},
        {"--model", "LM17", src.string()},
        {"--quality", "abc", src.string()},
        {"--quality", "0", src.string()},
        {"--fps", "1000", src.string()},
        {"--frobnicate", src.string()},
        {},
    };
    for (const auto& c : cases) {
        auto r = convert(c);
        EXPECT_EQ(r.exitCode, 2) << (c.empty() ? "" : c[0] + " " + c[1]) << "\n" << r.err;
        EXPECT_NE(r.err.find("omm: "), std::string::npos);
    }
    EXPECT_EQ(filesIn(dir.path()), (std::vector<std::string>{"clip.avi"}));
}

} // namespace

OMM_TEST_MAIN_WITH_APP
