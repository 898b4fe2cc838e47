#include "container/uWriteSubtitle.h"

#include "container/uGbkText.h"
#include "container/uOaviFormat.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

std::string Trim(const std::string& s) {
    size_t b = 0, e = s.size();
    while (b < e && static_cast<unsigned char>(s[b]) <= ' ')
        ++b;
    while (e > b && static_cast<unsigned char>(s[e - 1]) <= ' ')
        --e;
    return s.substr(b, e - b);
}

bool ParseInt(const std::string& Raw, long long& Value) {
    const std::string text = Trim(Raw);
    if (text.empty())
        return false;
    size_t i = 0;
    if (text[0] == '+' || text[0] == '-')
        i = 1;
    if (i == text.size())
        return false;
    for (size_t k = i; k < text.size(); ++k)
        if (text[k] < '0' || text[k] > '9')
            return false;
    errno = 0;
    Value = std::strtoll(text.c_str(), nullptr, 10);
    return errno == 0 && Value >= INT_MIN && Value <= INT_MAX;
}

// The two halves of a time line, split at the first "-->".
bool ParseTimeLine(const std::string& Line, uint32_t& Start, uint32_t& End) {
    const size_t arrow = Line.find("-->");
    if (arrow == std::string::npos)
        return false;
    return ParseSubtitleTime(Line.substr(0, arrow), Start) &&
           ParseSubtitleTime(Line.substr(arrow + 3), End);
}

struct TSubtitleEntry {
    uint32_t Start = 0;
    uint32_t End = 0;
    std::string Text; // both lines with their NUL bytes
    bool HasText = false;
};

// Builds a text from its two lines, cut so the whole fits the device's text buffer.
std::string MakeText(std::string First, std::string Second) {
    const char nul = '\0';
    if (First.empty())
        First.assign(1, nul);
    if (Second.empty())
        Second.assign(1, nul);
    const size_t limit = oavi::SubtitleTextLimit;
    if (First.size() + Second.size() + 2 > limit) {
        // Keep the first line whole where possible: it is what a short display shows.
        First = TruncateGbk(First, limit - 3);
        Second = TruncateGbk(Second, limit - 2 - First.size());
        if (Second.empty())
            Second.assign(1, nul);
    }
    return First + nul + Second + nul;
}

} // namespace

bool ParseSubtitleTime(const std::string& Text, uint32_t& Value) {
    const size_t c1 = Text.find(':');
    if (c1 == std::string::npos)
        return false;
    const size_t c2 = Text.find(':', c1 + 1);
    if (c2 == std::string::npos)
        return false;
    const size_t comma = Text.find(',', c2 + 1);
    if (comma == std::string::npos)
        return false;
    long long h, m, s, ms;
    if (!ParseInt(Text.substr(0, c1), h) || !ParseInt(Text.substr(c1 + 1, c2 - c1 - 1), m) ||
        !ParseInt(Text.substr(c2 + 1, comma - c2 - 1), s) || !ParseInt(Text.substr(comma + 1), ms))
        return false;
    const long long total = h * 3600000LL + m * 60000LL + s * 1000LL + ms;
    Value = static_cast<uint32_t>(total);
    return true;
}

bool ReadSubtitleLines(const std::string& FileName, std::vector<std::string>& Lines) {
    Lines.clear();
    std::error_code ec;
    if (FileName.empty() || !std::filesystem::is_regular_file(FileName, ec))
        return false;
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw TEncodeError(FileName + ": the subtitle file cannot be read");
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad())
        throw TEncodeError(FileName + ": the subtitle file cannot be read");
    if (bytes.rfind("\xEF\xBB\xBF", 0) == 0) {
        bytes.erase(0, 3);
        if (!IsValidUtf8(bytes))
            throw TEncodeError(FileName + ": the subtitle file starts as UTF-8 but is not");
        bytes = Utf8ToGbk(bytes);
    } else if (IsValidUtf8(bytes)) {
        bytes = Utf8ToGbk(bytes);
    }
    // Otherwise the bytes are taken as GBK already.
    std::string line;
    for (size_t i = 0; i < bytes.size(); ++i) {
        const char c = bytes[i];
        if (c == '\r' || c == '\n') {
            Lines.push_back(line);
            line.clear();
            if (c == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n')
                ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty())
        Lines.push_back(line);
    return true;
}

TWriteSubtitle::TWriteSubtitle(TOutStream* Stream, std::string ModelName, std::string SubtitleFile)
    : TWriteData(Stream), ModelName_(std::move(ModelName)), SubtitleFile_(std::move(SubtitleFile)) {
}

void TWriteSubtitle::Write() {
    if (!oavi::IsJpegModel(ModelName_))
        return;
    SeekEnd();
    TextPool.clear();
    TextOffsets.clear();

    std::vector<std::string> lines;
    if (!ReadSubtitleLines(SubtitleFile_, lines))
        lines = {"0", "0", "0"};

    long long header[3] = {0, 0, 0};
    std::vector<TSubtitleEntry> entries;
    std::string firstLine;
    bool failed = false;
    for (size_t i = 0; i < lines.size() && !failed; ++i) {
        const std::string line = Trim(lines[i]);
        if (i < 3) {
            failed = !ParseInt(line, header[i]);
            continue;
        }
        if (i == 3)
            continue;
        switch ((i - 4) % 5) {
        case 0: // the entry number; an empty line ends the subtitles
            if (line.empty())
                i = lines.size();
            else {
                long long number;
                failed = !ParseInt(line, number);
            }
            break;
        case 1: {
            TSubtitleEntry entry;
            failed = !ParseTimeLine(line, entry.Start, entry.End);
            if (!failed)
                entries.push_back(entry);
            break;
        }
        case 2:
            firstLine = line;
            if (i + 1 == lines.size() && !entries.empty()) {
                entries.back().Text = MakeText(firstLine, {});
                entries.back().HasText = true;
            }
            break;
        case 3:
            if (!entries.empty()) {
                entries.back().Text = MakeText(firstLine, line);
                entries.back().HasText = true;
            }
            break;
        default:
            break;
        }
    }
    if (failed && ShowMessage)
        ShowMessage("字幕文件：" + SubtitleFile_ + "格式错误！", "字幕错误");

    // An entry without a text would leave an offset pointing nowhere (and, in the middle
    // of the table, shift every later text); such entries are left out.
    std::erase_if(entries, [](const TSubtitleEntry& e) { return !e.HasText; });

    TOutStream& out = Out();
    out.WriteU16(static_cast<uint16_t>(header[0]));
    out.WriteU8(static_cast<uint8_t>(header[1]));
    out.WriteU8(static_cast<uint8_t>(header[2]));
    for (int k = 0; k < 8; ++k)
        out.WriteU8(0);
    TablePos = out.Size() + oavi::SubtitleTextOffsetField;
    for (const TSubtitleEntry& entry : entries) {
        out.WriteU32(entry.Start);
        out.WriteU32(entry.End);
        out.WriteU32(0);
        TextOffsets.push_back(static_cast<uint32_t>(TextPool.size()));
        TextPool += entry.Text;
    }
}

void TWriteSubtitle::PatchTextOffsets(uint32_t Base) {
    if (!oavi::IsJpegModel(ModelName_))
        return;
    TOutStream& out = Out();
    out.Write(TextPool.data(), TextPool.size());
    Offset32(out.Size());
    out.Seek(TablePos);
    for (uint32_t offset : TextOffsets) {
        out.WriteU32(offset + Base);
        out.Seek(out.Position() + oavi::SubtitleEntrySize - 4);
    }
}

bool TWriteSubtitle::CheckSubtitleFile(const std::string& FileName, std::string* Message) {
    std::vector<std::string> lines;
    try {
        if (!ReadSubtitleLines(FileName, lines)) {
            if (Message)
                *Message = FileName + "：字幕文件不存在！";
            return false;
        }
    } catch (const std::exception& e) {
        if (Message)
            *Message = e.what();
        return false;
    }
    auto fail = [&](const std::string& text) {
        if (Message)
            *Message = GbkToUtf8(text);
        return false;
    };
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string line = Trim(lines[i]);
        const std::string n = std::to_string(i + 1);
        const bool numberLine = i < 3 || (i >= 4 && (i - 4) % 5 == 0);
        const bool timeLine = i >= 4 && (i - 4) % 5 == 1;
        if (numberLine) {
            if (line.empty())
                return fail(Utf8ToGbk("字幕第" + n + "行位置错误，不能是空行！"));
            long long value;
            if (!ParseInt(line, value))
                return fail(Utf8ToGbk("字幕第" + n + "行错误：") + line +
                            Utf8ToGbk("不是标准的数字格式！"));
        } else if (timeLine) {
            uint32_t start, end;
            if (!ParseTimeLine(line, start, end))
                return fail(Utf8ToGbk("字幕第" + n + "行错误：") + line +
                            Utf8ToGbk("不是标准的时间格式！"));
        }
    }
    return true;
}
