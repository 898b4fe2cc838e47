// omm swf: the information it prints, the frames it draws compared with FFmpeg's own
// decoding of movies FFmpeg wrote, and its answers to bad use.

#include "support/TestSupport.h"
#include "swf/SwfTestSupport.h"

#include <QImage>

#include <cmath>
#include <filesystem>

using namespace omm::swftest;
using omm::test::builtProgram;
using omm::test::ffmpeg;
using omm::test::run;
using omm::test::TempDir;

namespace {

double Psnr(const QImage& a, const QImage& b) {
    if (a.size() != b.size())
        return 0;
    double sum = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) {
            QRgb p = a.pixel(x, y), q = b.pixel(x, y);
            double dr = qRed(p) - qRed(q), dg = qGreen(p) - qGreen(q), db = qBlue(p) - qBlue(q);
            sum += dr * dr + dg * dg + db * db;
        }
    double mse = sum / (3.0 * a.width() * a.height());
    return mse == 0 ? 100.0 : 10 * std::log10(255.0 * 255.0 / mse);
}

std::string Omm() {
    return builtProgram("omm").string();
}

} // namespace

class FfmpegMovieTest : public ::testing::TestWithParam<const char*> {};

TEST_P(FfmpegMovieTest, FramesMatchFfmpegsOwnDecoding) {
    TempDir dir;
    std::string movie = (dir / "movie.swf").string();
    ASSERT_TRUE(
        ffmpeg({"-f", "lavfi", "-i", "testsrc=size=240x120:rate=12", "-f", "lavfi", "-i", "sine",
                "-t", "2", "-c:v", GetParam(), "-c:a", "libmp3lame", "-ar", "22050", movie}));

    auto info = run(Omm(), {"swf", movie});
    ASSERT_EQ(info.exitCode, 0) << info.err;
    EXPECT_NE(info.out.find("Stage: 240x120 pixels"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Frame rate: 12.00"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Frames: 24"), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("SoundStreamBlock"), std::string::npos) << info.out;

    auto frames = run(Omm(), {"swf", movie, "--frames", "0-23", "-o", (dir / "ours").string()});
    ASSERT_EQ(frames.exitCode, 0) << frames.err;
    std::filesystem::create_directories(dir / "ref");
    ASSERT_TRUE(ffmpeg({"-i", movie, (dir / "ref" / "%06d.png").string()}));
    for (int i = 0; i < 24; ++i) {
        char ours[32], ref[32];
        std::snprintf(ours, sizeof ours, "frame_%06d.png", i);
        std::snprintf(ref, sizeof ref, "%06d.png", i + 1);
        QImage a(QString::fromStdString((dir / "ours" / ours).string()));
        QImage b(QString::fromStdString((dir / "ref" / ref).string()));
        ASSERT_FALSE(a.isNull()) << ours;
        ASSERT_FALSE(b.isNull()) << ref;
        EXPECT_GE(
            Psnr(a.convertToFormat(QImage::Format_RGB32), b.convertToFormat(QImage::Format_RGB32)),
            35.0)
            << "frame " << i;
    }
    EXPECT_FALSE(std::filesystem::exists(dir / "ours" / "frame_000024.png"));
}

INSTANTIATE_TEST_SUITE_P(Codecs, FfmpegMovieTest, ::testing::Values("mjpeg", "flv"));

TEST(SwfCli, PrintsTheHeaderOfACompressedMovie) {
    TempDir dir;
    SwfTestWriter w(320, 200, 24.5, 9);
    w.ShowFrame();
    w.ShowFrame();
    w.Save((dir / "z.swf").string(), SwfTestWriter::Compression::Lzma);
    auto r = run(Omm(), {"swf", (dir / "z.swf").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_NE(r.out.find("Signature: ZWS (compression: LZMA)"), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Version: 9"), std::string::npos);
    EXPECT_NE(r.out.find("Frame rate: 24.50"), std::string::npos);
    EXPECT_NE(r.out.find("Frames: 2 (header: 2)"), std::string::npos);
}

TEST(SwfCli, AFrameRangeIsCutToTheMovie) {
    TempDir dir;
    SwfTestWriter w(20, 20);
    for (int i = 0; i < 3; ++i)
        w.ShowFrame();
    w.Save((dir / "m.swf").string());
    auto r = run(
        Omm(), {"swf", (dir / "m.swf").string(), "--frames", "1-10", "-o", (dir / "out").string()});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "frame_000001.png"));
    EXPECT_TRUE(std::filesystem::exists(dir / "out" / "frame_000002.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "frame_000000.png"));
    EXPECT_FALSE(std::filesystem::exists(dir / "out" / "frame_000003.png"));
    auto beyond = run(
        Omm(), {"swf", (dir / "m.swf").string(), "--frames", "5-6", "-o", (dir / "out").string()});
    EXPECT_EQ(beyond.exitCode, 1);
    EXPECT_NE(beyond.err.find("frame 5 does not exist"), std::string::npos) << beyond.err;
}

TEST(SwfCli, BadUseAndBadFiles) {
    TempDir dir;
    omm::test::writeText(dir / "text.swf", "this is not a movie");
    struct Case {
        std::vector<std::string> args;
        int exit;
        std::string message;
    };
    std::string text = (dir / "text.swf").string();
    for (const Case& c :
         {Case{{"swf"}, 2, "needs a movie"},
          Case{{"swf", text, "--frames", "3-1", "-o", "x"}, 2, "--frames takes A-B"},
          Case{{"swf", text, "--frames", "0-1"}, 2, "needs -o"},
          Case{{"swf", text, "--bogus"}, 2, "unknown option"},
          Case{{"swf", text}, 1, "not a Flash movie"},
          Case{{"swf", (dir / "missing.swf").string()}, 1, "missing.swf"}}) {
        auto r = run(Omm(), c.args);
        EXPECT_EQ(r.exitCode, c.exit) << r.err;
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
    }
}

TEST(SwfCli, WritesTheMovieSoundAsWav) {
    TempDir dir;
    std::string movie = (dir / "movie.swf").string();
    ASSERT_TRUE(
        ffmpeg({"-f", "lavfi", "-i", "testsrc=size=240x120:rate=12", "-f", "lavfi", "-i", "sine",
                "-t", "2", "-c:v", "mjpeg", "-c:a", "libmp3lame", "-ar", "22050", movie}));
    std::string wav = (dir / "sound.wav").string();
    auto r = run(Omm(), {"swf", movie, "--audio", wav});
    ASSERT_EQ(r.exitCode, 0) << r.err;
    auto bytes = omm::test::readFile(wav);
    ASSERT_GT(bytes.size(), 44u);
    EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
    EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 12), "WAVE");
    // Two seconds of 44100 Hz 16-bit stereo, give or take a frame of the movie.
    double seconds = (bytes.size() - 44) / (44100.0 * 4);
    EXPECT_NEAR(seconds, 2.0, 0.1);
    auto bad = run(Omm(), {"swf", movie, "--audio", (dir / "no" / "such" / "folder.wav").string()});
    EXPECT_EQ(bad.exitCode, 1);
    EXPECT_NE(bad.err.find("folder.wav"), std::string::npos) << bad.err;
}
