// libAudioPrep.so on its own, loaded the way the program loads it.

#include "AudioPrep.h"
#include "acquire/AviFixtures.h"

#include <cstring>
#include <dlfcn.h>
#include <sstream>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

class AudioPrepTest : public ::testing::Test {
protected:
    void SetUp() override {
        handle = dlopen(builtProgram("libAudioPrep.so").c_str(), RTLD_NOW | RTLD_LOCAL);
        ASSERT_NE(handle, nullptr) << dlerror();
        convertWave = reinterpret_cast<ConvertWaveFunc>(dlsym(handle, "ConvertWave"));
        convertMP3 = reinterpret_cast<ConvertMP3Func>(dlsym(handle, "ConvertMP3"));
        ASSERT_NE(convertWave, nullptr);
        ASSERT_NE(convertMP3, nullptr);
    }
    void TearDown() override {
        if (handle)
            dlclose(handle);
    }

    // The 16-bit PCM format fields of a WAV file, checked against its size.
    struct Wav {
        int channels = 0, rate = 0, bits = 0;
        double seconds = 0;
    };
    Wav readWav(const fs::path& file) {
        Wav w;
        auto b = readFile(file);
        EXPECT_GE(b.size(), 44u);
        if (b.size() < 44)
            return w;
        EXPECT_EQ(std::string(b.begin(), b.begin() + 4), "RIFF");
        EXPECT_EQ(std::string(b.begin() + 8, b.begin() + 16), "WAVEfmt ");
        EXPECT_EQ(le32(b, 4), b.size() - 8);
        EXPECT_EQ(le16(b, 20), 1); // PCM
        EXPECT_EQ(le32(b, 40), b.size() - 44);
        w.channels = le16(b, 22);
        w.rate = int(le32(b, 24));
        w.bits = le16(b, 34);
        w.seconds = double(b.size() - 44) / (w.rate * w.channels * 2.0);
        return w;
    }

    TempDir dir;
    void* handle = nullptr;
    ConvertWaveFunc convertWave = nullptr;
    ConvertMP3Func convertMP3 = nullptr;
};

TEST_F(AudioPrepTest, StrictRouteKeepsTheSourceRateAndChannels) {
    for (AviSound sound : {AviSound::Mp3, AviSound::Pcm}) {
        SCOPED_TRACE(sound == AviSound::Mp3 ? "mp3" : "pcm");
        const fs::path src = dir / "clip.avi";
        ASSERT_TRUE(makeAvi(src, "25", 2, sound));
        std::string target = (dir / "out.wav").string();
        const char* r = convertWave(src.c_str(), target.c_str());
        ASSERT_EQ(r, target.c_str()); // points into our own argument
        Wav w = readWav(target);
        EXPECT_EQ(w.channels, 2);
        EXPECT_EQ(w.rate, 22050);
        EXPECT_EQ(w.bits, 16);
        EXPECT_NEAR(w.seconds, 2.0, 0.1);
        fs::remove(target);
    }
}

TEST_F(AudioPrepTest, TolerantRouteWrites44100HzStereo) {
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 2, AviSound::Mp3));
    std::string target = (dir / "Sound.wav").string();
    const char* r = convertMP3(src.c_str(), target.c_str(), 0, 0);
    ASSERT_EQ(r, target.c_str());
    Wav w = readWav(target);
    EXPECT_EQ(w.channels, 2);
    EXPECT_EQ(w.rate, 44100);
    EXPECT_NEAR(w.seconds, 2.0, 0.1);
}

TEST_F(AudioPrepTest, DamagedPacketsFailTheStrictRouteAndBecomeSilenceInTheTolerantOne) {
    const fs::path src = dir / "clip.avi";
    ASSERT_TRUE(makeAvi(src, "25", 6, AviSound::Mp3));
    // Garbage over the payload of the middle third of the sound packets; the chunk
    // headers stay, so the file still reads as an AVI.
    auto list = run("ffprobe", {"-v", "error", "-select_streams", "a", "-show_entries",
                                "packet=pos,size", "-of", "csv=p=0", src.string()});
    std::vector<std::pair<size_t, size_t>> packets; // position, size
    std::istringstream lines(list.out);
    for (std::string line; std::getline(lines, line);) {
        size_t comma = line.find(',');
        if (comma != std::string::npos)
            packets.emplace_back(std::stoul(line.substr(comma + 1)), std::stoul(line));
    }
    ASSERT_GT(packets.size(), 30u);
    auto bytes = readFile(src);
    for (size_t k = packets.size() / 3; k < packets.size() * 2 / 3; ++k)
        for (size_t i = packets[k].first; i < packets[k].first + packets[k].second; ++i)
            bytes[i] = static_cast<unsigned char>(i * 7919u);
    writeFile(dir / "damaged.avi", bytes);

    std::string strict = (dir / "strict.wav").string();
    EXPECT_STREQ(convertWave((dir / "damaged.avi").c_str(), strict.c_str()), "");
    EXPECT_FALSE(fs::exists(strict));
    std::string target = (dir / "Sound.wav").string();
    const char* r = convertMP3((dir / "damaged.avi").c_str(), target.c_str(), 0, 0);
    ASSERT_EQ(r, target.c_str());
    EXPECT_NEAR(readWav(target).seconds, 6.0, 0.2);
}

TEST_F(AudioPrepTest, FailuresGiveAnEmptyTextAndLeaveNoFile) {
    const fs::path silent = dir / "silent.avi";
    ASSERT_TRUE(makeAvi(silent, "25", 1, AviSound::None));
    writeText(dir / "text.avi", "no video here");
    const std::string sources[] = {silent.string(), (dir / "text.avi").string(),
                                   (dir / "missing.avi").string()};
    for (const auto& src : sources) {
        SCOPED_TRACE(src);
        std::string target = (dir / "out.wav").string();
        const char* r = convertWave(src.c_str(), target.c_str());
        EXPECT_EQ(r, target.c_str() + target.size());
        EXPECT_STREQ(r, "");
        r = convertMP3(src.c_str(), target.c_str(), 0, 0);
        EXPECT_STREQ(r, "");
        EXPECT_EQ(filesIn(dir.path()).size(), 2u) << "only the two sources remain";
    }
    EXPECT_EQ(convertWave(silent.c_str(), nullptr), nullptr);
    std::string target = (dir / "x.wav").string();
    EXPECT_STREQ(convertWave(nullptr, target.c_str()), "");
}

} // namespace

OMM_TEST_MAIN_WITH_APP
