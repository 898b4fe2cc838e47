#include "platform/audio/SwfSoundRender.h"
#include "audio/AudioTestSupport.h"
#include "audio/SwfSoundTestWriter.h"
#include "support/TestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

using omm::test::SwfSoundTestWriter;
using omm::test::TempDir;

namespace {

struct Wav {
    int rate = 0, channels = 0, bits = 0;
    std::vector<int16_t> samples;
    double seconds() const { return static_cast<double>(samples.size()) / channels / rate; }
};

Wav readWav(const std::filesystem::path& path) {
    auto b = omm::test::readFile(path);
    Wav w;
    if (b.size() < 44 || std::memcmp(b.data(), "RIFF", 4) != 0 ||
        std::memcmp(b.data() + 8, "WAVE", 4) != 0)
        return w;
    auto le16 = [&](size_t p) { return b[p] | (b[p + 1] << 8); };
    auto le32 = [&](size_t p) {
        return static_cast<uint32_t>(le16(p)) | (static_cast<uint32_t>(le16(p + 2)) << 16);
    };
    w.channels = le16(22);
    w.rate = static_cast<int>(le32(24));
    w.bits = le16(34);
    const uint32_t size = le32(40);
    EXPECT_EQ(size, b.size() - 44);
    w.samples.resize(size / 2);
    std::memcpy(w.samples.data(), b.data() + 44, w.samples.size() * 2);
    return w;
}

// A 16-bit mono PCM sound at 22050 Hz (rate code 2).
std::vector<uint8_t> tone22k(double hz, double seconds, double amplitude = 12000) {
    return SwfSoundTestWriter::Pcm16(omm::test::sine(22050, 1, hz, seconds, amplitude));
}

bool render(const TempDir& dir, const SwfSoundTestWriter& movie, Wav& out) {
    const auto swf = dir / "movie.swf";
    const auto wav = dir / "movie.wav";
    omm::test::writeFile(swf, movie.Bytes());
    std::string error;
    const bool ok = RenderMovieSound(swf.string(), wav.string(), error);
    EXPECT_TRUE(ok) << error;
    if (ok)
        out = readWav(wav);
    return ok;
}

} // namespace

TEST(RenderMovieSound, Mp3StreamOfAnFfmpegMovieLastsTheMovieAndKeepsItsPitch) {
    TempDir dir;
    const auto swf = dir / "X.swf";
    ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=240x120:rate=12", "-f",
                                   "lavfi", "-i", "sine=frequency=440", "-t", "2", "-c:v", "mjpeg",
                                   "-c:a", "libmp3lame", "-ar", "22050", swf.string()}));
    const auto wav = dir / "X.wav";
    std::string error;
    ASSERT_TRUE(RenderMovieSound(swf.string(), wav.string(), error)) << error;
    const Wav w = readWav(wav);
    ASSERT_EQ(w.rate, 44100);
    ASSERT_EQ(w.channels, 2);
    ASSERT_EQ(w.bits, 16);
    const auto [first, last] = omm::test::soundSpan(w.samples, 2);
    ASSERT_GE(first, 0);
    const double heard = static_cast<double>(last - first) / 44100.0;
    EXPECT_NEAR(heard, 2.0, 1.0 / 12) << "sound from " << first << " to " << last;
    EXPECT_LT(first, 44100 / 12) << "the stream starts with the first frame";
    EXPECT_NEAR(omm::test::zeroCrossingFrequency(w.samples, 44100, 2), 440.0, 1.0);
}

TEST(RenderMovieSound, EventSoundStartsOnItsFrame) {
    SwfSoundTestWriter m(12);
    m.DefineSound(1, 3, 2, true, false, 11025, tone22k(1000, 0.5));
    for (int f = 0; f < 24; ++f) {
        if (f == 6)
            m.StartSound(1);
        m.ShowFrame();
    }
    TempDir dir;
    Wav w;
    ASSERT_TRUE(render(dir, m, w));
    const auto [first, last] = omm::test::soundSpan(w.samples, 2);
    EXPECT_NEAR(first / 44100.0, 0.5, 0.003);
    EXPECT_NEAR((last - first) / 44100.0, 0.5, 0.003);
    EXPECT_NEAR(omm::test::zeroCrossingFrequency(w.samples, 44100, 2), 1000.0, 2.0);
    EXPECT_NEAR(w.seconds(), 2.0, 0.01) << "the movie's length";
    EXPECT_EQ(w.samples[static_cast<size_t>(first + 2000) * 2],
              w.samples[static_cast<size_t>(first + 2000) * 2 + 1])
        << "a mono sound is heard alike on both sides";
}

TEST(RenderMovieSound, SoundStartedByItsClassName) {
    SwfSoundTestWriter m(10);
    m.DefineSound(4, 3, 2, true, false, 4410, tone22k(900, 0.2));
    m.ExportClass(4, "Ding");
    m.ShowFrame();
    m.StartSoundByClass("Nobody"); // not exported: silently nothing
    m.StartSoundByClass("Ding");
    for (int f = 0; f < 9; ++f)
        m.ShowFrame();
    TempDir dir;
    Wav w;
    ASSERT_TRUE(render(dir, m, w));
    const auto [first, last] = omm::test::soundSpan(w.samples, 2);
    EXPECT_NEAR(first / 44100.0, 0.1, 0.003);
    EXPECT_NEAR((last - first) / 44100.0, 0.2, 0.003);
}

TEST(RenderMovieSound, EventSoundOutlastingTheMovieIsHeardToItsEnd) {
    SwfSoundTestWriter m(12);
    m.DefineSound(1, 3, 2, true, false, 33075, tone22k(500, 1.5));
    m.StartSound(1);
    for (int f = 0; f < 6; ++f)
        m.ShowFrame();
    TempDir dir;
    Wav w;
    ASSERT_TRUE(render(dir, m, w));
    const auto [first, last] = omm::test::soundSpan(w.samples, 2);
    EXPECT_NEAR((last - first) / 44100.0, 1.5, 0.01);
}

TEST(RenderMovieSound, SoundInfoLoopsPointsStopAndNoMultiple) {
    struct Case {
        const char* name;
        omm::test::SoundInfoSpec info;
        double expectedSeconds;
    };
    // A 0.25 s sound started on frame 0 of a 3-second movie at 4 frames per second.
    const std::vector<Case> cases = {
        {"plain", {}, 0.25},
        {"three loops", {.loops = 3}, 0.75},
        {"in and out points (44 kHz units)", {.inPoint = 2205, .outPoint = 6615}, 0.1},
    };
    for (const auto& c : cases) {
        SwfSoundTestWriter m(4);
        m.DefineSound(3, 3, 2, true, false, 5512, tone22k(800, 0.25));
        m.StartSound(3, c.info);
        for (int f = 0; f < 12; ++f)
            m.ShowFrame();
        TempDir dir;
        Wav w;
        ASSERT_TRUE(render(dir, m, w)) << c.name;
        const auto [first, last] = omm::test::soundSpan(w.samples, 2);
        EXPECT_NEAR((last - first) / 44100.0, c.expectedSeconds, 0.005) << c.name;
    }

    // A long sound stopped by a StartSound with the stop flag two frames later.
    {
        SwfSoundTestWriter m(4);
        m.DefineSound(3, 3, 2, true, false, 44100, tone22k(800, 2.0));
        m.StartSound(3);
        m.ShowFrame();
        m.ShowFrame();
        m.StartSound(3, {.stop = true});
        for (int f = 0; f < 10; ++f)
            m.ShowFrame();
        TempDir dir;
        Wav w;
        ASSERT_TRUE(render(dir, m, w));
        const auto [first, last] = omm::test::soundSpan(w.samples, 2);
        EXPECT_NEAR((last - first) / 44100.0, 0.5, 0.005) << "stopped at frame 2";
    }

    // Started again while playing: plays twice over, but only once with no-multiple.
    for (bool noMultiple : {false, true}) {
        SwfSoundTestWriter m(4);
        m.DefineSound(3, 3, 2, true, false, 22050,
                      SwfSoundTestWriter::Pcm16(std::vector<int16_t>(22050, 8000)));
        m.StartSound(3);
        m.ShowFrame();
        m.StartSound(3, {.noMultiple = noMultiple});
        for (int f = 0; f < 10; ++f)
            m.ShowFrame();
        TempDir dir;
        Wav w;
        ASSERT_TRUE(render(dir, m, w));
        // At 0.5 s the first instance is still playing; a second one doubles the level.
        const int16_t level = w.samples[static_cast<size_t>(0.5 * 44100) * 2];
        EXPECT_NEAR(level, noMultiple ? 8000 : 16000, 100) << noMultiple;
    }
}

TEST(RenderMovieSound, StopActionEndsTheStreamWithItsFrame) {
    // PCM stream sound, 10 frames per second, 2205 samples per frame at 22050 Hz; the
    // timeline stops on frame 5, so the sound ends with that frame at 0.6 s.
    SwfSoundTestWriter m(10);
    m.StreamHead(3, 2, true, false, 2205);
    const auto tone = omm::test::sine(22050, 1, 700, 3.0);
    for (int f = 0; f < 30; ++f) {
        m.StreamBlock(SwfSoundTestWriter::Pcm16(
            std::vector<int16_t>(tone.begin() + f * 2205, tone.begin() + (f + 1) * 2205)));
        if (f == 5)
            m.Stop();
        m.ShowFrame();
    }
    TempDir dir;
    Wav w;
    ASSERT_TRUE(render(dir, m, w));
    const auto [first, last] = omm::test::soundSpan(w.samples, 2);
    EXPECT_LT(first, 100);
    EXPECT_NEAR(last / 44100.0, 0.6, 0.005);
    EXPECT_NEAR(omm::test::zeroCrossingFrequency(w.samples, 44100, 2), 700.0, 2.0);
}

TEST(RenderMovieSound, AdpcmEventSound) {
    // Hand-made ADPCM is checked against FFmpeg elsewhere; here it has to sound on time.
    SwfSoundTestWriter m(12);
    // 4-bit code size, one packet: a constant initial sample and all-zero codes decay
    // towards it, giving a flat, audible level.
    std::vector<uint8_t> adpcm = {0x80 | 0x10, 0x00, 0x00};
    adpcm.resize(2 + 4095 / 2 + 4, 0);
    m.DefineSound(2, 1, 1, true, false, 4096, adpcm);
    m.ShowFrame();
    m.StartSound(2);
    for (int f = 0; f < 11; ++f)
        m.ShowFrame();
    TempDir dir;
    Wav w;
    ASSERT_TRUE(render(dir, m, w));
    const auto [first, last] = omm::test::soundSpan(w.samples, 2, 500);
    ASSERT_GE(first, 0);
    EXPECT_NEAR(first / 44100.0, 1.0 / 12, 0.003);
}

TEST(RenderMovieSound, BadInputsAreReportedAndLeaveNoFile) {
    TempDir dir;
    std::string error;
    const auto wav = dir / "out.wav";
    EXPECT_FALSE(RenderMovieSound((dir / "missing.swf").string(), wav.string(), error));
    EXPECT_NE(error.find("missing.swf"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(wav));

    omm::test::writeText(dir / "junk.swf", "this is not a movie");
    error.clear();
    EXPECT_FALSE(RenderMovieSound((dir / "junk.swf").string(), wav.string(), error));
    EXPECT_NE(error.find("junk.swf"), std::string::npos) << error;
    EXPECT_FALSE(std::filesystem::exists(wav));

    SwfSoundTestWriter m(12);
    m.ShowFrame();
    omm::test::writeFile(dir / "ok.swf", m.Bytes());
    error.clear();
    EXPECT_FALSE(RenderMovieSound((dir / "ok.swf").string(),
                                  (dir / "no-such-folder" / "out.wav").string(), error));
    EXPECT_NE(error.find("no-such-folder"), std::string::npos) << error;
}

TEST(RenderMovieSound, SilentMovieGivesSilenceOfItsLength) {
    SwfSoundTestWriter m(8);
    for (int f = 0; f < 8; ++f)
        m.ShowFrame();
    TempDir dir;
    Wav w;
    ASSERT_TRUE(render(dir, m, w));
    EXPECT_NEAR(w.seconds(), 1.0, 0.01);
    EXPECT_EQ(omm::test::soundSpan(w.samples, 2).first, -1);
}
