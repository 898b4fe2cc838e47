// Frame extraction: frame selection, times, base frames, chunks, the job and batch files,
// and the run through vdub.

#include "acquire/AviFixtures.h"
#include "acquire/uBatchDistillVideoFileFrame.h"
#include "container/MediaResManagerUnit.h"
#include "core/uProgressSink.h"
#include "settings/LMSetVideoInfoUnit.h"
#include "settings/VideoInfoUnit.h"

#include <QEventLoop>
#include <QTimer>
#include <fstream>
#include <sstream>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

std::vector<std::string> linesOf(const std::string& file) {
    std::ifstream in(file, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    EXPECT_FALSE(text.empty());
    EXPECT_EQ(text.back(), '\n') << "every line ends with a line break";
    std::vector<std::string> lines;
    std::string line;
    std::istringstream split(text);
    while (std::getline(split, line))
        lines.push_back(line);
    return lines;
}

// Records what the extraction reports.
struct RecordingSink : TProgressSink {
    std::vector<std::string> calls;
    void BeginProgress(const std::string& t) override { calls.push_back("begin " + t); }
    void SetProgress(int p, const std::string&) override {
        calls.push_back("set " + std::to_string(p));
    }
    void EndProgress() override { calls.push_back("end"); }
    void ShowStatus(const std::string&, bool) override {}
};

// Frame files that exist for the first Count source frames of one chunk folder.
void touchFrames(const fs::path& folder, int count) {
    fs::create_directories(folder);
    for (int i = 0; i < count; ++i) {
        char name[16];
        std::snprintf(name, sizeof name, "%06d.bmp", i);
        writeText(folder / name, "x");
    }
}

class FrameSelectionTest : public ::testing::Test {
protected:
    void prepare(int microSecPerFrame, int totalFrames, int filesPresent) {
        info.MicroSecPerFrame = microSecPerFrame;
        info.TotalFrames = totalFrames;
        info.DurationMs = int(double(totalFrames) * microSecPerFrame / 1000);
        touchFrames(dir / "Image", filesPresent);
        extractor.ChunkFolders = {(dir / "Image").string() + "/"};
        extractor.Target = {&profile, &info, &frames, nullptr};
    }
    std::vector<int> sourceFrames() const {
        std::vector<int> s;
        for (size_t i = 0; i < frames.Count(); ++i) {
            std::string name = fs::path(frames.Items(i)->FileName).stem().string();
            s.push_back(std::stoi(name));
        }
        return s;
    }
    std::vector<int> times() const {
        std::vector<int> t;
        for (size_t i = 0; i < frames.Count(); ++i)
            t.push_back(frames.Items(i)->Time);
        return t;
    }

    TempDir dir;
    TLMSetVideoInfo_LM52 profile; // key-frame interval: PlaySpeed * 2
    TVideoInfo info;
    TMediaResManager frames;
    TBatchDistillVideoFileFrame extractor{dir.path().string(), (dir / "Distill").string()};
};

TEST_F(FrameSelectionTest, TwentyFiveFramesPerSecondTakeEveryTwoAndAHalfth) {
    prepare(40000, 250, 250);
    extractor.BuildFrameList();
    auto s = sourceFrames();
    ASSERT_EQ(s.size(), 100u);
    EXPECT_EQ(std::vector<int>(s.begin(), s.begin() + 6), (std::vector<int>{0, 3, 5, 8, 10, 13}));
    auto t = times();
    EXPECT_EQ(std::vector<int>(t.begin(), t.begin() + 6),
              (std::vector<int>{0, 120, 200, 320, 400, 520}));
    // One base frame per 20 device frames, frame 0 first.
    EXPECT_EQ(profile.BaseFrames, (std::vector<uint32_t>{0, 2000, 4000, 6000, 8000}));
    EXPECT_EQ(frames.Duration, 10000); // the source frame after the last one listed
}

TEST_F(FrameSelectionTest, FiveFramesPerSecondListEveryFrameTwice) {
    prepare(200000, 10, 10);
    extractor.BuildFrameList();
    auto s = sourceFrames();
    ASSERT_GE(s.size(), 7u);
    EXPECT_EQ(std::vector<int>(s.begin(), s.begin() + 7), (std::vector<int>{0, 1, 1, 2, 2, 3, 3}));
    EXPECT_EQ(times()[1], 200);
    EXPECT_EQ(times()[2], 200);
    // The list covers the whole source: frame 0 once, frames 1 to 9 twice.
    EXPECT_EQ(s.size(), 19u);
    EXPECT_EQ(s.back(), 9);
    EXPECT_EQ(frames.Duration, 2000);
}

TEST_F(FrameSelectionTest, NtscRateUsesTheExactRateSoPicturesKeepPace) {
    prepare(33367, 300, 300); // 29.97 frames per second, ten seconds
    extractor.BuildFrameList();
    auto s = sourceFrames();
    ASSERT_EQ(s.size(), 100u);
    EXPECT_EQ(s[1], 3);
    EXPECT_EQ(s[10], 30);
    EXPECT_EQ(s[99], 297);
    // Device frame c stays within one source frame of c * 100 ms.
    auto t = times();
    for (size_t c = 0; c < t.size(); ++c)
        EXPECT_NEAR(t[c], int(c) * 100, 34) << c;
}

TEST_F(FrameSelectionTest, ListStopsAtTheFirstMissingFrameFile) {
    prepare(40000, 250, 21); // frames 0..20 exist
    extractor.BuildFrameList();
    EXPECT_EQ(sourceFrames().back(), 20);
    EXPECT_EQ(frames.Count(), 9u);   // 0 3 5 8 10 13 15 18 20
    EXPECT_EQ(frames.Duration, 920); // source frame 23 was looked for last
}

TEST_F(FrameSelectionTest, ZeroPlaySpeedBecomesTenAndBaseFramesAreRebuilt) {
    prepare(40000, 250, 250);
    profile.PlaySpeed = 0;
    profile.BaseFrames.assign(50, 7);
    extractor.BuildFrameList();
    EXPECT_EQ(profile.PlaySpeed, 10);
    EXPECT_EQ(profile.BaseFrames.size(), 5u);
}

TEST(FrameExtractionChunks, SixtyThousandFramesMakeThreeJobs) {
    auto ranges = TBatchDistillVideoFileFrame::ChunkRanges(60000, 2400000, 40000);
    EXPECT_EQ(ranges,
              (std::vector<std::pair<int, int>>{{0, 1400000}, {1000000, 400000}, {2000000, 0}}));
    EXPECT_EQ(TBatchDistillVideoFileFrame::ChunkRanges(25000, 1000000, 40000),
              (std::vector<std::pair<int, int>>{{0, 0}}));
    EXPECT_EQ(TBatchDistillVideoFileFrame::ChunkRanges(50000, 2000000, 40000),
              (std::vector<std::pair<int, int>>{{0, 1000000}, {1000000, 0}}));
}

TEST(FrameExtractionChunks, FrameFilesOfChunkedSources) {
    TempDir dir;
    TBatchDistillVideoFileFrame extractor(dir.path().string(), (dir / "D").string());
    extractor.ChunkFolders = {"/v/a/Image/0/", "/v/a/Image/1/", "/v/a/Image/2/"};
    EXPECT_EQ(extractor.FrameFileName(0), "/v/a/Image/0/000000.bmp");
    EXPECT_EQ(extractor.FrameFileName(24999), "/v/a/Image/0/024999.bmp");
    EXPECT_EQ(extractor.FrameFileName(25000), "/v/a/Image/1/000000.bmp");
    EXPECT_EQ(extractor.FrameFileName(59999), "/v/a/Image/2/009999.bmp");
    EXPECT_EQ(extractor.FrameFileName(75000), "");
    EXPECT_EQ(extractor.FrameFileName(-1), "");
}

TEST(FrameExtractionFiles, JobAndBatchLines) {
    TempDir dir;
    const std::string program = (dir / "it's here").string();
    TBatchDistillVideoFileFrame extractor(program, (dir / "DistillSound").string());
    fs::create_directories(dir / "DistillSound");
    extractor.SourceFile = "/v/我的 a.b.avi";
    extractor.ChunkFolder = "/v/我的 a/Image/1/";
    extractor.RangeStart = 1000000;
    extractor.RangeEndTrim = 400000;
    extractor.WriteJob();
    extractor.WriteBatch();
    EXPECT_EQ(extractor.JobFile, (dir / "DistillSound" / "VirtualDub.jobs").string());
    EXPECT_EQ(linesOf(extractor.JobFile),
              (std::vector<std::string>{
                  "VirtualDub.Open(U\"/v/我的 a.b.avi\");",
                  "VirtualDub.audio.SetSource(1);",
                  "VirtualDub.audio.SetMode(0);",
                  "VirtualDub.video.SetRange(1000000, 400000);",
                  "VirtualDub.audio.SetVolume(512);",
                  "VirtualDub.SaveImageSequence(U\"/v/我的 a/Image/1/\", \".bmp\", 6, 0);",
                  "VirtualDub.Close();",
              }));
    EXPECT_EQ(extractor.BatchFile, (dir / "DistillSound" / "Batch.sh").string());
    EXPECT_EQ(linesOf(extractor.BatchFile),
              (std::vector<std::string>{
                  "#!/bin/sh",
                  "cd '" + (dir / "DistillSound").string() + "' || exit 1",
                  "exec '" + dir.path().string() + "/it'\\''s here/vdub' /s VirtualDub.jobs",
              }));
    // The quoting holds: sh sees the program path as one word.
    auto r = run("/bin/sh", {"-n", extractor.BatchFile});
    EXPECT_EQ(r.exitCode, 0) << r.err;
}

TEST(FrameExtractionFiles, MissingDistillFolderMakesWritingTheJobFail) {
    TempDir dir;
    TBatchDistillVideoFileFrame extractor(dir.path().string(), (dir / "gone").string());
    EXPECT_THROW(extractor.WriteJob(), std::runtime_error);
}

TEST(FrameExtractionFiles, EnsureFolderCreatesEveryLevel) {
    TempDir dir;
    TBatchDistillVideoFileFrame extractor(dir.path().string(), (dir / "D").string());
    std::string made = extractor.EnsureFolder("  " + (dir / "a" / "b" / "c").string() + " ");
    EXPECT_EQ(made, (dir / "a" / "b" / "c").string() + "/");
    EXPECT_TRUE(fs::is_directory(dir / "a" / "b" / "c"));
    EXPECT_EQ(extractor.EnsureFolder(""), extractor.ProgramFolder);
}

// Runs a whole extraction through vdub and the event loop.
class ExtractionRunTest : public ::testing::Test {
protected:
    bool extract(const fs::path& source, const std::string& programFolder) {
        EXPECT_TRUE(info.LoadFromFile(source.string())) << info.LastError;
        TBatchDistillVideoFileFrame extractor(programFolder, (dir / "DistillSound").string());
        fs::create_directories(dir / "DistillSound");
        QEventLoop loop;
        extractor.OnFinished = [&] {
            finished = true;
            loop.quit();
        };
        extractor.OnFailed = [&](const std::string& why) {
            failure = why;
            loop.quit();
        };
        if (!extractor.Begin(source.string(), (dir / "work" / "Image").string(),
                             {&profile, &info, &frames, &sink}))
            return false;
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
        return true;
    }

    TempDir dir;
    TLMSetVideoInfo_LM41 profile; // key-frame interval 30
    TVideoInfo info;
    TMediaResManager frames;
    RecordingSink sink;
    bool finished = false;
    std::string failure;
};

TEST_F(ExtractionRunTest, ListsTheDeviceFramesOfARealAvi) {
    const fs::path src = dir / "课 1.a.avi";
    ASSERT_TRUE(makeAvi(src, "25", 4, AviSound::Mp3));
    ASSERT_TRUE(extract(src, builtProgram("vdub").parent_path().string()));
    ASSERT_TRUE(finished) << failure;
    size_t expected = 0; // device frames whose nearest source frame exists
    while (int(2.5 * double(expected) + 0.5) < info.TotalFrames)
        ++expected;
    EXPECT_GE(info.TotalFrames, 100);
    EXPECT_EQ(frames.Count(), expected);
    EXPECT_EQ(frames.Items(1)->FileName, (dir / "work" / "Image" / "000003.bmp").string());
    EXPECT_EQ(frames.Items(1)->Time, 120);
    EXPECT_TRUE(fs::exists(frames.Items(39)->FileName));
    EXPECT_EQ(profile.BaseFrames, (std::vector<uint32_t>{0, 3000}));
    ASSERT_FALSE(sink.calls.empty());
    EXPECT_EQ(sink.calls.front(), "begin 正在提取图片，请稍候...");
    EXPECT_EQ(sink.calls.back(), "end");
}

TEST_F(ExtractionRunTest, MissingSourceDoesNotStart) {
    TBatchDistillVideoFileFrame extractor(dir.path().string(), (dir / "D").string());
    EXPECT_FALSE(extractor.Begin((dir / "none.avi").string(), (dir / "img").string(),
                                 {&profile, &info, &frames, nullptr}));
    EXPECT_FALSE(fs::exists(dir / "img"));
}

TEST_F(ExtractionRunTest, MissingVdubFailsWithAReasonInsteadOfAnEmptyList) {
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::None));
    ASSERT_TRUE(extract(src, (dir / "no-programs-here").string()));
    EXPECT_FALSE(finished);
    EXPECT_NE(failure.find("no frame could be extracted"), std::string::npos) << failure;
    EXPECT_NE(failure.find(src.string()), std::string::npos) << failure;
    EXPECT_EQ(frames.Count(), 0u);
    EXPECT_EQ(sink.calls.back(), "end");
}

TEST_F(ExtractionRunTest, UndecodableSourceFailsWithVdubsReason) {
    const fs::path src = dir / "fake.avi";
    // A RIFF AVI head with plausible values, and nothing decodable behind it.
    std::vector<unsigned char> bytes(4096, 0);
    std::memcpy(bytes.data(), "RIFF", 4);
    std::memcpy(bytes.data() + 8, "AVI LIST", 8);
    bytes[32] = 0x40, bytes[33] = 0x9c; // 40000 us per frame
    bytes[48] = 100;                    // frames
    bytes[64] = 160, bytes[68] = 120;
    writeFile(src, bytes);
    ASSERT_TRUE(extract(src, builtProgram("vdub").parent_path().string()));
    EXPECT_FALSE(finished);
    EXPECT_NE(failure.find("no frame could be extracted"), std::string::npos) << failure;
    EXPECT_NE(failure.find("fake.avi:"), std::string::npos) << "vdub's own reason is kept";
}

} // namespace
