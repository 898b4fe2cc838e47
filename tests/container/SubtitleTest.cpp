#include "ContainerFixtures.h"
#include "container/uGbkText.h"
#include "container/uWriteSubtitle.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace omm::test;

namespace {

const char* Example = "1\n2\n3\n\n1\n00:00:01,500 --> 00:00:03,000\nHello\n\n\n";

struct TWritten {
    std::vector<uint8_t> Bytes;
    std::vector<std::string> Messages;
    size_t Entries = 0;
};

// Writes the table after a 40-byte stand-in for what comes first, then the pool at the
// end of a 100-byte stand-in for the frames, as the image writer does.
TWritten WriteSubtitles(const std::string& Model, const std::string& File) {
    TMemoryOutStream out;
    out.WriteBytes(std::vector<uint8_t>(40, 0xEE));
    TWriteSubtitle writer(&out, Model, File);
    TWritten result;
    writer.ShowMessage = [&](const std::string& text, const std::string& caption) {
        result.Messages.push_back(caption + "|" + text);
    };
    writer.Execute();
    out.Seek(out.Size());
    out.WriteBytes(std::vector<uint8_t>(100, 0xCC));
    writer.PatchTextOffsets(static_cast<uint32_t>(out.Size()));
    result.Bytes = out.Bytes();
    result.Entries = writer.EntryCount();
    return result;
}

} // namespace

TEST(Subtitles, TheOneEntryExampleGivesTheDocumentedBytes) {
    TempDir dir;
    writeText(dir / "a.srt", Example);
    const TWritten w = WriteSubtitles("LM63", (dir / "a.srt").string());
    const auto& b = w.Bytes;
    EXPECT_TRUE(w.Messages.empty());
    ASSERT_EQ(b.size(), 40u + 24u + 100u + 8u);
    const std::vector<uint8_t> head(b.begin() + 40, b.begin() + 52);
    EXPECT_EQ(head, (std::vector<uint8_t>{1, 0, 2, 3, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(U32At(b, 52), 1500u);
    EXPECT_EQ(U32At(b, 56), 3000u);
    const uint32_t poolStart = 40 + 24 + 100;
    EXPECT_EQ(U32At(b, 60), poolStart);
    const std::vector<uint8_t> pool(b.begin() + poolStart, b.end());
    EXPECT_EQ(pool, (std::vector<uint8_t>{'H', 'e', 'l', 'l', 'o', 0, 0, 0}));
}

TEST(Subtitles, TextsAreGbkWhateverTheFileEncoding) {
    const std::string utf8Text = "你好";
    const std::string gbkText = Utf8ToGbk(utf8Text);
    ASSERT_EQ(gbkText, "\xC4\xE3\xBA\xC3");
    const std::string body = "0\n0\n0\nx\n1\n0:0:1,0-->0:0:2,0\n" + utf8Text + "\nline2\n\n";
    const std::string gbkBody = "0\n0\n0\nx\n1\n0:0:1,0-->0:0:2,0\n" + gbkText + "\nline2\n\n";
    TempDir dir;
    for (const auto& [name, content] : std::vector<std::pair<std::string, std::string>>{
             {"utf8.srt", body},
             {"bom.srt", "\xEF\xBB\xBF" + body},
             {"gbk.srt", gbkBody},
             {"crlf.srt", "\xEF\xBB\xBF"
                          "0\r\n0\r\n0\r\nx\r\n1\r\n"
                          "0:0:1,0-->0:0:2,0\r\n" +
                              utf8Text + "\r\nline2\r\n\r\n"}}) {
        writeText(dir / name, content);
        const TWritten w = WriteSubtitles("LM63", (dir / name).string());
        EXPECT_TRUE(w.Messages.empty()) << name;
        const std::string pool(w.Bytes.end() - (gbkText.size() + 7), w.Bytes.end());
        EXPECT_EQ(pool, gbkText + std::string(1, '\0') + "line2" + std::string(1, '\0')) << name;
    }
}

TEST(Subtitles, AFileEndingAfterTheFirstTextLineGetsThreeNulBytes) {
    TempDir dir;
    writeText(dir / "a.srt", "0\n0\n0\n\n1\n00:00:00,000 --> 00:00:01,000\nA\n\n\n2\n"
                             "00:00:01,000 --> 00:00:02,000\nBye");
    const TWritten w = WriteSubtitles("LM63", (dir / "a.srt").string());
    ASSERT_EQ(w.Entries, 2u);
    EXPECT_EQ(std::string(w.Bytes.end() - 10, w.Bytes.end()), std::string("A\0\0\0Bye\0\0\0", 10));
}

TEST(Subtitles, AMissingFileGivesAnEmptyTable) {
    const TWritten w = WriteSubtitles("LM63", "/nonexistent/a.srt");
    ASSERT_EQ(w.Bytes.size(), 40u + 12u + 100u);
    for (size_t i = 40; i < 52; ++i)
        EXPECT_EQ(w.Bytes[i], 0);
    EXPECT_TRUE(w.Messages.empty());
}

TEST(Subtitles, OtherModelsWriteNothing) {
    TempDir dir;
    writeText(dir / "a.srt", Example);
    for (const char* model : {"LM41", "LM52"}) {
        const TWritten w = WriteSubtitles(model, (dir / "a.srt").string());
        EXPECT_EQ(w.Bytes.size(), 140u) << model;
    }
}

TEST(Subtitles, AMalformedFileIsReportedAndTheTableStaysWhole) {
    TempDir dir;
    const auto file = dir / "bad.srt";
    // The second entry's time line is broken: the first entry is kept, the second has no
    // text and must not leave an entry pointing nowhere.
    writeText(file, "5\n6\n7\n\n1\n00:00:01,000 --> 00:00:02,000\nOne\nTwo\n\n2\nbroken\nX\nY\n");
    const TWritten w = WriteSubtitles("LM63", file.string());
    ASSERT_EQ(w.Messages.size(), 1u);
    EXPECT_EQ(w.Messages[0], "字幕错误|字幕文件：" + file.string() + "格式错误！");
    ASSERT_EQ(w.Entries, 1u);
    ASSERT_EQ(w.Bytes.size(), 40u + 24u + 100u + 8u);
    EXPECT_EQ(U16At(w.Bytes, 40), 5);
    EXPECT_EQ(U32At(w.Bytes, 60), 164u);
}

TEST(Subtitles, AnOverlongTextIsCutToTheDeviceBuffer) {
    TempDir dir;
    std::string longLine;
    for (int i = 0; i < 300; ++i)
        longLine += "字";
    writeText(dir / "a.srt",
              "0\n0\n0\n\n1\n0:0:0,0-->0:0:1,0\n" + longLine + "\n" + longLine + "\n\n");
    const TWritten w = WriteSubtitles("LM63", (dir / "a.srt").string());
    const size_t poolStart = 40 + 24 + 100;
    const size_t poolSize = w.Bytes.size() - poolStart;
    EXPECT_LE(poolSize, 501u);
    EXPECT_EQ(w.Bytes.back(), 0);
    // No double-byte character is split: the text converts back cleanly.
    const std::string first(reinterpret_cast<const char*>(w.Bytes.data() + poolStart));
    EXPECT_EQ(GbkToUtf8(first).find("\xEF\xBF\xBD"), std::string::npos);
}

struct TCheckCase {
    const char* Name;
    const char* Content;
    const char* Message; // empty: passes
};

class SubtitleCheck : public ::testing::TestWithParam<TCheckCase> {};

TEST_P(SubtitleCheck, ReportsTheFirstFailingLine) {
    const TCheckCase c = GetParam();
    TempDir dir;
    writeText(dir / "a.srt", c.Content);
    std::string message;
    const bool ok = TWriteSubtitle::CheckSubtitleFile((dir / "a.srt").string(), &message);
    EXPECT_EQ(ok, std::string(c.Message).empty());
    EXPECT_EQ(message, c.Message);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, SubtitleCheck,
    ::testing::Values(
        TCheckCase{"Good", "1\n2\n3\n\n1\n00:00:01,500 --> 00:00:03,000\nHello\n\n\n", ""},
        TCheckCase{"PlainSrtFailsAtLineTwo", "1\n00:00:01,000 --> 00:00:02,000\nHi\n\n",
                   "字幕第2行错误：00:00:01,000 --> 00:00:02,000不是标准的数字格式！"},
        TCheckCase{"EmptyHeaderLine", "1\n\n3\n", "字幕第2行位置错误，不能是空行！"},
        TCheckCase{"OneTextLinePerEntry",
                   "0\n0\n0\n\n1\n00:00:01,000 --> 00:00:02,000\nA\n\n2\n"
                   "00:00:03,000 --> 00:00:04,000\nB\n\n",
                   "字幕第10行错误：00:00:03,000 --> 00:00:04,000不是标准的数字格式！"},
        TCheckCase{"BadTime", "0\n0\n0\n\n1\n00:00:01 --> 00:00:02,000\nA\nB\n\n",
                   "字幕第6行错误：00:00:01 --> 00:00:02,000不是标准的时间格式！"},
        TCheckCase{"EmptyEntryNumber", "0\n0\n0\n\n1\n0:0:1,0-->0:0:2,0\nA\nB\n\n\n",
                   "字幕第10行位置错误，不能是空行！"}),
    [](const auto& info) { return std::string(info.param.Name); });

TEST(SubtitleTime, ParsesPartsWithBlanks) {
    uint32_t v = 0;
    EXPECT_TRUE(ParseSubtitleTime(" 01 : 02 : 03 , 004 ", v));
    EXPECT_EQ(v, 3600000u + 120000u + 3000u + 4u);
    EXPECT_FALSE(ParseSubtitleTime("01:02:03", v));
    EXPECT_FALSE(ParseSubtitleTime("a:b:c,d", v));
}
