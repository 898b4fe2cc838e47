// vdub on its own: job scripts in, numbered 24-bit bitmaps out.

#include "acquire/AviFixtures.h"

#include <fstream>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

std::string jobText(const fs::path& source, const fs::path& folder, int start = 0, int trim = 0) {
    std::string f = folder.string();
    if (f.back() != '/')
        f += '/';
    return "VirtualDub.Open(U\"" + source.string() +
           "\");\nVirtualDub.audio.SetSource(1);\nVirtualDub.audio.SetMode(0);\n"
           "VirtualDub.video.SetRange(" +
           std::to_string(start) + ", " + std::to_string(trim) +
           ");\nVirtualDub.audio.SetVolume(512);\nVirtualDub.SaveImageSequence(U\"" + f +
           "\", \".bmp\", 6, 0);\nVirtualDub.Close();\n";
}

RunResult runJob(const TempDir& dir, const std::string& text) {
    writeText(dir / "VirtualDub.jobs", text);
    return run(builtProgram("vdub").string(), {"/s", (dir / "VirtualDub.jobs").string()});
}

// Pixel rows of a bitmap, after checking that its header is a 24-bit bottom-up bitmap.
std::vector<unsigned char> bmpPixels(const fs::path& file, int width, int height) {
    auto b = readFile(file);
    EXPECT_GE(b.size(), 54u) << file;
    if (b.size() < 54)
        return {};
    EXPECT_EQ(b[0], 'B');
    EXPECT_EQ(b[1], 'M');
    EXPECT_EQ(le32(b, 2), b.size());
    EXPECT_EQ(le32(b, 10), 54u);
    EXPECT_EQ(le32(b, 14), 40u);
    EXPECT_EQ(int(le32(b, 18)), width);
    EXPECT_EQ(int(le32(b, 22)), height);
    EXPECT_EQ(le16(b, 28), 24);
    EXPECT_EQ(le32(b, 30), 0u);
    return {b.begin() + 54, b.end()};
}

class VdubTest : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(VdubTest, WritesEveryFrameAsNumberedBitmapsMatchingTheDecodedPictures) {
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 2, AviSound::Mp3));
    auto r = runJob(dir, jobText(src, dir / "img"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto names = filesIn(dir / "img");
    const size_t frameCount = std::stoul(probe(src, "v", "nb_frames"));
    ASSERT_GE(frameCount, 50u);
    ASSERT_EQ(names.size(), frameCount);
    EXPECT_EQ(names.front(), "000000.bmp");
    char last[32];
    std::snprintf(last, sizeof last, "%06zu.bmp", frameCount - 1);
    EXPECT_EQ(names.back(), last);

    // The reference pictures come from ffmpeg's own decoder and bitmap writer.
    fs::create_directory(dir / "ref");
    ASSERT_TRUE(ffmpeg({"-i", src.string(), (dir / "ref" / "%06d.bmp").string()}));
    EXPECT_EQ(filesIn(dir / "ref").size(), frameCount);
    for (int n : {0, 17, 49}) {
        char name[32];
        std::snprintf(name, sizeof name, "%06d.bmp", n);
        char ref[32];
        std::snprintf(ref, sizeof ref, "%06d.bmp", n + 1);
        EXPECT_EQ(bmpPixels(dir / "img" / name, 160, 120), bmpPixels(dir / "ref" / ref, 160, 120))
            << "frame " << n;
    }
}

TEST_F(VdubTest, RangeSkipsTheStartAndTrimsTheEndInMilliseconds) {
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 4, AviSound::None));
    auto r = runJob(dir, jobText(src, dir / "img", 1000, 1000));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto names = filesIn(dir / "img");
    ASSERT_EQ(names.size(), 50u); // frames 25 to 74, renumbered from 0
    EXPECT_EQ(names.front(), "000000.bmp");
    fs::create_directory(dir / "ref");
    ASSERT_TRUE(ffmpeg({"-i", src.string(), (dir / "ref" / "%06d.bmp").string()}));
    EXPECT_EQ(bmpPixels(dir / "img" / "000000.bmp", 160, 120),
              bmpPixels(dir / "ref" / "000026.bmp", 160, 120));
    EXPECT_EQ(bmpPixels(dir / "img" / "000049.bmp", 160, 120),
              bmpPixels(dir / "ref" / "000075.bmp", 160, 120));
}

TEST_F(VdubTest, OddWidthRowsArePaddedToFourBytes) {
    const fs::path src = dir / "odd.avi";
    ASSERT_TRUE(makeAvi(src, "5", 1, AviSound::None, "162x90"));
    auto r = runJob(dir, jobText(src, dir / "img"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto pixels = bmpPixels(dir / "img" / "000000.bmp", 162, 90);
    EXPECT_EQ(pixels.size(), size_t((162 * 3 + 3) / 4 * 4 * 90));
}

TEST_F(VdubTest, NamesWithBlanksDotsAndChineseCharacters) {
    const fs::path folder = dir / "我的 视频.v1";
    fs::create_directory(folder);
    const fs::path src = folder / "第一课 a.b.avi";
    ASSERT_TRUE(makeAvi(src, "5", 1, AviSound::Pcm));
    auto r = runJob(dir, jobText(src, folder / "图片 输出"));
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_EQ(filesIn(folder / "图片 输出").size(), 5u);
}

struct BadSource {
    const char* name;
    std::string (*make)(const TempDir&); // returns the source path
    bool anyFrames;                      // a truncated file still yields its first frames
};

const BadSource badSources[] = {
    {"missing file", [](const TempDir& d) { return (d / "nothere.avi").string(); }, false},
    {"text named .avi",
     [](const TempDir& d) {
         writeText(d / "text.avi", "this is not a video\n");
         return (d / "text.avi").string();
     },
     false},
    {"truncated avi",
     [](const TempDir& d) {
         makeAvi(d / "full.avi", "25", 4, AviSound::Mp3);
         auto bytes = readFile(d / "full.avi");
         bytes.resize(bytes.size() / 2);
         writeFile(d / "cut.avi", bytes);
         return (d / "cut.avi").string();
     },
     true},
};

TEST_F(VdubTest, BadSourcesAreReportedNeverCrash) {
    for (const auto& bad : badSources) {
        SCOPED_TRACE(bad.name);
        TempDir d;
        std::string src = bad.make(d);
        auto r = runJob(d, jobText(src, d / "img"));
        auto frames = filesIn(d / "img");
        if (bad.anyFrames) {
            EXPECT_EQ(r.exitCode, 0) << r.err;
            EXPECT_GT(frames.size(), 10u);
            EXPECT_LT(frames.size(), 100u);
        } else {
            EXPECT_EQ(r.exitCode, 1);
            EXPECT_NE(r.err.find(src), std::string::npos) << r.err;
            EXPECT_TRUE(frames.empty());
        }
    }
}

TEST_F(VdubTest, BadScriptsAndCommandLines) {
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "5", 1, AviSound::None));
    struct Case {
        const char* what;
        std::string text;
    } cases[] = {
        {"no export", "VirtualDub.Open(U\"" + src.string() + "\");\nVirtualDub.Close();\n"},
        {"export before open",
         "VirtualDub.SaveImageSequence(U\"" + (dir / "i/").string() + "\", \".bmp\", 6, 0);\n"},
        {"negative range",
         "VirtualDub.Open(U\"" + src.string() + "\");\nVirtualDub.video.SetRange(-5, 0);\n"},
        {"garbage", "rm -rf /\n"},
        {"range beyond the end", jobText(src, dir / "j", 5000, 0)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        auto r = runJob(dir, c.text);
        EXPECT_EQ(r.exitCode, 1);
        EXPECT_FALSE(r.err.empty());
    }
    EXPECT_EQ(run(builtProgram("vdub").string(), {}).exitCode, 2);
    EXPECT_EQ(run(builtProgram("vdub").string(), {"/x", "y"}).exitCode, 2);
    auto r = run(builtProgram("vdub").string(), {"/s", (dir / "none.jobs").string()});
    EXPECT_EQ(r.exitCode, 1);
    EXPECT_NE(r.err.find("none.jobs"), std::string::npos);
}

} // namespace

OMM_TEST_MAIN_WITH_APP
