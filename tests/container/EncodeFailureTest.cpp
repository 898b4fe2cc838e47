#include "ContainerFixtures.h"
#include "container/uVideoDecode.h"
#include "container/uVideoEncode.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

// A folder with an older output that must survive a failed run, the MP3 beside the
// source, and a frame list over the fixture frames.
class FailedRun : public ::testing::Test {
protected:
    void Prepare(const std::string& Model, int Count) {
        modelName = Model;
        profile = MakeProfile(Model);
        FillFrames(frames, *profile, Count);
        output = dir / "video.omv";
        writeText(output, "an older video that must stay");
        profile->VideoFileName = output.string();
        fs::copy_file(Mp3Fixture(), dir / "video.mp3");
        fs::create_directories(dir / "work");
    }

    // Runs the encode and returns its error message ("" when it succeeded).
    std::string RunEncode(TEncodePath Path = TEncodePath::Auto, uint64_t Limit = 0) {
        TRecordingSink sink;
        TVideoEncode encode(*profile, model(), frames, sink);
        encode.SetSource((dir / "video.avi").string());
        encode.WorkFolder = (dir / "work").string();
        encode.Path = Path;
        if (Limit)
            encode.SizeLimit = Limit;
        std::string message;
        try {
            encode.Execute();
        } catch (const TEncodeError& e) {
            message = e.what();
        }
        const auto calls = sink.Calls();
        ended = !calls.empty() && calls.back().Kind == "end";
        return message;
    }

    const std::string& model() const { return modelName; }

    // Nothing of the failed run is left, and what was there before is untouched.
    void ExpectNothingLeft() {
        const std::string older = "an older video that must stay";
        EXPECT_EQ(ReadBytes(output), std::vector<uint8_t>(older.begin(), older.end()));
        EXPECT_TRUE(fs::exists(dir / "video.mp3")) << "the sound was consumed by a failed run";
        EXPECT_TRUE(fs::is_empty(dir / "work"));
        for (const auto& entry : fs::directory_iterator(dir.path())) {
            const std::string name = entry.path().filename().string();
            EXPECT_TRUE(name == "video.omv" || name == "video.mp3" || name == "work")
                << "left behind: " << name;
        }
        EXPECT_TRUE(ended) << "the progress display was not ended";
    }

    TempDir dir;
    std::string modelName;
    std::unique_ptr<TLMSetVideoInfo> profile;
    TMediaResManager frames;
    fs::path output;
    bool ended = false;
};

} // namespace

TEST_F(FailedRun, AnUnloadableFrameInAWorkerFailsTheRunNamingTheFrame) {
    Prepare("LM41", 271);
    const fs::path bad = dir / "broken.bmp";
    writeText(bad, "this is not a bitmap");
    frames.Files.Items(150)->FileName = bad.string();
    const std::string message = RunEncode(TEncodePath::Auto);
    ASSERT_FALSE(message.empty());
    EXPECT_NE(message.find(bad.string()), std::string::npos) << message;
    EXPECT_NE(message.find(output.string()), std::string::npos) << message;
    fs::remove(bad);
    ExpectNothingLeft();
}

TEST_F(FailedRun, AMissingFrameOnTheSequentialPathFailsTheRun) {
    Prepare("LM52", 50);
    frames.Files.Items(20)->FileName = (dir / "gone.bmp").string();
    const std::string message = RunEncode(TEncodePath::Sequential);
    EXPECT_NE(message.find((dir / "gone.bmp").string()), std::string::npos) << message;
    ExpectNothingLeft();
}

TEST_F(FailedRun, AMissingFrameInTheLastSegmentFailsTheParallelRun) {
    Prepare("LM63", 301);
    frames.Files.Items(300)->FileName = (dir / "gone.bmp").string();
    const std::string message = RunEncode(TEncodePath::Auto);
    EXPECT_NE(message.find((dir / "gone.bmp").string()), std::string::npos) << message;
    ExpectNothingLeft();
}

TEST_F(FailedRun, FrameRateZeroIsRefused) {
    Prepare("LM52", 10);
    profile->PlaySpeed = 0;
    const std::string message = RunEncode();
    EXPECT_NE(message.find("frame rate 0"), std::string::npos) << message;
    EXPECT_NE(message.find("base-frame interval"), std::string::npos) << message;
    EXPECT_EQ(ReadBytes(output).size(), std::string("an older video that must stay").size());
    EXPECT_TRUE(fs::exists(dir / "video.mp3"));
}

// An error while assembling (here the size check of the 32-bit offsets, with a limit a
// small file reaches) reaches the caller on both paths.
TEST_F(FailedRun, AnAssemblingErrorReachesTheCallerOnTheParallelPath) {
    Prepare("LM41", 271);
    const std::string message = RunEncode(TEncodePath::Auto, 60000);
    EXPECT_NE(message.find("4 GiB"), std::string::npos) << message;
    ExpectNothingLeft();
}

TEST_F(FailedRun, AnAssemblingErrorReachesTheCallerOnTheSequentialPath) {
    Prepare("LM41", 100);
    const std::string message = RunEncode(TEncodePath::Sequential, 60000);
    EXPECT_NE(message.find("4 GiB"), std::string::npos) << message;
    ExpectNothingLeft();
}

TEST_F(FailedRun, ASoundTooLargeForTheOffsetsIsRefusedBeforeCopying) {
    Prepare("LM52", 5);
    const std::string message = RunEncode(TEncodePath::Auto, 1000);
    EXPECT_NE(message.find("4 GiB"), std::string::npos) << message;
    ExpectNothingLeft();
}

TEST(EncodeInputs, ModelsWithoutDeviceVideoAreRefused) {
    TempDir dir;
    TLMSetVideoInfo base;
    base.VideoFileName = (dir / "a.omv").string();
    TMediaResManager frames;
    TNullProgressSink sink;
    TVideoEncode encode(base, "LM75", frames, sink);
    EXPECT_THROW(encode.Execute(), TEncodeError);
    EXPECT_FALSE(fs::exists(dir / "a.omv"));
}

TEST(EncodeInputs, AMissingTargetFolderIsNamed) {
    auto profile = MakeProfile("LM41");
    profile->VideoFileName = "/nonexistent-folder/a.omv";
    TMediaResManager frames;
    TNullProgressSink sink;
    TVideoEncode encode(*profile, "LM41", frames, sink);
    try {
        encode.Execute();
        FAIL() << "no error";
    } catch (const TEncodeError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent-folder"), std::string::npos);
    }
}

TEST(EncodeInputs, WithoutAWorkFolderAPrivateOneIsUsedAndRemoved) {
    TempDir dir;
    auto profile = MakeProfile("LM41");
    TMediaResManager frames;
    FillFrames(frames, *profile, 271);
    profile->VideoFileName = (dir / "a.omv").string();
    TNullProgressSink sink;
    TVideoEncode encode(*profile, "LM41", frames, sink);
    encode.Execute();
    EXPECT_TRUE(encode.LastRunParallel);
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir.path()))
        names.push_back(entry.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string>{"a.omv"});
}
