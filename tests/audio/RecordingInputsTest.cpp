#include "platform/audio/RecordingInputs.h"
#include "audio/AudioTestSupport.h"

#include <gtest/gtest.h>

using namespace omm::audio;

namespace {
std::shared_ptr<const PcmBuffer> level(size_t frames, int16_t value) {
    auto b = std::make_shared<PcmBuffer>();
    b->format = MixFormat;
    b->samples.assign(frames * 2, value);
    return b;
}
} // namespace

TEST(RecordingInputs, OffersStereoMixAndKeepsTheSelectionAndVolume) {
    AudioMixer mixer({AudioMixer::Clock::Manual, false});
    RecordingInputs inputs(mixer, false);
    ASSERT_EQ(inputs.Count(), 1);
    EXPECT_EQ(inputs.Name(0), "Stereo Mix");
    EXPECT_EQ(inputs.Name(1), "");
    EXPECT_EQ(inputs.Name(-1), "");
    EXPECT_FALSE(inputs.Select(3));
    EXPECT_TRUE(inputs.Select(0));
    EXPECT_EQ(inputs.SelectedName(), "Stereo Mix");
    EXPECT_EQ(inputs.Volume(), 80);
    inputs.SetVolume(55);
    EXPECT_EQ(inputs.Volume(), 55);
    inputs.SetVolume(150);
    EXPECT_EQ(inputs.Volume(), 100);
    inputs.SetVolume(-3);
    EXPECT_EQ(inputs.Volume(), 0);
}

TEST(RecordingInputs, StereoMixDeliversExactlyTheMixAndDropsWhatIsHeardWhilePaused) {
    AudioMixer mixer({AudioMixer::Clock::Manual, false});
    RecordingInputs inputs(mixer, false);
    inputs.SetVolume(10); // does not touch the mix
    std::vector<int16_t> got;
    std::string error;
    auto session = inputs.Open(
        MixFormat, [&](const int16_t* s, size_t n) { got.insert(got.end(), s, s + n * 2); }, error);
    ASSERT_TRUE(session) << error;
    EXPECT_EQ(session->Format(), MixFormat);
    mixer.play(level(1000, 3000));
    mixer.advance(100);
    session->Pause();
    mixer.advance(100);
    session->Resume();
    mixer.advance(100);
    session->Stop();
    mixer.advance(100);
    ASSERT_EQ(got.size(), 400u) << "200 frames heard, 100 paused, 100 after stop";
    for (int16_t v : got)
        ASSERT_EQ(v, 3000);
    session->Stop(); // a second stop is harmless
}

TEST(RecordingInputs, RecorderFormatsAreConverted) {
    AudioMixer mixer({AudioMixer::Clock::Manual, false});
    RecordingInputs inputs(mixer, false);
    for (PcmFormat f : {PcmFormat{22050, 2}, PcmFormat{8000, 1}}) {
        std::vector<int16_t> got;
        std::string error;
        auto session = inputs.Open(
            f,
            [&](const int16_t* s, size_t n) {
                got.insert(got.end(), s, s + n * static_cast<size_t>(f.channels));
            },
            error);
        ASSERT_TRUE(session) << error;
        auto tone = std::make_shared<PcmBuffer>();
        tone->format = MixFormat;
        tone->samples = omm::test::sine(44100, 2, 250, 1.0);
        mixer.play(tone);
        mixer.advance(44100);
        session->Stop();
        EXPECT_NEAR(static_cast<double>(got.size()) / f.channels, f.sampleRate,
                    f.sampleRate * 0.002);
        EXPECT_NEAR(omm::test::zeroCrossingFrequency(got, f.sampleRate, f.channels), 250.0, 0.5);
    }
}

TEST(RecordingInputs, UnknownInputOrFormatIsRefusedWithAReason) {
    AudioMixer mixer({AudioMixer::Clock::Manual, false});
    RecordingInputs inputs(mixer, false);
    std::string error;
    EXPECT_FALSE(inputs.OpenInput(
        "Line In 7", {22050, 2}, [](const int16_t*, size_t) {}, error));
    EXPECT_NE(error.find("Line In 7"), std::string::npos) << error;
    error.clear();
    EXPECT_FALSE(inputs.Open(
        {0, 2}, [](const int16_t*, size_t) {}, error));
    EXPECT_NE(error.find("Stereo Mix"), std::string::npos) << error;
    EXPECT_FALSE(inputs.Open(
        {22050, 6}, [](const int16_t*, size_t) {}, error));
}

TEST(RecordingInputs, ProgramWideInputsListStereoMixLast) {
    auto& inputs = RecordingInputs::instance();
    ASSERT_GE(inputs.Count(), 1);
    EXPECT_EQ(inputs.Name(inputs.Count() - 1), "Stereo Mix");
}
