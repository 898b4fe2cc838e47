#include "ContainerFixtures.h"
#include "codec/uGraphicStretch.h"
#include "container/uVideoDecode.h"
#include "container/uVideoEncode.h"
#include "container/uWriteBaseFrame.h"
#include "container/uWriteFileHead.h"
#include "container/uWriteSound.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace omm::test;
namespace fs = std::filesystem;

namespace {

struct TRun {
    fs::path Output;
    std::vector<uint8_t> Mp3; // the sound as it was before the run
    bool Parallel = false;
    int Steps = 0;
    std::vector<TRecordingSink::TCall> Calls;
    bool ProgressOnOwner = false;
};

// Encodes the first Count fixture frames for Model into Dir/out.<ext>, with the MP3
// fixture as its sound.
TRun Encode(const TempDir& Dir, const std::string& Model, int Count, TEncodePath Path,
            bool WithSound = true) {
    auto profile = MakeProfile(Model);
    TMediaResManager frames;
    FillFrames(frames, *profile, Count);
    TRun run;
    run.Output = Dir / (Model == "LM63" ? "out.ovi" : "out.omv");
    profile->VideoFileName = run.Output.string();
    const fs::path source = Dir / "source.avi";
    if (WithSound) {
        fs::copy_file(Mp3Fixture(), Dir / "source.mp3", fs::copy_options::overwrite_existing);
        run.Mp3 = ReadBytes(Dir / "source.mp3");
    }
    fs::create_directories(Dir / "work");
    TRecordingSink sink;
    TVideoEncode encode(*profile, Model, frames, sink);
    encode.SetSource(source.string());
    encode.WorkFolder = (Dir / "work").string();
    encode.Path = Path;
    EXPECT_TRUE(encode.Execute());
    run.Parallel = encode.LastRunParallel;
    run.Steps = sink.Steps();
    run.Calls = sink.Calls();
    run.ProgressOnOwner = sink.AllOnOwnerThread();
    return run;
}

struct TModelCase {
    const char* Model;
    int Count;    // frames
    int Interval; // K at the default frame rate
};

class RoundTrip : public ::testing::TestWithParam<std::tuple<TModelCase, TEncodePath>> {};

std::string PathName(TEncodePath p) {
    return p == TEncodePath::Sequential ? "Sequential" : "Auto";
}

} // namespace

TEST_P(RoundTrip, DecodesBackWithEveryOffsetInPlace) {
    const auto [c, path] = GetParam();
    TempDir dir;
    const TRun run = Encode(dir, c.Model, c.Count, path);
    EXPECT_EQ(run.Parallel, path == TEncodePath::Auto);

    const TVideoFile file = TVideoDecode::Open(run.Output.string());
    EXPECT_EQ(file.ModelName, c.Model);
    EXPECT_EQ(file.Head.FrameCount, uint32_t(c.Count));
    EXPECT_EQ(file.Head.Duration, uint32_t(c.Count * 100));
    EXPECT_EQ(file.Head.BaseFrameInterval, c.Interval);
    EXPECT_EQ(file.Head.FileSize, fs::file_size(run.Output));
    ASSERT_EQ(file.Records.size(), size_t(c.Count));

    // Sound: between the head's offset and the chapter's, byte for byte; consumed.
    const bool lm63 = std::string(c.Model) == "LM63";
    const uint32_t tables = 48 + 8 * uint32_t(file.BaseFrames.size()) +
                            (lm63 ? 12 + 12 * uint32_t(file.Subtitles.size()) : 0);
    EXPECT_EQ(file.SoundOffset, tables);
    EXPECT_EQ(file.Chapters.at(0).Value, 100u);
    EXPECT_EQ(file.Chapters.at(0).Offset, file.SoundOffset + run.Mp3.size());
    EXPECT_EQ(file.Records.front().Offset, file.Chapters[0].Offset);
    ASSERT_EQ(file.SoundLength, run.Mp3.size());
    EXPECT_TRUE(std::equal(run.Mp3.begin(), run.Mp3.end(), file.Bytes.begin() + file.SoundOffset));
    EXPECT_FALSE(fs::exists(dir / "source.mp3"));

    // Base frames: one per K frames, each on that frame's record, a key (or JPEG) record.
    const size_t bases = size_t((c.Count + c.Interval - 1) / c.Interval);
    ASSERT_EQ(file.BaseFrames.size(), bases);
    for (size_t i = 0; i < bases; ++i) {
        const int record = file.RecordAt(file.BaseFrames[i].Offset);
        ASSERT_EQ(record, int(i) * c.Interval) << "base frame " << i;
        EXPECT_EQ(file.BaseFrames[i].Value, uint32_t(record * 100));
        EXPECT_EQ(file.Records[size_t(record)].Type, lm63 ? TFrameType::Jpeg : TFrameType::Key);
    }

    // End mark, and nothing else for the delta models.
    if (lm63) {
        EXPECT_EQ(U32At(file.Bytes, file.EndMarkOffset), 0u);
        EXPECT_EQ(file.TextPoolOffset, file.Bytes.size()); // no subtitle file
    } else {
        EXPECT_EQ(file.Bytes[file.EndMarkOffset], 0xFF);
        EXPECT_EQ(file.Bytes[file.EndMarkOffset + 1], 0x05);
        EXPECT_EQ(file.EndMarkOffset + 2, file.Bytes.size());
    }

    // Every frame decodes, and looks like its source frame scaled to the device size.
    TGraphicStretch stretch;
    double worst = 0;
    TVideoDecode::DecodeFrames(file, [&](size_t index, const TBitmap& shown) {
        ASSERT_EQ(shown.Width(), file.Head.Width);
        ASSERT_EQ(shown.Height(), file.Head.Height);
        if (index % 45 != 0)
            return;
        TBitmap source;
        source.LoadFromFile(FrameFile(int(index)));
        stretch.Stretch(source, file.Head.Width, file.Head.Height);
        double sum = 0;
        for (size_t k = 0; k < source.DataSize(); k += 3) {
            const uint8_t* s = source.Data() + k;
            const uint8_t* d = shown.Data() + k;
            if (std::string(c.Model) == "LM41") {
                const int grey = (30 * s[2] + 59 * s[1] + 11 * s[0] + 50) / 100;
                sum += std::abs(grey - d[0]);
            } else {
                sum +=
                    (std::abs(s[0] - d[0]) + std::abs(s[1] - d[1]) + std::abs(s[2] - d[2])) / 3.0;
            }
        }
        worst = std::max(worst, sum / double(source.DataSize() / 3));
    });
    EXPECT_LT(worst, 20.0);

    // Progress: the stage texts in order, one step per hundredth, all on this thread.
    ASSERT_GE(run.Calls.size(), 7u);
    EXPECT_EQ(run.Calls[0].Kind, "begin");
    EXPECT_EQ(run.Calls[0].Text, "正在初始化编码...");
    const char* stages[] = {"正在进行章节编码......", "正在进行基准帧编码......",
                            "正在进行字幕编码......", "正在进行音频编码......",
                            "正在进行视频编码......"};
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(run.Calls[size_t(1 + i)].Text, stages[i]);
        EXPECT_EQ(run.Calls[size_t(1 + i)].Position, 0);
    }
    EXPECT_EQ(run.Calls.back().Kind, "end");
    const int step = c.Count / 100;
    EXPECT_EQ(run.Steps, (c.Count - 1) / step + 1);
    EXPECT_TRUE(run.ProgressOnOwner);

    // The segments' temporary files are gone.
    EXPECT_TRUE(fs::is_empty(dir / "work"));
}

INSTANTIATE_TEST_SUITE_P(
    Models, RoundTrip,
    ::testing::Combine(::testing::Values(TModelCase{"LM41", 271, 30}, TModelCase{"LM52", 301, 20},
                                         TModelCase{"LM63", 301, 20}),
                       ::testing::Values(TEncodePath::Sequential, TEncodePath::Auto)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).Model) + PathName(std::get<1>(info.param));
    });

// Segments start on key frames of the sequential run (K equals the codec's key interval
// at the default frame rate), so for these codecs both paths give the same bytes; any
// segment out of order would show.
class SameBytes : public ::testing::TestWithParam<TModelCase> {};

TEST_P(SameBytes, ParallelSegmentsAssembleToTheSequentialFile) {
    const TModelCase c = GetParam();
    TempDir a, b;
    const TRun sequential = Encode(a, c.Model, c.Count, TEncodePath::Sequential);
    const TRun parallel = Encode(b, c.Model, c.Count, TEncodePath::Auto);
    ASSERT_TRUE(parallel.Parallel);
    EXPECT_TRUE(ReadBytes(sequential.Output) == ReadBytes(parallel.Output));
}

INSTANTIATE_TEST_SUITE_P(Models, SameBytes,
                         ::testing::Values(TModelCase{"LM41", 271, 30},
                                           TModelCase{"LM63", 301, 20}),
                         [](const auto& info) { return std::string(info.param.Model); });

TEST(SegmentCuts, FollowTheBaseFrameInterval) {
    EXPECT_EQ(TWriteImage::SegmentLength(30), 90);
    EXPECT_EQ(TWriteImage::SegmentLength(36), 108);
    EXPECT_EQ(TWriteImage::SegmentLength(40), 80);
    EXPECT_EQ(TWriteImage::SegmentLength(48), 96);
    EXPECT_EQ(TWriteImage::SegmentLength(20), 100);
    EXPECT_EQ(TWriteImage::SegmentLength(3), 15);
}

TEST(SegmentCuts, TwoHundredSeventyFramesStaySequentialAndOneMoreSplitsInThree) {
    EXPECT_FALSE(TWriteImage::WantsParallel(270, 30));
    EXPECT_TRUE(TWriteImage::WantsParallel(271, 30));
    // 90, 90 and 91 frames.
    EXPECT_EQ(TWriteImage::PlanSegments(271, 30), (std::vector<int>{0, 90, 180}));
    TempDir dir;
    const TRun at270 = Encode(dir, "LM41", 270, TEncodePath::Auto, false);
    EXPECT_FALSE(at270.Parallel);
    const TRun at271 = Encode(dir, "LM41", 271, TEncodePath::Auto, false);
    EXPECT_TRUE(at271.Parallel);
}

TEST(SegmentCuts, SegmentsCoverTheFramesAndTheLastTakesTheRest) {
    // The image writer's own cut, seen through a run with a tiny base-frame interval:
    // LM52 at frame rate 1 has K = 2 and segments of 10 frames; 37 frames give segments
    // 0-9, 10-19 and 20-36.
    TempDir dir;
    auto profile = MakeProfile("LM52");
    profile->PlaySpeed = 1;
    TMediaResManager frames;
    FillFrames(frames, *profile, 37);
    TMemoryOutStream out;
    TRecordingSink sink;
    TWriteFileHead head(&out, *profile, frames);
    TWriteChapter chapter(&out, *profile, "LM52");
    TWriteBaseFrame baseFrame(&out, *profile, "LM52");
    TWriteSubtitle subtitle(&out, "LM52", "");
    TWriteSound sound(&out, head, "");
    for (TWriteData* w :
         std::initializer_list<TWriteData*>{&head, &chapter, &baseFrame, &subtitle, &sound})
        w->Execute();
    TWriteImage image(&out, *profile, "LM52", frames, dir.path().string(), sink,
                      {head, chapter, baseFrame, subtitle});
    image.Run();
    EXPECT_TRUE(image.Parallel);
    EXPECT_EQ(image.SegmentStarts, (std::vector<int>{0, 10, 20}));
    ASSERT_EQ(image.TempFiles.size(), 3u);
    EXPECT_EQ(fs::path(image.TempFiles[2]).filename(), "2.tmp");
    const TVideoFile file = TVideoDecode::Parse(out.Bytes(), "memory");
    ASSERT_EQ(file.Records.size(), 37u);
    // Every segment starts with a key frame; the base frames (every 2nd frame) all land
    // on records.
    for (int start : {0, 10, 20})
        EXPECT_EQ(file.Records[size_t(start)].Type, TFrameType::Key) << start;
    ASSERT_EQ(file.BaseFrames.size(), 19u);
    for (size_t i = 0; i < 19; ++i)
        EXPECT_EQ(file.RecordAt(file.BaseFrames[i].Offset), int(2 * i));
}

TEST(SegmentCuts, AThousandFramesAtIntervalTwentyMakeTenSegmentsOfAHundred) {
    EXPECT_TRUE(TWriteImage::WantsParallel(1000, 20));
    EXPECT_EQ(TWriteImage::PlanSegments(1000, 20),
              (std::vector<int>{0, 100, 200, 300, 400, 500, 600, 700, 800, 900}));
    // 1099 frames: still ten segments, the last one of 199 frames.
    EXPECT_EQ(TWriteImage::PlanSegments(1099, 20).back(), 900);
    EXPECT_FALSE(TWriteImage::WantsParallel(300, 20));
    EXPECT_FALSE(TWriteImage::WantsParallel(5000, 0));
}

TEST(SegmentOrder, RecordsStayInFrameOrderWhateverOrderSegmentsRunIn) {
    // LM63 records depend on their own frame only, so a sequential run is the reference.
    // At frame rate 1 (K = 2, segments of 10 frames) 60 frames make six segments; one
    // thread taking them in random order finishes them in random order.
    auto encode = [](const TempDir& Dir, TEncodePath Path, uint8_t PickOrder, int Threads) {
        auto profile = MakeProfile("LM63");
        profile->PlaySpeed = 1;
        TMediaResManager frames;
        FillFrames(frames, *profile, 60);
        profile->VideoFileName = (Dir / "v.ovi").string();
        TNullProgressSink sink;
        TVideoEncode run(*profile, "LM63", frames, sink);
        run.Path = Path;
        run.PickOrder = PickOrder;
        run.ThreadCount = Threads;
        run.Execute();
        EXPECT_EQ(run.LastRunParallel, Path == TEncodePath::Auto);
        return ReadBytes(Dir / "v.ovi");
    };
    TempDir reference;
    const auto expected = encode(reference, TEncodePath::Sequential, 0, 3);
    for (int round = 0; round < 3; ++round) {
        TempDir dir;
        EXPECT_TRUE(encode(dir, TEncodePath::Auto, 1, 1) == expected) << "round " << round;
        TempDir dir3;
        EXPECT_TRUE(encode(dir3, TEncodePath::Auto, 1, 3) == expected) << "round " << round;
    }
}

TEST(EmptyVideo, ZeroFramesGiveAnEmptyStreamAndTheEndMark) {
    for (const char* model : {"LM41", "LM63"}) {
        TempDir dir;
        const TRun run = Encode(dir, model, 0, TEncodePath::Auto);
        const TVideoFile file = TVideoDecode::Open(run.Output.string());
        EXPECT_EQ(file.Records.size(), 0u);
        EXPECT_EQ(file.Chapters[0].Offset, file.SoundOffset + run.Mp3.size());
        EXPECT_EQ(file.EndMarkOffset, file.Chapters[0].Offset);
        EXPECT_EQ(file.Head.FileSize, file.Bytes.size());
    }
}

TEST(SecondRun, ReplacesTheEarlierFileCompletely) {
    TempDir dir;
    Encode(dir, "LM41", 60, TEncodePath::Auto, false);
    const auto first = fs::file_size(dir / "out.omv");
    Encode(dir, "LM41", 5, TEncodePath::Auto, false);
    const auto second = fs::file_size(dir / "out.omv");
    EXPECT_LT(second, first);
    EXPECT_EQ(TVideoDecode::Open((dir / "out.omv").string()).Records.size(), 5u);
}

TEST(Lm63Subtitles, TravelThroughTheWholePipeline) {
    TempDir dir;
    writeText(dir / "source.srt", "\xEF\xBB\xBF"
                                  "1\n2\n3\n\n1\n00:00:01,500 --> 00:00:03,000\n你好\n世界\n\n"
                                  "2\n00:00:04,000 --> 00:00:05,000\nHello\n\n\n");
    const TRun run = Encode(dir, "LM63", 40, TEncodePath::Auto);
    const TVideoFile file = TVideoDecode::Open(run.Output.string());
    ASSERT_TRUE(file.HasSubtitleTable);
    EXPECT_EQ(file.SubtitleHeader0, 1);
    EXPECT_EQ(file.SubtitleHeader1, 2);
    EXPECT_EQ(file.SubtitleHeader2, 3);
    ASSERT_EQ(file.Subtitles.size(), 2u);
    EXPECT_EQ(file.Subtitles[0].Start, 1500u);
    EXPECT_EQ(file.Subtitles[0].End, 3000u);
    EXPECT_EQ(file.Subtitles[0].FirstLine, "你好");
    EXPECT_EQ(file.Subtitles[0].SecondLine, "世界");
    EXPECT_EQ(file.Subtitles[1].FirstLine, "Hello");
    EXPECT_EQ(file.Subtitles[1].SecondLine, "");
    EXPECT_EQ(file.Subtitles[0].TextOffset, file.TextPoolOffset);
    EXPECT_EQ(file.BaseFrames.size(), 2u);
    // The pool is the last thing in the file: "你好" NUL "世界" NUL "Hello" NUL NUL NUL.
    EXPECT_EQ(file.Bytes.size() - file.TextPoolOffset, 4u + 1 + 4 + 1 + 5 + 3);
}

TEST(BaseFrameList, EntriesBeyondTheVideoStayUnpatchedAndHarmNothing) {
    TempDir dir;
    auto profile = MakeProfile("LM41");
    TMediaResManager frames;
    FillFrames(frames, *profile, 40);
    profile->BaseFrames.resize(6, 12345); // more base frames than the video has
    profile->VideoFileName = (dir / "x.omv").string();
    fs::copy_file(Mp3Fixture(), dir / "x.mp3");
    const auto mp3 = ReadBytes(dir / "x.mp3");
    TNullProgressSink sink;
    TVideoEncode encode(*profile, "LM41", frames, sink);
    encode.SetSource((dir / "x.avi").string());
    encode.Execute();
    const TVideoFile file = TVideoDecode::Open((dir / "x.omv").string());
    ASSERT_EQ(file.BaseFrames.size(), 6u);
    EXPECT_EQ(file.RecordAt(file.BaseFrames[1].Offset), 30);
    for (size_t i = 2; i < 6; ++i)
        EXPECT_EQ(file.BaseFrames[i].Offset, 0u);
    EXPECT_TRUE(std::equal(mp3.begin(), mp3.end(), file.Bytes.begin() + file.SoundOffset));
}
