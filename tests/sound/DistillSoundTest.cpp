// Sound extraction: names, the second route, the conversion chain and the MP3 written.

#include "acquire/AviFixtures.h"
#include "sound/uDistillSound.h"

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

// A program folder holding the real library, as the build lays it out.
struct ProgramFolder {
    TempDir dir;
    explicit ProgramFolder(const fs::path& library = builtProgram("libAudioPrep.so")) {
        if (!library.empty())
            fs::copy_file(library, dir / "libAudioPrep.so");
    }
    std::string path() const { return dir.path().string() + "/"; }
};

TEST(DistillSoundChain, BitRateListAndIndex) {
    const int expected[] = {8,  16,  24,  32,  40,  48,  56,  64,  80,
                            96, 112, 128, 144, 160, 192, 224, 256, 320};
    for (int i = 0; i < 18; ++i)
        EXPECT_EQ(TDistillSound::BitRateKbps(i), expected[i]) << i;
    EXPECT_EQ(TDistillSound::BitRateKbps(-1), -1);
    EXPECT_EQ(TDistillSound::BitRateKbps(18), -1);
}

TEST(DistillSoundChain, ConvertersFollowTheDifferencesOfSourceAndTarget) {
    struct Case {
        int bits, channels, rate;
        TSoundInfo target;
        bool to16, channel, resample;
        int tChannels, tRate, tKbps;
    } cases[] = {
        {16, 2, 22050, {1, 48000, 5}, false, true, true, 1, 48000, 48},
        {16, 2, 22050, {2, 22050, 5}, false, false, false, 2, 22050, 48},
        {8, 1, 22050, {2, 22050, 9}, true, true, false, 2, 22050, 96},
        {16, 2, 44100, {0, 0, 0}, false, false, true, 2, 22050, 8},
        {16, 2, 22050, {0, 0, 99}, false, false, false, 2, 22050, 48},      // defaults
        {16, 2, 48000, {2, 96000, 17}, false, false, false, 2, 48000, 320}, // MP3's top rate
    };
    for (const auto& c : cases) {
        TSoundChain chain = TDistillSound::PlanChain(c.bits, c.channels, c.rate, c.target);
        SCOPED_TRACE(std::to_string(c.bits) + "/" + std::to_string(c.channels) + "/" +
                     std::to_string(c.rate));
        EXPECT_EQ(chain.To16Bit, c.to16);
        EXPECT_EQ(chain.ChannelConverter, c.channel);
        EXPECT_EQ(chain.RateConverter, c.resample);
        EXPECT_EQ(chain.TargetChannels, c.tChannels);
        EXPECT_EQ(chain.TargetRate, c.tRate);
        EXPECT_EQ(chain.TargetKbps, c.tKbps);
    }
}

TEST(DistillSoundEncode, MonoAt48000FromStereoAt22050) {
    ProgramFolder program;
    TDistillSound distill(program.path());
    distill.WaveFile = distill.DistillFolder + "in.wav";
    distill.MP3File = distill.DistillFolder + "in.MP3";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050", "-t", "3",
                        "-ac", "2", "-c:a", "pcm_s16le", distill.WaveFile}));
    distill.SoundInfo = {1, 48000, 5};
    int lastProgress = -1;
    distill.OnProgress = [&](int n) { lastProgress = n; };
    ASSERT_TRUE(distill.EncodeMP3()) << distill.LastError;
    EXPECT_TRUE(distill.LastChain.ChannelConverter);
    EXPECT_TRUE(distill.LastChain.RateConverter);
    EXPECT_FALSE(distill.LastChain.To16Bit);
    EXPECT_EQ(probe(distill.MP3File, "a", "codec_name"), "mp3");
    EXPECT_EQ(probe(distill.MP3File, "a", "channels"), "1");
    EXPECT_EQ(probe(distill.MP3File, "a", "sample_rate"), "48000");
    EXPECT_EQ(probe(distill.MP3File, "a", "bit_rate"), "48000");
    EXPECT_NEAR(probeDuration(distill.MP3File), 3.0, 0.15);
    EXPECT_FALSE(fs::exists(distill.WaveFile)) << "the WAV is consumed";
    EXPECT_GT(lastProgress, 50);
    EXPECT_TRUE(distill.Done);
}

TEST(DistillSoundEncode, EightBitSourceIsWidened) {
    ProgramFolder program;
    TDistillSound distill(program.path());
    distill.WaveFile = distill.DistillFolder + "u8.wav";
    distill.MP3File = distill.DistillFolder + "u8.MP3";
    ASSERT_TRUE(ffmpeg({"-f", "lavfi", "-i", "sine=sample_rate=22050", "-t", "1", "-ac", "1",
                        "-c:a", "pcm_u8", distill.WaveFile}));
    distill.SoundInfo = {2, 22050, 5};
    ASSERT_TRUE(distill.EncodeMP3()) << distill.LastError;
    EXPECT_TRUE(distill.LastChain.To16Bit);
    EXPECT_TRUE(distill.LastChain.ChannelConverter);
    EXPECT_FALSE(distill.LastChain.RateConverter);
    EXPECT_EQ(probe(distill.MP3File, "a", "channels"), "2");
}

TEST(DistillSoundEncode, UnreadableWaveLeavesNoMp3) {
    ProgramFolder program;
    TDistillSound distill(program.path());
    distill.WaveFile = distill.DistillFolder + "bad.wav";
    distill.MP3File = distill.DistillFolder + "bad.MP3";
    writeText(distill.WaveFile, std::string(4096, 'x'));
    EXPECT_FALSE(distill.EncodeMP3());
    EXPECT_FALSE(fs::exists(distill.MP3File));
    EXPECT_NE(distill.LastError.find("bad.wav"), std::string::npos);
}

class DistillSoundTest : public ::testing::Test {
protected:
    ProgramFolder program;
    TempDir videos;
};

TEST_F(DistillSoundTest, LibraryIsInstalledIntoTheDistillFolder) {
    TDistillSound distill(program.path());
    EXPECT_EQ(distill.DistillFolder, program.path() + "DistillSound/");
    EXPECT_TRUE(fs::is_regular_file(distill.LibraryPath()));
    EXPECT_EQ(readFile(distill.LibraryPath()), readFile(program.dir / "libAudioPrep.so"));
}

TEST_F(DistillSoundTest, IntermediateNamesUseTheStemBeforeTheFirstDot) {
    const fs::path src = videos / "a.b.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::Mp3));
    TDistillSound distill(program.path());
    distill.SourceFile = src.string();
    std::string mp3 = distill.Distill();
    EXPECT_EQ(mp3, distill.DistillFolder + "a.MP3");
    EXPECT_EQ(distill.WaveFile, distill.DistillFolder + "a.wav");
    EXPECT_EQ(distill.AltWaveFile, distill.DistillFolder + "Sound.wav");
    EXPECT_TRUE(fs::exists(mp3));
    EXPECT_FALSE(fs::exists(distill.WaveFile));
    EXPECT_FALSE(fs::exists(distill.AltWaveFile));
}

TEST_F(DistillSoundTest, ToMp3WritesTheModelFormatBesideTheVideo) {
    const fs::path src = videos / "第一课 x.avi";
    ASSERT_TRUE(makeAvi(src, "25", 2, AviSound::Pcm));
    TDistillSound distill(program.path());
    distill.SoundInfo = {2, 22050, 5};
    ASSERT_TRUE(distill.DistillToMP3(src.string())) << distill.LastError;
    const fs::path beside = videos / "第一课 x.mp3";
    EXPECT_EQ(probe(beside, "a", "codec_name"), "mp3");
    EXPECT_EQ(probe(beside, "a", "sample_rate"), "22050");
    EXPECT_EQ(probe(beside, "a", "channels"), "2");
    EXPECT_EQ(probe(beside, "a", "bit_rate"), "48000");
    EXPECT_NEAR(probeDuration(beside), 2.0, 0.15);
    EXPECT_FALSE(fs::exists(distill.DistillFolder + "第一课 x.MP3"));
}

TEST_F(DistillSoundTest, AnExistingMp3BesideTheVideoIsTakenAsItIs) {
    const fs::path src = videos / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::Mp3));
    writeText(videos / "clip.mp3", "already here");
    ProgramFolder noLibrary(fs::path{});
    TDistillSound distill(noLibrary.path());
    distill.SourceFile = src.string();
    EXPECT_EQ(distill.Distill(), (videos / "clip.mp3").string());
    EXPECT_TRUE(distill.DistillToMP3(src.string()));
    auto kept = readFile(videos / "clip.mp3");
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "already here");
    EXPECT_FALSE(fs::exists(distill.DistillFolder + "clip.MP3"));
}

TEST_F(DistillSoundTest, TooShortFirstWaveFallsBackToTheSecondRoute) {
    ProgramFolder fake(fs::path(FAKE_AUDIOPREP_DIR) / "libAudioPrep.so");
    const fs::path src = videos / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::Mp3));
    TDistillSound distill(fake.path());
    distill.SourceFile = src.string();
    std::string mp3 = distill.Distill();
    ASSERT_FALSE(mp3.empty()) << distill.LastError;
    EXPECT_TRUE(fs::exists(distill.DistillFolder + "Sound.wav.second-route"));
    EXPECT_NEAR(probeDuration(mp3), 1.0, 0.15);
}

TEST_F(DistillSoundTest, SourceWithoutSoundTrackIsToldApart) {
    const fs::path src = videos / "silent.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::None));
    TDistillSound distill(program.path());
    EXPECT_FALSE(distill.DistillToMP3(src.string()));
    EXPECT_TRUE(distill.NoSoundTrack);
    EXPECT_FALSE(fs::exists(videos / "silent.mp3"));
    EXPECT_NE(distill.LastError.find("no sound track"), std::string::npos);
}

TEST_F(DistillSoundTest, FailuresNameTheFile) {
    writeText(videos / "text.avi", "not a video");
    struct Case {
        std::string file;
        const char* says;
    } cases[] = {
        {(videos / "text.avi").string(), "text.avi"},
        {(videos / "missing.avi").string(), "does not exist"},
    };
    TDistillSound distill(program.path());
    for (const auto& c : cases) {
        SCOPED_TRACE(c.file);
        EXPECT_FALSE(distill.DistillToMP3(c.file));
        EXPECT_NE(distill.LastError.find(c.says), std::string::npos) << distill.LastError;
    }
    EXPECT_EQ(filesIn(videos.path()), std::vector<std::string>{"text.avi"});

    ProgramFolder noLibrary(fs::path{});
    const fs::path src = videos / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 1, AviSound::Mp3));
    TDistillSound bare(noLibrary.path());
    EXPECT_FALSE(bare.DistillToMP3(src.string()));
    EXPECT_NE(bare.LastError.find("libAudioPrep.so"), std::string::npos) << bare.LastError;
}

} // namespace

OMM_TEST_MAIN_WITH_APP
