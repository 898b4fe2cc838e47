#include "ContainerFixtures.h"
#include "container/uVideoEncode.h"
#include "support/TestSupport.h"

#include <QImage>
#include <gtest/gtest.h>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

fs::path MakeVideo(const TempDir& Dir, const std::string& Model, int Count) {
    auto profile = MakeProfile(Model);
    TMediaResManager frames;
    FillFrames(frames, *profile, Count);
    const fs::path out = Dir / (Model == "LM63" ? "clip.ovi" : "clip.omv");
    profile->VideoFileName = out.string();
    writeText(Dir / "clip.srt", "0\n0\n0\n\n1\n00:00:01,000 --> 00:00:02,500\n字幕\n\n\n");
    TNullProgressSink sink;
    TVideoEncode encode(*profile, Model, frames, sink);
    encode.SetSource((Dir / "clip.avi").string());
    encode.Execute();
    return out;
}

// The command-line tests need the omm program of this build.
class Omm : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(fs::exists(builtProgram("omm")))
            << builtProgram("omm") << " is missing: build the omm target first";
    }
};

} // namespace

TEST_F(Omm, InspectPrintsTheHeadTablesAndRecords) {
    TempDir dir;
    const fs::path video = MakeVideo(dir, "LM63", 25);
    const RunResult r = run(builtProgram("omm").string(), {"inspect", video.string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    for (const char* text :
         {"FormatCode: 0x81820781 (LM63)", "FrameCount: 25", "Height: 240", "Width: 320",
          "FrameRate: 10", "BaseFrameInterval: 20", "Base frames: 2", "frame 20 (jpeg)",
          "Subtitles: 1", "00:00:01,000 --> 00:00:02,500", "字幕", "Sound: offset",
          "Summary: 25 frames", "jpeg: 25 frames"})
        EXPECT_NE(r.out.find(text), std::string::npos) << "missing: " << text << "\n" << r.out;
}

TEST_F(Omm, InspectNamesTheOffsetOfADamagedFile) {
    TempDir dir;
    const fs::path video = MakeVideo(dir, "LM41", 10);
    auto bytes = ReadBytes(video);
    bytes[12] = 99;
    writeFile(video, std::vector<unsigned char>(bytes.begin(), bytes.end()));
    const RunResult r = run(builtProgram("omm").string(), {"inspect", video.string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find(video.string() + ": offset 12"), std::string::npos) << r.err;
}

TEST_F(Omm, InspectWantsOneFile) {
    const RunResult r = run(builtProgram("omm").string(), {"inspect"});
    EXPECT_EQ(r.exitCode, 2);
}

TEST_F(Omm, DecodeWritesEveryFrameAsASortablePng) {
    TempDir dir;
    const fs::path video = MakeVideo(dir, "LM52", 31);
    const RunResult r =
        run(builtProgram("omm").string(), {"decode", video.string(), "-o", (dir / "png").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    std::vector<std::string> names;
    for (const auto& e : fs::directory_iterator(dir / "png"))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    ASSERT_EQ(names.size(), 31u);
    EXPECT_EQ(names.front(), "000000.png");
    EXPECT_EQ(names.back(), "000030.png");
    QImage image(QString::fromStdString((dir / "png" / "000030.png").string()));
    EXPECT_EQ(image.width(), 144);
    EXPECT_EQ(image.height(), 112);
}

TEST_F(Omm, DecodeUsageAndFailures) {
    EXPECT_EQ(run(builtProgram("omm").string(), {"decode", "x.omv"}).exitCode, 2);
    TempDir dir;
    writeText(dir / "x.omv", "not a video");
    const RunResult r = run(builtProgram("omm").string(),
                            {"decode", (dir / "x.omv").string(), "-o", (dir / "o").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("x.omv"), std::string::npos);
}
