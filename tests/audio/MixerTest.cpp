#include "audio/AudioTestSupport.h"
#include "platform/audio/AudioMixer.h"

#include <chrono>
#include <gtest/gtest.h>
#include <mutex>
#include <thread>

using namespace omm::audio;
using omm::test::constant;

namespace {

std::shared_ptr<const PcmBuffer> mixBuffer(std::vector<int16_t> samples) {
    auto b = std::make_shared<PcmBuffer>();
    b->format = MixFormat;
    b->samples = std::move(samples);
    return b;
}

// A manual-clock mixer with one capture at the mix format that collects everything.
struct ManualMix {
    AudioMixer mixer{AudioMixer::Options{AudioMixer::Clock::Manual, false}};
    std::vector<int16_t> got;
    AudioMixer::CaptureId capture;
    ManualMix() {
        capture = mixer.addCapture(MixFormat, [this](const int16_t* s, size_t frames) {
            got.insert(got.end(), s, s + frames * 2);
        });
    }
    int16_t left(size_t frame) const { return got.at(frame * 2); }
    int16_t right(size_t frame) const { return got.at(frame * 2 + 1); }
};

} // namespace

TEST(AudioMixer, SumsVoicesAndClipsAtTheSampleLimits) {
    struct Case {
        int16_t a, b, expected;
    };
    const Case cases[] = {{1000, 2000, 3000},       {-1500, 500, -1000},   {30000, 10000, 32767},
                          {-30000, -10000, -32768}, {32767, 32767, 32767}, {20000, -20000, 0}};
    for (const auto& c : cases) {
        ManualMix m;
        m.mixer.play(mixBuffer(constant(100, 2, c.a)));
        m.mixer.play(mixBuffer(constant(100, 2, c.b)));
        m.mixer.advance(150);
        ASSERT_EQ(m.got.size(), 300u);
        EXPECT_EQ(m.left(0), c.expected) << c.a << " + " << c.b;
        EXPECT_EQ(m.right(99), c.expected) << c.a << " + " << c.b;
        EXPECT_EQ(m.left(100), 0) << "silence after both voices ended";
        EXPECT_EQ(m.mixer.voiceCount(), 0u);
    }
}

TEST(AudioMixer, KeepsTimeWithSilenceWhenNothingPlays) {
    ManualMix m;
    m.mixer.advance(44100);
    EXPECT_EQ(m.mixer.position(), 44100);
    ASSERT_EQ(m.got.size(), 88200u);
    for (int16_t v : m.got)
        ASSERT_EQ(v, 0);
}

TEST(AudioMixer, StartsAVoiceAtItsScheduledFrame) {
    ManualMix m;
    VoiceOptions at;
    at.startAt = 1000;
    m.mixer.play(mixBuffer(constant(10, 2, 500)), at);
    m.mixer.advance(2000);
    EXPECT_EQ(m.left(999), 0);
    EXPECT_EQ(m.left(1000), 500);
    EXPECT_EQ(m.left(1009), 500);
    EXPECT_EQ(m.left(1010), 0);
}

TEST(AudioMixer, VoiceScheduledInThePastSkipsWhatShouldHavePlayed) {
    ManualMix m;
    m.mixer.advance(100);
    std::vector<int16_t> ramp;
    for (int i = 0; i < 200; ++i)
        ramp.insert(ramp.end(), {static_cast<int16_t>(i), static_cast<int16_t>(i)});
    VoiceOptions at;
    at.startAt = 50;
    m.mixer.play(mixBuffer(ramp), at);
    m.mixer.advance(10);
    EXPECT_EQ(m.left(100), 50);
}

TEST(AudioMixer, InAndOutPointsWithLoops) {
    ManualMix m;
    std::vector<int16_t> ramp;
    for (int i = 0; i < 100; ++i)
        ramp.insert(ramp.end(), {static_cast<int16_t>(i), static_cast<int16_t>(-i)});
    VoiceOptions o;
    o.inFrame = 10;
    o.outFrame = 20;
    o.loops = 3;
    m.mixer.play(mixBuffer(ramp), o);
    m.mixer.advance(40);
    for (int i = 0; i < 30; ++i) {
        EXPECT_EQ(m.left(static_cast<size_t>(i)), 10 + i % 10) << i;
        EXPECT_EQ(m.right(static_cast<size_t>(i)), -(10 + i % 10)) << i;
    }
    EXPECT_EQ(m.left(30), 0);
}

TEST(AudioMixer, EnvelopeScalesEachChannel) {
    ManualMix m;
    VoiceOptions o;
    o.envelope = {{0, 0, 32768}, {100, 32768, 0}};
    m.mixer.play(mixBuffer(constant(200, 2, 10000)), o);
    m.mixer.advance(200);
    EXPECT_EQ(m.left(0), 0);
    EXPECT_EQ(m.right(0), 10000);
    EXPECT_EQ(m.left(50), 5000);
    EXPECT_EQ(m.right(50), 5000);
    EXPECT_EQ(m.left(150), 10000);
    EXPECT_EQ(m.right(150), 0);
}

TEST(AudioMixer, StopsVoicesByIdOwnerAndSound) {
    ManualMix m;
    VoiceOptions a{.owner = 7, .sound = 1};
    VoiceOptions b{.owner = 7, .sound = 2};
    VoiceOptions c{.owner = 8, .sound = 1};
    const auto idA = m.mixer.play(mixBuffer(constant(1000, 2, 1)), a);
    m.mixer.play(mixBuffer(constant(1000, 2, 10)), b);
    m.mixer.play(mixBuffer(constant(1000, 2, 100)), c);
    EXPECT_TRUE(m.mixer.isPlaying(idA));
    EXPECT_TRUE(m.mixer.isSoundPlaying(7, 1));
    m.mixer.advance(10);
    EXPECT_EQ(m.left(0), 111);
    m.mixer.stopOwner(7, 1);
    EXPECT_FALSE(m.mixer.isPlaying(idA));
    EXPECT_FALSE(m.mixer.isSoundPlaying(7, 1));
    m.mixer.advance(10);
    EXPECT_EQ(m.left(10), 110);
    m.mixer.stopOwner(8);
    m.mixer.advance(10);
    EXPECT_EQ(m.left(20), 10);
}

TEST(AudioMixer, ConvertsSoundsOfOtherFormats) {
    ManualMix m;
    auto mono = std::make_shared<PcmBuffer>();
    mono->format = PcmFormat{22050, 1};
    mono->samples = omm::test::sine(22050, 1, 441, 1.0);
    m.mixer.play(mono);
    m.mixer.advance(44100 + 1000);
    EXPECT_NEAR(omm::test::zeroCrossingFrequency(m.got, 44100, 2), 441.0, 1.0);
    const auto [first, last] = omm::test::soundSpan(m.got, 2);
    EXPECT_NEAR(last - first, 44100, 100);
}

TEST(AudioMixer, FedStreamPlaysWhatWasPushedAndIsDroppedWhenFinished) {
    ManualMix m;
    auto stream = m.mixer.openStream(MixFormat);
    auto block = constant(300, 2, 1234);
    stream->push(block.data(), 300);
    EXPECT_EQ(stream->queuedFrames(), 300u);
    m.mixer.advance(200);
    EXPECT_EQ(stream->queuedFrames(), 100u);
    m.mixer.advance(200); // runs dry: silence, the voice stays
    EXPECT_EQ(m.left(299), 1234);
    EXPECT_EQ(m.left(300), 0);
    EXPECT_EQ(m.mixer.voiceCount(), 1u);
    stream->push(block.data(), 10);
    stream->finish();
    m.mixer.advance(20);
    EXPECT_EQ(m.left(400), 1234);
    EXPECT_EQ(m.left(410), 0);
    EXPECT_EQ(m.mixer.voiceCount(), 0u);
}

TEST(AudioMixer, CapturesDeliverTheMixInTheFormatAsked) {
    AudioMixer mixer({AudioMixer::Clock::Manual, false});
    struct Want {
        PcmFormat format;
        std::vector<int16_t> got;
    };
    std::vector<Want> wants = {{MixFormat, {}}, {{22050, 2}, {}}, {{8000, 1}, {}}};
    std::vector<AudioMixer::CaptureId> ids;
    for (auto& w : wants)
        ids.push_back(mixer.addCapture(w.format, [&w](const int16_t* s, size_t frames) {
            w.got.insert(w.got.end(), s, s + frames * static_cast<size_t>(w.format.channels));
        }));
    auto tone = std::make_shared<PcmBuffer>();
    tone->format = MixFormat;
    tone->samples = omm::test::sine(44100, 2, 300, 2.0);
    mixer.play(tone);
    mixer.advance(44100 * 2);
    for (auto id : ids)
        mixer.removeCapture(id);
    EXPECT_EQ(wants[0].got, tone->samples) << "the mix format passes unchanged";
    for (auto& w : wants) {
        const double frames = static_cast<double>(w.got.size()) / w.format.channels;
        EXPECT_NEAR(frames, 2.0 * w.format.sampleRate, w.format.sampleRate * 0.002);
        EXPECT_NEAR(omm::test::zeroCrossingFrequency(w.got, w.format.sampleRate, w.format.channels),
                    300.0, 0.5);
    }
}

TEST(AudioMixer, RemovedCaptureHearsNothingMore) {
    ManualMix m;
    m.mixer.advance(100);
    m.mixer.removeCapture(m.capture);
    m.mixer.advance(100);
    EXPECT_EQ(m.got.size(), 200u);
}

TEST(AudioMixer, RealTimeClockRunsWithoutADevice) {
    AudioMixer mixer({AudioMixer::Clock::RealTime, false});
    EXPECT_FALSE(mixer.hasOutputDevice());
    std::mutex lock;
    size_t frames = 0;
    auto tone = std::make_shared<PcmBuffer>();
    tone->format = MixFormat;
    tone->samples = omm::test::sine(44100, 2, 500, 5.0);
    const auto start = std::chrono::steady_clock::now();
    const auto pos0 = mixer.position();
    auto id = mixer.addCapture(MixFormat, [&](const int16_t*, size_t n) {
        std::lock_guard g(lock);
        frames += n;
    });
    mixer.play(tone);
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
    mixer.removeCapture(id);
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const auto mixed = mixer.position() - pos0;
    // The clock mixes what the steady clock says has passed: never ahead of it, and behind
    // it by no more than a scheduling delay.
    const double mixedSeconds = static_cast<double>(mixed) / 44100.0;
    EXPECT_LE(mixedSeconds, elapsed + 0.01);
    EXPECT_GE(mixedSeconds, elapsed - 0.1);
    EXPECT_NEAR(static_cast<double>(frames) / 44100.0, mixedSeconds, 0.02)
        << "the capture hears everything mixed while it was open";
}

TEST(AudioMixer, LongSoundPlaysFromAFrameConvertingAsItGoes) {
    // One second at 22050 Hz mono: the first half at 1000, the second at 2000.
    auto sound = std::make_shared<PcmBuffer>();
    sound->format = {22050, 1};
    sound->samples.assign(22050, 1000);
    std::fill(sound->samples.begin() + 11025, sound->samples.end(), int16_t{2000});
    {
        ManualMix m;
        const auto id = m.mixer.playFrom(sound, 11025);
        ASSERT_NE(id, 0u);
        m.mixer.advance(30000);
        EXPECT_EQ(m.left(1000), 2000);
        EXPECT_EQ(m.right(1000), 2000);
        const auto [first, last] = omm::test::soundSpan(m.got, 2);
        EXPECT_NEAR(last - first, 22050, 50) << "half a second at the mix rate";
        EXPECT_FALSE(m.mixer.isPlaying(id));
    }
    {
        ManualMix m;
        const auto id = m.mixer.playFrom(sound, 0);
        m.mixer.advance(1000);
        m.mixer.endAt(id, 5512); // a quarter of a second into the sound
        m.mixer.advance(30000);
        const auto [first, last] = omm::test::soundSpan(m.got, 2, 500);
        EXPECT_NEAR(last - first, 11025, 50);
        EXPECT_EQ(m.mixer.voiceCount(), 0u);
    }
    {
        ManualMix m;
        EXPECT_EQ(m.mixer.playFrom(sound, 22050), 0u) << "past the end: nothing to play";
        m.mixer.playFrom(sound, 0, 42);
        m.mixer.stopOwner(42);
        EXPECT_EQ(m.mixer.voiceCount(), 0u);
    }
}
