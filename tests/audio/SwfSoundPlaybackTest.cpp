#include "platform/audio/SwfSoundPlayback.h"
#include "audio/AudioTestSupport.h"
#include "audio/SwfSoundTestWriter.h"
#include "platform/swf/SwfPlayer.h"

#include <gtest/gtest.h>

using namespace omm::audio;
using omm::test::SwfSoundTestWriter;

namespace {

// A player driven by hand beside a manual-clock mixer whose output is collected.
struct Rig {
    AudioMixer mixer{{AudioMixer::Clock::Manual, false}};
    omm::swf::SwfPlayer player;
    SwfSoundPlayback playback{player, mixer};
    std::vector<int16_t> got;
    Rig() {
        mixer.addCapture(
            MixFormat, [this](const int16_t* s, size_t n) { got.insert(got.end(), s, s + n * 2); });
        player.SetLoop(false);
    }
    bool load(const SwfSoundTestWriter& m) {
        std::string error;
        auto movie = omm::swf::SwfMovie::FromBytes(m.Bytes(), "test.swf", error);
        EXPECT_TRUE(movie) << error;
        if (!movie)
            return false;
        player.SetMovieData(movie);
        return true;
    }
    int16_t lastLevel() const { return got.empty() ? 0 : got[got.size() - 2]; }
};

// Stream sound at 10 frames per second whose level tells the frame: 100 * (frame + 1).
SwfSoundTestWriter levelledStream(int frames) {
    SwfSoundTestWriter m(10);
    m.StreamHead(3, 3, true, false, 4410);
    for (int f = 0; f < frames; ++f) {
        m.StreamBlock(SwfSoundTestWriter::Pcm16(
            std::vector<int16_t>(4410, static_cast<int16_t>(100 * (f + 1)))));
        m.ShowFrame();
    }
    return m;
}

} // namespace

TEST(SwfSoundPlayback, StreamFollowsAJumpToAnotherFrame) {
    Rig r;
    ASSERT_TRUE(r.load(levelledStream(30)));
    r.mixer.advance(2000);
    EXPECT_EQ(r.lastLevel(), 100);
    r.player.SetFrameNum(20);
    r.mixer.advance(2000);
    EXPECT_EQ(r.lastLevel(), 2100) << "the sound of frame 20";
    r.player.AdvanceFrame();
    r.mixer.advance(3000);
    EXPECT_EQ(r.lastLevel(), 2200) << "goes on from there";
}

TEST(SwfSoundPlayback, StoppedTimelineSilencesItsStreamAfterTheCurrentFrame) {
    Rig r;
    ASSERT_TRUE(r.load(levelledStream(30)));
    r.mixer.advance(1000);
    r.player.StopPlay();
    r.mixer.advance(3000);
    EXPECT_EQ(r.lastLevel(), 100) << "frame 0 still sounds";
    r.mixer.advance(1000);
    EXPECT_EQ(r.lastLevel(), 0) << "nothing of frame 1";
    r.player.Play();
    r.player.AdvanceFrame();
    r.mixer.advance(100);
    EXPECT_EQ(r.lastLevel(), 200) << "playing again resumes with the frame entered";
}

TEST(SwfSoundPlayback, UnloadingTheMovieSilencesItsSounds) {
    SwfSoundTestWriter m(10);
    m.DefineSound(1, 3, 3, true, false, 44100,
                  SwfSoundTestWriter::Pcm16(std::vector<int16_t>(44100, 5000)));
    m.StartSound(1);
    for (int f = 0; f < 3; ++f)
        m.ShowFrame();
    Rig r;
    ASSERT_TRUE(r.load(m));
    r.mixer.advance(100);
    EXPECT_EQ(r.lastLevel(), 5000);
    EXPECT_GT(r.mixer.voiceCount(), 0u);
    r.player.SetMovie(QString());
    r.mixer.advance(100);
    EXPECT_EQ(r.lastLevel(), 0);
    EXPECT_EQ(r.mixer.voiceCount(), 0u);
}

TEST(SwfSoundPlayback, DamagedSoundIsSkippedAndTheRestPlays) {
    SwfSoundTestWriter m(10);
    m.DefineSound(1, 11, 3, true, false, 100, {1, 2, 3}); // Speex: not supported
    m.DefineSound(2, 3, 3, true, false, 4410,
                  SwfSoundTestWriter::Pcm16(std::vector<int16_t>(4410, 700)));
    m.StartSound(1);
    m.StartSound(9); // never defined
    m.StartSound(2);
    m.ShowFrame();
    Rig r;
    ASSERT_TRUE(r.load(m));
    r.mixer.advance(100);
    EXPECT_EQ(r.lastLevel(), 700);
    EXPECT_FALSE(r.playback.LastError().empty());
}
