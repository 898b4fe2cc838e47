#include "ContainerFixtures.h"
#include "container/uVideoDecode.h"
#include "container/uVideoEncode.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>
#include <map>
#include <random>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

// A small valid file of the model, with sound and (LM63) subtitles, made once per model.
const std::vector<uint8_t>& ValidFile(const std::string& Model) {
    static std::map<std::string, std::vector<uint8_t>> cache;
    auto it = cache.find(Model);
    if (it != cache.end())
        return it->second;
    TempDir dir;
    auto profile = MakeProfile(Model);
    TMediaResManager frames;
    FillFrames(frames, *profile, 45);
    profile->VideoFileName = (dir / "v.bin").string();
    writeFile(dir / "v.mp3", std::vector<unsigned char>(333, 0x77));
    writeText(dir / "v.srt", "0\n0\n0\n\n1\n0:0:1,0-->0:0:2,0\nA\nB\n\n");
    TNullProgressSink sink;
    TVideoEncode encode(*profile, Model, frames, sink);
    encode.SetSource((dir / "v.avi").string());
    encode.Execute();
    return cache[Model] = ReadBytes(dir / "v.bin");
}

void PutU32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
    for (int k = 0; k < 4; ++k)
        b[at + size_t(k)] = uint8_t(v >> (8 * k));
}

struct TDamage {
    const char* Name;
    const char* Model;
    std::function<void(std::vector<uint8_t>&)> Apply;
    uint64_t Offset; // where the error must point
};

class DamagedFile : public ::testing::TestWithParam<TDamage> {};

} // namespace

TEST(Decoder, ReadsTheValidFixtures) {
    for (const char* model : {"LM41", "LM52", "LM63"}) {
        const TVideoFile file = TVideoDecode::Parse(ValidFile(model), "v");
        EXPECT_EQ(file.Records.size(), 45u);
        EXPECT_EQ(file.SoundLength, 333u);
        size_t frames = 0;
        TVideoDecode::DecodeFrames(file, [&](size_t, const TBitmap&) { ++frames; });
        EXPECT_EQ(frames, 45u);
        EXPECT_EQ(file.Subtitles.size(), std::string(model) == "LM63" ? 1u : 0u);
    }
}

TEST_P(DamagedFile, IsRefusedWithTheOffset) {
    const TDamage d = GetParam();
    std::vector<uint8_t> bytes = ValidFile(d.Model);
    d.Apply(bytes);
    try {
        TVideoFile file = TVideoDecode::Parse(bytes, "damaged.omv");
        TVideoDecode::DecodeFrames(file, [](size_t, const TBitmap&) {});
        FAIL() << "accepted";
    } catch (const TVideoFormatError& e) {
        EXPECT_EQ(e.Offset(), d.Offset) << e.what();
        EXPECT_NE(std::string(e.what()).find("damaged.omv: offset " + std::to_string(d.Offset)),
                  std::string::npos)
            << e.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DamagedFile,
    ::testing::Values(
        TDamage{"Short", "LM41", [](auto& b) { b.resize(30); }, 0},
        TDamage{"NoMagic", "LM41", [](auto& b) { b[1] = 'X'; }, 0},
        TDamage{"UnknownFormat", "LM52", [](auto& b) { PutU32(b, 4, 0x12345678); }, 4},
        TDamage{"Truncated", "LM52", [](auto& b) { b.resize(b.size() - 100); }, 8},
        TDamage{"WrongHeadSize", "LM41", [](auto& b) { b[12] = 41; }, 12},
        TDamage{"SoundOffsetPastTheEnd", "LM41", [](auto& b) { PutU32(b, 34, 0x7FFFFFFF); }, 34},
        TDamage{"ChapterBeforeTheSound", "LM52", [](auto& b) { PutU32(b, 40, 20); }, 40},
        TDamage{"FrameCountWrong", "LM41", [](auto& b) { PutU32(b, 16, 44); }, 16},
        TDamage{"BaseFrameMidRecord", "LM41", [](auto& b) { PutU32(b, 48, U32At(b, 48) + 1); },
                48}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(Decoder, ARecordWhoseLengthRunsPastTheEndNamesItsLengthField) {
    std::vector<uint8_t> b = ValidFile("LM52");
    const uint32_t first = U32At(b, 40);
    PutU32(b, first + 2, 0x00FFFFFF);
    try {
        TVideoDecode::Parse(b, "x");
        FAIL() << "accepted";
    } catch (const TVideoFormatError& e) {
        EXPECT_EQ(e.Offset(), first + 2u) << e.what();
    }
}

TEST(Decoder, ASubtitleTextOutsideThePoolIsRefused) {
    std::vector<uint8_t> b = ValidFile("LM63");
    // base-frame table: 3 entries (45 frames, K = 20); the subtitle table follows it.
    const size_t textField = 48 + 3 * 8 + 12 + 8;
    PutU32(b, textField, 50);
    EXPECT_THROW(TVideoDecode::Parse(b, "x"), TVideoFormatError);
}

TEST(Decoder, RandomDamageNeverCrashes) {
    std::mt19937 random(1234);
    for (const char* model : {"LM41", "LM52", "LM63"}) {
        const std::vector<uint8_t>& valid = ValidFile(model);
        for (int round = 0; round < 150; ++round) {
            std::vector<uint8_t> b = valid;
            const int flips = 1 + int(random() % 8);
            for (int f = 0; f < flips; ++f)
                b[random() % b.size()] = uint8_t(random());
            if (round % 10 == 0)
                b.resize(random() % b.size());
            try {
                TVideoFile file = TVideoDecode::Parse(b, "x");
                TVideoDecode::DecodeFrames(file, [](size_t, const TBitmap&) {});
            } catch (const TVideoFormatError&) {
            } catch (const TBitmapError&) {
                // a decoded size the picture type refuses; still a clean error
            }
        }
    }
}

TEST(Decoder, AMissingFileIsNamed) {
    try {
        TVideoDecode::Open("/nonexistent/x.omv");
        FAIL();
    } catch (const TVideoFormatError& e) {
        EXPECT_NE(std::string(e.what()).find("/nonexistent/x.omv"), std::string::npos);
    }
}
