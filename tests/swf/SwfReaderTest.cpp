// Reading movies: header, compression, frames, tags and sound tags, and what bad
// files give.

#include "support/TestSupport.h"
#include "swf/SwfTestSupport.h"

#include <zlib.h>

using namespace omm::swf;
using namespace omm::swftest;
using Compression = SwfTestWriter::Compression;

namespace {

SwfTestWriter ThreeFrames(double fps = 24.5) {
    SwfTestWriter w(320, 240, fps, 8);
    w.Background(0x336699);
    uint16_t rect = w.Rect(0, 0, 400, 400, Red);
    w.Place(rect, 1);
    w.Label("Start");
    w.ShowFrame();
    w.ShowFrame();
    w.Label("End");
    w.ShowFrame();
    return w;
}

} // namespace

class CompressionTest : public ::testing::TestWithParam<std::pair<Compression, const char*>> {};

TEST_P(CompressionTest, ReadsHeaderAndFramesOfEveryKind) {
    auto [compression, signature] = GetParam();
    SwfTestWriter w = ThreeFrames();
    std::string error;
    auto movie = SwfMovie::FromBytes(w.Bytes(compression), "m.swf", error);
    ASSERT_TRUE(movie) << error;
    const SwfHeader& h = movie->Header();
    EXPECT_EQ(std::string(h.signature, 3), signature);
    EXPECT_EQ(h.version, 8);
    EXPECT_EQ(h.stage.Width(), 320 * 20);
    EXPECT_EQ(h.stage.Height(), 240 * 20);
    EXPECT_EQ(h.frameRate8_8, 24 * 256 + 128);
    EXPECT_DOUBLE_EQ(h.FrameRate(), 24.5);
    EXPECT_EQ(h.declaredFrames, 3);
    EXPECT_EQ(movie->FrameCount(), 3u);
    EXPECT_EQ(movie->BackgroundColor(), 0x336699u);
    EXPECT_TRUE(movie->Warning().empty()) << movie->Warning();
    EXPECT_EQ(movie->TagStatistics().at(TagShowFrame), 3u);
    EXPECT_EQ(movie->TagStatistics().at(TagDefineShape3), 1u);
    EXPECT_EQ(movie->Root().FindLabel("end"), 2);
    EXPECT_EQ(movie->Root().FindLabel("START"), 0);
    EXPECT_EQ(movie->Root().FindLabel("middle"), -1);
}

INSTANTIATE_TEST_SUITE_P(Kinds, CompressionTest,
                         ::testing::Values(std::make_pair(Compression::None, "FWS"),
                                           std::make_pair(Compression::Zlib, "CWS"),
                                           std::make_pair(Compression::Lzma, "ZWS")));

TEST(SwfReader, CountsShowFramesWhenTheHeaderSaysNone) {
    SwfTestWriter w = ThreeFrames();
    std::string error;
    auto movie = SwfMovie::FromBytes(w.Bytes(Compression::None, 0), "m.swf", error);
    ASSERT_TRUE(movie) << error;
    EXPECT_EQ(movie->Header().declaredFrames, 0);
    EXPECT_EQ(movie->FrameCount(), 3u);
}

TEST(SwfReader, HeaderCountBelowTheShowFramesWins) {
    SwfTestWriter w = ThreeFrames();
    std::string error;
    auto movie = SwfMovie::FromBytes(w.Bytes(Compression::None, 2), "m.swf", error);
    ASSERT_TRUE(movie) << error;
    EXPECT_EQ(movie->FrameCount(), 2u);
}

TEST(SwfReader, KeepsSoundTagsPerFrameOfTheMainTimelineAndOfSprites) {
    SwfTestWriter w(100, 100);
    uint16_t sound = w.DefineSound(3, 1, true, false, 4, {1, 0, 2, 0, 3, 0, 4, 0});
    w.SoundStreamHead(3, 1, true, false, 2);
    w.SoundStreamBlock({9, 9, 9, 9});
    w.ShowFrame();
    w.StartSound(sound);
    w.SoundStreamBlock({8, 8, 8, 8});
    w.ShowFrame();
    uint16_t sprite = w.BeginSprite();
    w.ShowFrame();
    w.StartSound(sound);
    w.ShowFrame();
    w.EndSprite();
    w.Place(sprite, 1);
    w.ShowFrame();
    auto movie = Load(w);
    ASSERT_TRUE(movie);
    const SwfTimeline& root = movie->Root();
    ASSERT_EQ(root.FrameCount(), 3u);
    auto f0 = root.SoundTagsOfFrame(0);
    ASSERT_EQ(f0.size(), 2u);
    EXPECT_EQ(f0[0]->code, TagSoundStreamHead2);
    EXPECT_EQ(f0[1]->code, TagSoundStreamBlock);
    EXPECT_EQ(std::vector<uint8_t>(f0[1]->body.begin(), f0[1]->body.end()),
              (std::vector<uint8_t>{9, 9, 9, 9}));
    auto f1 = root.SoundTagsOfFrame(1);
    ASSERT_EQ(f1.size(), 2u);
    EXPECT_EQ(f1[0]->code, TagStartSound);
    EXPECT_EQ(f1[0]->body[0] | (f1[0]->body[1] << 8), sound);
    EXPECT_TRUE(root.SoundTagsOfFrame(2).empty());
    EXPECT_TRUE(root.SoundTagsOfFrame(7).empty());

    const SwfTimeline* s = movie->Sprite(sprite);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->FrameCount(), 2u);
    EXPECT_TRUE(s->SoundTagsOfFrame(0).empty());
    ASSERT_EQ(s->SoundTagsOfFrame(1).size(), 1u);

    const SwfTag* def = movie->DefinitionTag(sound);
    ASSERT_NE(def, nullptr);
    EXPECT_EQ(def->code, TagDefineSound);
    // The body is the file's own bytes: id, format byte, sample count, data.
    EXPECT_EQ(def->body.size(), 2u + 1u + 4u + 8u);
    EXPECT_EQ(def->body.back(), 0);
    EXPECT_EQ(def->body[def->body.size() - 2], 4);
    EXPECT_EQ(movie->TagStatistics().at(TagStartSound), 2u);
}

struct BadMovie {
    const char* name;
    std::function<std::vector<uint8_t>()> bytes;
    const char* message; // part of the error
};

class BadMovieTest : public ::testing::TestWithParam<BadMovie> {};

TEST_P(BadMovieTest, IsRefusedWithAClearMessage) {
    const BadMovie& bad = GetParam();
    std::string error;
    auto movie = SwfMovie::FromBytes(bad.bytes(), "bad.swf", error);
    EXPECT_FALSE(movie);
    EXPECT_NE(error.find("bad.swf"), std::string::npos) << error;
    EXPECT_NE(error.find(bad.message), std::string::npos) << error;
}

namespace {
std::vector<uint8_t> Patched(std::vector<uint8_t> bytes, size_t at, std::vector<uint8_t> with) {
    std::copy(with.begin(), with.end(), bytes.begin() + static_cast<ptrdiff_t>(at));
    return bytes;
}
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Files, BadMovieTest,
    ::testing::Values(
        BadMovie{"Empty", [] { return std::vector<uint8_t>{}; }, "not a Flash movie"},
        BadMovie{"Signature",
                 [] { return std::vector<uint8_t>{'G', 'I', 'F', '8', '9', 'a', 0, 0, 0, 0}; },
                 "does not start with FWS, CWS or ZWS"},
        BadMovie{"HeaderCut",
                 [] {
                     auto b = ThreeFrames().Bytes();
                     b.resize(10);
                     return b;
                 },
                 "header is cut short"},
        BadMovie{"HugeStage", [] { return SwfTestWriter(100000, 100, 12).Bytes(); }, "larger than"},
        BadMovie{
            "ClaimsGigabytes",
            [] {
                return Patched(ThreeFrames().Bytes(Compression::Zlib), 4, {0xFF, 0xFF, 0xFF, 0x7F});
            },
            "uncompressed size"},
        BadMovie{"DamagedZlib",
                 [] {
                     return Patched(ThreeFrames().Bytes(Compression::Zlib), 8, {0x12, 0x34, 0x56});
                 },
                 "zlib"},
        BadMovie{"DamagedLzma",
                 [] {
                     return Patched(ThreeFrames().Bytes(Compression::Lzma), 12,
                                    {0xFF, 0xFF, 0xFF, 0xFF, 0xFF});
                 },
                 "LZMA"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(SwfReader, ACutMovieGivesTheFramesThatCouldBeRead) {
    SwfTestWriter w(100, 100);
    for (int i = 0; i < 10; ++i) {
        w.Rect(0, 0, 200, 200, Red);
        w.ShowFrame();
    }
    for (auto c : {Compression::None, Compression::Zlib, Compression::Lzma}) {
        auto bytes = w.Bytes(c);
        bytes.resize(bytes.size() * 2 / 3);
        std::string error;
        auto movie = SwfMovie::FromBytes(bytes, "cut.swf", error);
        ASSERT_TRUE(movie) << error;
        EXPECT_FALSE(movie->Warning().empty());
        // Compressed data holds more frames per byte, so less of the movie survives.
        EXPECT_GE(movie->FrameCount(), c == Compression::None ? 5u : 1u);
        EXPECT_LT(movie->FrameCount(), 10u);
    }
}

TEST(SwfReader, ATagLongerThanTheFileEndsTheMovieThere) {
    SwfTestWriter w(100, 100);
    w.ShowFrame();
    w.Tag(TagDefineShape, std::vector<uint8_t>(10, 0));
    w.ShowFrame();
    auto bytes = w.Bytes();
    // The DefineShape header sits after the first ShowFrame: claim 60000 bytes.
    size_t at = bytes.size() - 2 - 2 - 10 - 2;
    bytes[at] = static_cast<uint8_t>((TagDefineShape << 6) | 0x3F);
    bytes[at + 1] = static_cast<uint8_t>(TagDefineShape >> 2);
    std::vector<uint8_t> longer = {0x60, 0xEA, 0, 0};
    bytes.insert(bytes.begin() + static_cast<ptrdiff_t>(at + 2), longer.begin(), longer.end());
    std::string error;
    auto movie = SwfMovie::FromBytes(bytes, "long.swf", error);
    ASSERT_TRUE(movie) << error;
    EXPECT_EQ(movie->FrameCount(), 1u);
    EXPECT_NE(movie->Warning().find("claims 60000 bytes"), std::string::npos) << movie->Warning();
}

TEST(SwfReader, SpritesNestedTooDeepAreLeftOut) {
    // A DefineSprite inside a DefineSprite inside ... 40 levels, written by hand.
    std::vector<uint8_t> inner = {0x40, 0x00, 0x00, 0x00}; // ShowFrame, End
    for (int level = 0; level < 40; ++level) {
        std::vector<uint8_t> body = {static_cast<uint8_t>(level + 1), 0, 1, 0};
        body.insert(body.end(), inner.begin(), inner.end());
        std::vector<uint8_t> tag = {static_cast<uint8_t>((39 << 6) | 0x3F),
                                    static_cast<uint8_t>(39 >> 2)};
        for (int i = 0; i < 4; ++i)
            tag.push_back(static_cast<uint8_t>(body.size() >> (8 * i)));
        tag.insert(tag.end(), body.begin(), body.end());
        inner = tag;
    }
    SwfTestWriter w(100, 100);
    std::vector<uint8_t> body(inner.begin() + 6, inner.end());
    w.Tag(TagDefineSprite, body);
    w.ShowFrame();
    auto movie = Load(w);
    ASSERT_TRUE(movie);
    EXPECT_NE(movie->Warning().find("nested"), std::string::npos) << movie->Warning();
    EXPECT_NE(movie->Sprite(40), nullptr);
    EXPECT_EQ(movie->Sprite(1), nullptr);
}

TEST(SwfReader, NamesTheFileThatCannotBeOpened) {
    std::string error;
    EXPECT_FALSE(SwfMovie::Load("/nonexistent/movie.swf", error));
    EXPECT_NE(error.find("/nonexistent/movie.swf"), std::string::npos);
}

TEST(SwfReader, TagNames) {
    EXPECT_EQ(TagName(TagDefineBitsJPEG3), "DefineBitsJPEG3");
    EXPECT_EQ(TagName(TagSoundStreamHead2), "SoundStreamHead2");
    EXPECT_EQ(TagName(1000), "Unknown(1000)");
    EXPECT_TRUE(IsSoundTriggerTag(TagStartSound2));
    EXPECT_FALSE(IsSoundTriggerTag(TagDefineSound));
}
