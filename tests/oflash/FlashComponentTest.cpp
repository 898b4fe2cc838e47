#include "audio/AudioTestSupport.h"
#include "oflash/FlashComponentUnit.h"
#include "platform/audio/AudioMixer.h"
#include "platform/audio/RecordingInputs.h"
#include "platform/swf/SwfPlayer.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <gtest/gtest.h>
#include <mutex>

namespace {

// A control that records what the host asks of it.
class FakeFlash : public TFlashControl {
public:
    std::string movie;
    int frame = 0;
    int total = 0;
    bool playing = false;
    bool loop = true;
    std::vector<std::string> calls;
    mutable int totalReads = 0, frameReads = 0;

    std::string Movie() const override { return movie; }
    bool SetMovie(const std::string& path) override {
        calls.push_back("SetMovie " + path);
        movie = path;
        return true;
    }
    int FrameNum() const override {
        ++frameReads;
        return frame;
    }
    void SetFrameNum(int f) override { frame = f; }
    int TotalFrames() const override {
        ++totalReads;
        return total;
    }
    bool Playing() const override { return playing; }
    void SetLoop(bool l) override {
        calls.push_back(l ? "Loop 1" : "Loop 0");
        loop = l;
    }
    void Play() override {
        calls.push_back("Play");
        playing = true;
    }
    void StopPlay() override {
        calls.push_back("StopPlay");
        playing = false;
    }
    void Rewind() override { calls.push_back("Rewind"); }
    void Forward() override { calls.push_back("Forward"); }
    bool IsPlaying() const override { return playing; }
    void Zoom(int percent) override { calls.push_back("Zoom " + std::to_string(percent)); }
};

struct Host : ::testing::Test {
    FakeFlash flash;
    TFlashComponent host;
    void SetUp() override {
        host.Flash = &flash;
        flash.movie = "/m/clip.swf";
    }
    std::vector<std::string> take() { return std::exchange(flash.calls, {}); }
};

using Calls = std::vector<std::string>;

} // namespace

TEST_F(Host, StartsAtNaturalSizeWithFivePercentSteps) {
    TFlashComponent fresh;
    EXPECT_EQ(fresh.ZoomLevel, 0);
    EXPECT_EQ(fresh.ZoomStep, 5);
    EXPECT_EQ(fresh.Flash, nullptr);
}

TEST_F(Host, EnlargeStepIsAbsoluteAndStopsAtOneHundred) {
    host.EnlargeStep();
    EXPECT_EQ(take(), (Calls{"Zoom 0", "Zoom 95"}));
    EXPECT_EQ(host.ZoomLevel, 5);
    for (int i = 2; i <= 19; ++i)
        host.EnlargeStep();
    EXPECT_EQ(host.ZoomLevel, 95);
    take();
    host.EnlargeStep(); // the twentieth
    EXPECT_EQ(host.ZoomLevel, 100);
    EXPECT_EQ(take(), (Calls{"Zoom 0", "Zoom 1"}));
    host.EnlargeStep();
    EXPECT_EQ(host.ZoomLevel, 100);
    EXPECT_EQ(take(), (Calls{"Zoom 0", "Zoom 1"}));
}

TEST_F(Host, SetZoomLevelExamples) {
    struct Case {
        bool resetFirst;
        int percent;
        Calls calls;
        int level;
    };
    const Case cases[] = {
        {false, 100, {"Zoom 0"}, 0},
        {false, 250, {"Zoom 0"}, 0},
        {true, 40, {"Zoom 0", "Zoom 60"}, 40},
        {false, -5, {"Zoom 105"}, -5}, // the shrink command: relative to the current view
        {false, 99, {"Zoom 1"}, 99},
    };
    for (const auto& c : cases) {
        host.ZoomLevel = 33;
        if (c.resetFirst)
            host.ResetZoom();
        host.SetZoomLevel(c.percent);
        EXPECT_EQ(take(), c.calls) << c.percent;
        EXPECT_EQ(host.ZoomLevel, c.level) << c.percent;
    }
}

TEST_F(Host, ResetZoomRestoresTheNaturalSize) {
    host.ZoomLevel = 45;
    host.ResetZoom();
    EXPECT_EQ(take(), (Calls{"Zoom 0"}));
    EXPECT_EQ(host.ZoomLevel, 0);
}

TEST_F(Host, ZoomWithoutAMovieTouchesNothing) {
    flash.movie.clear();
    host.ZoomLevel = 20;
    host.EnlargeStep();
    host.SetZoomLevel(40);
    host.ResetZoom();
    EXPECT_TRUE(take().empty());
    EXPECT_EQ(host.ZoomLevel, 20);
}

TEST_F(Host, AtLastFrameIsReadAfreshEveryCall) {
    flash.total = 100;
    flash.frame = 99;
    EXPECT_TRUE(host.AtLastFrame());
    flash.frame = 98;
    EXPECT_FALSE(host.AtLastFrame());
    flash.frame = 99;
    EXPECT_TRUE(host.AtLastFrame());
    EXPECT_EQ(flash.totalReads, 3);
    EXPECT_EQ(flash.frameReads, 3);
    flash.total = 0;
    flash.frame = 0;
    EXPECT_FALSE(host.AtLastFrame()) << "no movie";
}

TEST_F(Host, PauseStopsOnlyAPlayingMovie) {
    host.Pause();
    EXPECT_TRUE(take().empty());
    host.Play();
    host.Pause();
    EXPECT_EQ(take(), (Calls{"Play", "StopPlay"}));
    EXPECT_FALSE(host.IsPlaying());
}

TEST_F(Host, PassesTheOtherOperationsOn) {
    EXPECT_TRUE(host.SetMovie("/m/other.swf"));
    EXPECT_EQ(host.GetMovie(), "/m/other.swf");
    host.Rewind();
    host.StepForward();
    host.SetLoop(false);
    host.SetLoop(true);
    EXPECT_EQ(take(), (Calls{"SetMovie /m/other.swf", "Rewind", "Forward", "Loop 0", "Loop 1"}));
}

TEST(FlashComponentWithoutControl, DoesNothingAndAnswersFalse) {
    TFlashComponent host;
    EXPECT_FALSE(host.SetMovie("/x.swf"));
    EXPECT_EQ(host.GetMovie(), "");
    host.Play();
    host.Pause();
    host.Rewind();
    host.StepForward();
    host.SetLoop(true);
    host.EnlargeStep();
    EXPECT_FALSE(host.IsPlaying());
    EXPECT_FALSE(host.AtLastFrame());
    EXPECT_EQ(host.ZoomLevel, 0);
}

// The real player: the movie's stream sound reaches the "Stereo Mix" input while it plays,
// on a machine without any sound device.
TEST(FlashComponentPlayback, StereoMixRecordsTheMoviesSoundForItsLength) {
    omm::test::TempDir dir;
    const auto swf = dir / "X.swf";
    ASSERT_TRUE(omm::test::ffmpeg({"-f", "lavfi", "-i", "testsrc=size=240x120:rate=12", "-f",
                                   "lavfi", "-i", "sine=frequency=440", "-t", "2", "-c:v", "mjpeg",
                                   "-c:a", "libmp3lame", "-ar", "22050", swf.string()}));

    omm::audio::AudioMixer mixer({omm::audio::AudioMixer::Clock::RealTime, false});
    omm::audio::RecordingInputs inputs(mixer, false);
    ASSERT_EQ(inputs.Count(), 1);
    ASSERT_EQ(inputs.Name(0), "Stereo Mix");
    ASSERT_TRUE(inputs.Select(0));

    omm::swf::SwfPlayer player;
    player.SetAutoPlay(false);
    TSwfPlayerControl control(player, mixer);
    TFlashComponent host;
    host.Flash = &control;

    std::mutex lock;
    std::vector<int16_t> recorded;
    std::string error;
    const omm::audio::PcmFormat format{22050, 2};
    auto session = inputs.Open(
        format,
        [&](const int16_t* s, size_t frames) {
            std::lock_guard g(lock);
            recorded.insert(recorded.end(), s, s + frames * 2);
        },
        error);
    ASSERT_TRUE(session) << error;

    ASSERT_TRUE(host.SetMovie(swf.string())) << control.LastError();
    host.SetLoop(false);
    host.Play();
    QElapsedTimer clock;
    clock.start();
    QEventLoop loop;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, [&] {
        if ((host.AtLastFrame() && !host.IsPlaying()) || clock.elapsed() > 10000)
            loop.quit();
    });
    poll.start(10);
    loop.exec();
    // Let the last frame's sound finish before the recording stops.
    QTimer::singleShot(300, &loop, &QEventLoop::quit);
    loop.exec();
    session->Stop();

    ASSERT_LT(clock.elapsed(), 10000) << "the movie did not reach its end";
    std::lock_guard g(lock);
    const auto [first, last] = omm::test::soundSpan(recorded, 2);
    ASSERT_GE(first, 0) << "nothing was heard";
    EXPECT_NEAR(static_cast<double>(last - first) / 22050.0, 2.0, 1.0 / 12);
    EXPECT_NEAR(omm::test::zeroCrossingFrequency(recorded, 22050, 2), 440.0, 2.0);
}

TEST(FlashComponentPlayback, UnreadableMovieFailsWithItsName) {
    omm::audio::AudioMixer mixer({omm::audio::AudioMixer::Clock::Manual, false});
    omm::swf::SwfPlayer player;
    TSwfPlayerControl control(player, mixer);
    TFlashComponent host;
    host.Flash = &control;
    EXPECT_FALSE(host.SetMovie("/no/such/movie.swf"));
    EXPECT_NE(control.LastError().find("movie.swf"), std::string::npos) << control.LastError();
    EXPECT_EQ(host.GetMovie(), "");
    EXPECT_FALSE(host.AtLastFrame());
}
