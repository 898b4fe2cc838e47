// The OAVI controller for listed sources: start, extraction, encode, cleanup; decoded back.

#include "acquire/AviFixtures.h"
#include "acquire/OAVITranslateControlUnit.h"
#include "acquire/VideoControlUnit.h"
#include "container/MediaResManagerUnit.h"
#include "container/uVideoDecode.h"
#include "core/uProgressSink.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SystemParameterUnit.h"

#include <QEventLoop>
#include <QTimer>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

TEST(VideoControl, CaptureRateAndVideoFiles) {
    TempDir dir;
    TVideoControl video(dir.path().string());
    struct {
        const char* model;
        int grade, rate;
    } rates[] = {{"LM52", 80, 9}, {"LM52", 81, 10}, {"LM41", 80, 10}, {"LM63", 80, 10}};
    for (const auto& r : rates) {
        video.SetupRate(r.model, r.grade);
        EXPECT_EQ(video.CaptureRate, r.rate) << r.model << " " << r.grade;
    }
    struct {
        const char* name;
        bool video;
    } files[] = {{"/a/b.avi", true}, {"/a/b.SwF", false}, {"/a/b", false}, {"/a/b.mpg", true}};
    for (const auto& f : files) {
        video.FileName = f.name;
        EXPECT_EQ(video.IsVideoFile(), f.video) << f.name;
    }
}

class OAVIControlTest : public ::testing::Test {
protected:
    void SetUp() override {
        // A private program folder, so the job files of parallel runs never meet.
        fs::create_directories(program.path());
        fs::create_symlink(builtProgram("vdub"), program / "vdub");
        system.SetModelSetProvider([this] { return set.get(); });
        useModel("LM52");
    }
    void useModel(const std::string& name) {
        set = CreateModelSet(name);
        set->VideoInfo->SourceInfo = system.VideoInfo.get();
    }
    void listSources(const std::vector<fs::path>& sources) {
        for (const auto& s : sources)
            set->VideoInfo->FileList.push_back(TMediaFileItem::ForFile(s.string()));
        set->VideoInfo->FileIndex = 0;
    }
    // Start, wait for the end of the extraction, Stop. Returns false when it failed.
    bool convert() {
        TOAVITranslateControl control(video, system, frames, sink, [this] { return set.get(); });
        QEventLoop loop;
        bool finished = false;
        control.OnMediaFinished = [&] {
            finished = true;
            loop.quit();
        };
        control.OnFailed = [&](const std::string& why) {
            failure = why;
            loop.quit();
        };
        if (!control.Start()) {
            failure = control.LastError;
            return false;
        }
        EXPECT_FALSE(control.Pause());
        EXPECT_TRUE(control.Continue());
        QTimer::singleShot(120000, &loop, &QEventLoop::quit);
        loop.exec();
        if (!finished)
            return false;
        control.Stop();
        return true;
    }

    TempDir program;
    TempDir videos;
    TSystemParameter system{(program / "omm.ini").string()};
    std::unique_ptr<TLMSetConst> set;
    TMediaResManager frames;
    TNullProgressSink sink;
    TVideoControl video{program.path().string()};
    std::string failure;
};

TEST_F(OAVIControlTest, ListedAviBecomesADeviceVideoWithItsSound) {
    const fs::path src = videos / "lesson one.avi";
    ASSERT_TRUE(makeAvi(src, "25", 3, AviSound::None));
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=sample_rate=22050", "-t", "3", "-c:a",
                        "libmp3lame", "-b:a", "48k", (videos / "lesson one.mp3").string()}));
    const auto mp3 = readFile(videos / "lesson one.mp3");
    listSources({src});
    ASSERT_TRUE(convert()) << failure;

    const fs::path out = videos / "lesson one.omv";
    TVideoFile file = TVideoDecode::Open(out.string());
    EXPECT_EQ(file.ModelName, "LM52");
    EXPECT_EQ(file.Head.FrameCount, 30u);
    EXPECT_EQ(file.Head.Width, 144);
    EXPECT_EQ(file.Head.Height, 112);
    ASSERT_EQ(file.SoundLength, mp3.size());
    EXPECT_TRUE(std::equal(mp3.begin(), mp3.end(), file.Bytes.begin() + file.SoundOffset));
    size_t decoded = 0;
    TVideoDecode::DecodeFrames(file, [&](size_t, const TBitmap&) { ++decoded; });
    EXPECT_EQ(decoded, 30u);

    EXPECT_FALSE(fs::exists(videos / "lesson one")) << "the working folder is removed";
    EXPECT_FALSE(fs::exists(videos / "lesson one.mp3")) << "the sound is consumed";
    EXPECT_TRUE(fs::exists(src));
    EXPECT_EQ(frames.Count(), 0u);
    EXPECT_EQ(set->VideoInfo->VideoFileName, out.string());
}

TEST_F(OAVIControlTest, NtscSourceForLM63KeepsItsLength) {
    useModel("LM63");
    const fs::path src = videos / "ntsc.v2.avi";
    ASSERT_TRUE(makeAvi(src, "30000/1001", 4, AviSound::None));
    listSources({src});
    ASSERT_TRUE(convert()) << failure;
    TVideoFile file = TVideoDecode::Open((videos / "ntsc.v2.ovi").string());
    EXPECT_EQ(file.ModelName, "LM63");
    EXPECT_NEAR(int(file.Head.FrameCount), 40, 1);
    EXPECT_NEAR(int(file.Head.Duration), 4000, 100);
    EXPECT_EQ(file.SoundLength, 0u);
    EXPECT_FALSE(fs::exists(videos / "ntsc"));
}

TEST_F(OAVIControlTest, AnExistingFolderOfTheWorkingNameKeepsWhatWasInIt) {
    const fs::path src = videos / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::None));
    fs::create_directories(videos / "clip");
    writeText(videos / "clip" / "notes.txt", "mine");
    listSources({src});
    ASSERT_TRUE(convert()) << failure;
    EXPECT_TRUE(fs::exists(videos / "clip.omv"));
    EXPECT_EQ(filesIn(videos / "clip"), std::vector<std::string>{"notes.txt"});
}

TEST_F(OAVIControlTest, FailedExtractionWritesNothingAndKeepsAnOlderOutput) {
    fs::remove(program / "vdub"); // extraction yields no frame
    const fs::path src = videos / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::None));
    writeText(videos / "clip.omv", "older output");
    listSources({src});
    EXPECT_FALSE(convert());
    EXPECT_NE(failure.find("no frame could be extracted"), std::string::npos) << failure;
    EXPECT_NE(failure.find("clip.avi"), std::string::npos) << failure;
    auto older = readFile(videos / "clip.omv");
    EXPECT_EQ(std::string(older.begin(), older.end()), "older output");
    EXPECT_EQ(filesIn(videos.path()), (std::vector<std::string>{"clip.avi", "clip.omv"}));
}

TEST_F(OAVIControlTest, UnusableSourcesDoNotStart) {
    writeText(videos / "text.avi", "not a video at all, just some text");
    struct {
        fs::path source;
        const char* says;
    } cases[] = {
        {videos / "text.avi", "text.avi"},
        {videos / "missing.avi", "does not exist"},
        {videos / ".avi", "working folder"},
    };
    writeText(videos / ".avi", std::string(100, 'x'));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.source.string());
        set->VideoInfo->FileList.clear();
        listSources({c.source});
        EXPECT_FALSE(convert());
        EXPECT_NE(failure.find(c.says), std::string::npos) << failure;
    }
    EXPECT_EQ(filesIn(videos.path()), (std::vector<std::string>{".avi", "text.avi"}));
}

TEST_F(OAVIControlTest, ModelsWithoutDeviceVideoAndUnlistedSourcesDoNotStart) {
    const fs::path src = videos / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::None));
    useModel("LM17");
    listSources({src});
    EXPECT_FALSE(convert());
    useModel("LM41");
    listSources({src});
    set->VideoInfo->FileIndex = 1;
    EXPECT_FALSE(convert());
    EXPECT_EQ(filesIn(videos.path()), std::vector<std::string>{"clip.avi"});
}

} // namespace

OMM_TEST_MAIN_WITH_APP
