#include "container/uVideoDecode.h"

#include "container/uGbkText.h"
#include "container/uOaviFormat.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <iterator>

namespace {

uint16_t U16(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b[at] | (b[at + 1] << 8));
}
uint32_t U32(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}

class TParser {
public:
    TParser(TVideoFile& File) : F(File), B(File.Bytes) {}

    void Run() {
        ReadHead();
        ReadChapters();
        ReadRecords();
        ReadTables();
    }

private:
    [[noreturn]] void Fail(uint64_t Offset, const std::string& What) const {
        throw TVideoFormatError(F.FileName, Offset, What);
    }

    void ReadHead() {
        if (B.size() < oavi::HeadSize)
            Fail(0, "the file is " + std::to_string(B.size()) +
                        " bytes long, shorter than the 40-byte head");
        if (std::memcmp(B.data(), oavi::Magic, 4) != 0)
            Fail(oavi::OffMagic, "no \"OAVI\" mark: not a device video");
        TVideoFileHead& h = F.Head;
        std::memcpy(h.Magic, B.data(), 4);
        h.FormatCode = U32(B, oavi::OffFormatCode);
        h.FileSize = U32(B, oavi::OffFileSize);
        h.HeadSize = U16(B, oavi::OffHeadSize);
        h.Version = U16(B, oavi::OffVersion);
        h.FrameCount = U32(B, oavi::OffFrameCount);
        h.Duration = U32(B, oavi::OffDuration);
        h.Height = U16(B, oavi::OffHeight);
        h.Width = U16(B, oavi::OffWidth);
        h.FrameRate = U16(B, oavi::OffFrameRate);
        h.BaseFrameInterval = U16(B, oavi::OffBaseFrameInterval);
        h.HeadOption = U16(B, oavi::OffHeadOption);
        h.SoundOffset = U32(B, oavi::OffSoundOffset);
        h.Trailer = U16(B, oavi::OffTrailer);

        F.ModelName = ModelForFormatCode(h.FormatCode);
        if (F.ModelName.empty())
            Fail(oavi::OffFormatCode, "unknown format code 0x" + Hex(h.FormatCode));
        F.Codec = *CodecForModel(F.ModelName);
        if (h.FileSize != B.size())
            Fail(oavi::OffFileSize, "the head gives a file size of " + std::to_string(h.FileSize) +
                                        " bytes, the file has " + std::to_string(B.size()));
        if (h.HeadSize != oavi::HeadSize)
            Fail(oavi::OffHeadSize, "head size " + std::to_string(h.HeadSize) + " is not 40");
        if (h.Width == 0 || h.Height == 0)
            Fail(oavi::OffHeight, "frame size " + std::to_string(h.Width) + " x " +
                                      std::to_string(h.Height) + " is empty");
        const uint32_t tablesEnd = oavi::ChapterTableStart + oavi::TableEntrySize;
        if (h.SoundOffset < tablesEnd || h.SoundOffset > B.size())
            Fail(oavi::OffSoundOffset, "sound offset " + std::to_string(h.SoundOffset) +
                                           " lies outside the file's sections");
        F.SoundOffset = h.SoundOffset;
    }

    void ReadChapters() {
        TVideoTableEntry chapter{U32(B, oavi::ChapterTableStart),
                                 U32(B, oavi::ChapterTableStart + 4)};
        F.Chapters = {chapter};
        if (chapter.Offset < F.SoundOffset || chapter.Offset > B.size())
            Fail(oavi::ChapterTableStart, "the chapter's frame offset " +
                                              std::to_string(chapter.Offset) +
                                              " lies before the sound or past the end of the file");
        F.FrameStreamOffset = chapter.Offset;
        F.SoundLength = chapter.Offset - F.SoundOffset;
    }

    void ReadRecords() {
        uint64_t pos = F.FrameStreamOffset;
        for (;;) {
            std::span<const uint8_t> rest(B.data() + pos, B.size() - pos);
            size_t length = 0;
            try {
                length = FrameRecordLength(F.Codec, rest);
            } catch (const TDecodeError& e) {
                Fail(pos + e.Offset(),
                     "frame record " + std::to_string(F.Records.size()) + ": " + e.what());
            }
            if (length == 0)
                break;
            TVideoRecord record;
            record.Offset = static_cast<uint32_t>(pos);
            record.Length = static_cast<uint32_t>(length);
            if (F.Codec == TCodecKind::LM63) {
                record.Type = TFrameType::Jpeg;
            } else {
                const uint8_t type = B[pos + 8];
                if (B[pos + 6] != oavi::MarkByte || B[pos + 7] != 0x04 || type > 2)
                    Fail(pos + 6, "frame record " + std::to_string(F.Records.size()) +
                                      " has no valid frame type");
                record.Type = static_cast<TFrameType>(type);
                record.Unchanged = type == 1 && length == oavi::RecordMinimum;
            }
            F.Records.push_back(record);
            pos += length;
        }
        F.EndMarkOffset = static_cast<uint32_t>(pos);
        const size_t markLength =
            F.Codec == TCodecKind::LM63 ? sizeof oavi::EndMarkJpeg : sizeof oavi::EndMarkDelta;
        F.TextPoolOffset = static_cast<uint32_t>(pos + markLength);
        if (F.Records.size() != F.Head.FrameCount)
            Fail(oavi::OffFrameCount, "the head counts " + std::to_string(F.Head.FrameCount) +
                                          " frames, the frame stream holds " +
                                          std::to_string(F.Records.size()));
        if (F.Codec != TCodecKind::LM63 && F.TextPoolOffset != B.size())
            Fail(F.TextPoolOffset, std::to_string(B.size() - F.TextPoolOffset) +
                                       " unexpected bytes after the end mark");
    }

    // Base-frame offsets must be 0 (never patched) or point at a record.
    bool BaseFramesFit(uint32_t Start, size_t Count) const {
        for (size_t i = 0; i < Count; ++i) {
            const uint32_t offset = U32(B, Start + i * oavi::TableEntrySize);
            if (offset != 0 && F.RecordAt(offset) < 0)
                return false;
        }
        return true;
    }

    void ReadBaseFrames(uint32_t Start, size_t Count) {
        for (size_t i = 0; i < Count; ++i) {
            const uint32_t at = Start + static_cast<uint32_t>(i * oavi::TableEntrySize);
            TVideoTableEntry entry{U32(B, at), U32(B, at + 4)};
            if (entry.Offset != 0 && F.RecordAt(entry.Offset) < 0)
                Fail(at, "base frame " + std::to_string(i) + " points at offset " +
                             std::to_string(entry.Offset) + ", which is not a frame record");
            F.BaseFrames.push_back(entry);
        }
    }

    // A subtitle table of Count entries at Start is plausible when every text offset
    // lies in the text pool.
    bool SubtitlesFit(uint32_t Start, size_t Count) const {
        for (size_t i = 0; i < Count; ++i) {
            const uint32_t text =
                U32(B, Start + oavi::SubtitleHeadSize + i * oavi::SubtitleEntrySize +
                           oavi::SubtitleTextOffsetField);
            if (text < F.TextPoolOffset || text >= B.size())
                return false;
        }
        return true;
    }

    std::string ReadText(uint32_t& At, uint32_t Limit) const {
        std::string text;
        while (At < Limit && B[At] != 0)
            text += static_cast<char>(B[At++]);
        if (At >= Limit)
            Fail(At, "a subtitle text runs past the end of the file");
        ++At; // its NUL byte
        return GbkToUtf8(text);
    }

    void ReadSubtitles(uint32_t Start, size_t Count) {
        F.HasSubtitleTable = true;
        F.SubtitleHeader0 = U16(B, Start);
        F.SubtitleHeader1 = B[Start + 2];
        F.SubtitleHeader2 = B[Start + 3];
        for (size_t i = 0; i < Count; ++i) {
            const uint32_t at =
                Start + oavi::SubtitleHeadSize + static_cast<uint32_t>(i * oavi::SubtitleEntrySize);
            TVideoSubtitle sub;
            sub.Start = U32(B, at);
            sub.End = U32(B, at + 4);
            sub.TextOffset = U32(B, at + 8);
            if (sub.TextOffset < F.TextPoolOffset || sub.TextOffset >= B.size())
                Fail(at + 8, "subtitle " + std::to_string(i) + " has its text at offset " +
                                 std::to_string(sub.TextOffset) + ", outside the text pool");
            uint32_t p = sub.TextOffset;
            const uint32_t limit = static_cast<uint32_t>(B.size());
            sub.FirstLine = ReadText(p, limit);
            sub.SecondLine = ReadText(p, limit);
            F.Subtitles.push_back(std::move(sub));
        }
    }

    void ReadTables() {
        const uint32_t start = oavi::ChapterTableStart + oavi::TableEntrySize;
        const uint32_t region = F.SoundOffset - start;
        if (F.Codec != TCodecKind::LM63) {
            if (region % oavi::TableEntrySize != 0)
                Fail(start, "the base-frame table (" + std::to_string(region) +
                                " bytes up to the sound) is not whole entries");
            ReadBaseFrames(start, region / oavi::TableEntrySize);
            return;
        }
        // LM63: base-frame table, then the subtitle table; try the count the head
        // suggests first, then every other split that fits.
        const uint32_t k = std::max<uint32_t>(1, F.Head.BaseFrameInterval);
        const size_t expected = (F.Head.FrameCount + k - 1) / k;
        std::vector<size_t> candidates{expected};
        for (size_t b = 0; b * oavi::TableEntrySize <= region; ++b)
            if (b != expected)
                candidates.push_back(b);
        for (size_t b : candidates) {
            const uint64_t tableBytes = uint64_t(b) * oavi::TableEntrySize;
            if (tableBytes + oavi::SubtitleHeadSize > region)
                continue;
            const uint64_t rest = region - tableBytes - oavi::SubtitleHeadSize;
            if (rest % oavi::SubtitleEntrySize != 0)
                continue;
            const uint32_t subStart = start + static_cast<uint32_t>(tableBytes);
            const size_t subCount = rest / oavi::SubtitleEntrySize;
            if (!BaseFramesFit(start, b) || !SubtitlesFit(subStart, subCount))
                continue;
            ReadBaseFrames(start, b);
            ReadSubtitles(subStart, subCount);
            return;
        }
        Fail(start, "the " + std::to_string(region) +
                        " bytes between the chapter table and the sound do not form a "
                        "base-frame table and a subtitle table");
    }

    static std::string Hex(uint32_t v) {
        char buf[16];
        std::snprintf(buf, sizeof buf, "%08X", v);
        return buf;
    }

    TVideoFile& F;
    const std::vector<uint8_t>& B;
};

} // namespace

TVideoFormatError::TVideoFormatError(const std::string& FileName, uint64_t Offset,
                                     const std::string& What)
    : std::runtime_error(FileName + ": offset " + std::to_string(Offset) + ": " + What),
      Offset_(Offset) {}

std::string ModelForFormatCode(uint32_t FormatCode) {
    if (FormatCode == 0x00020101)
        return "LM41";
    if (FormatCode == 0x00820101)
        return "LM52";
    // LM63: the top byte carries the video type.
    if ((FormatCode & 0x00FFFFFF) == 0x00820781)
        return "LM63";
    return {};
}

int TVideoFile::RecordAt(uint32_t Offset) const {
    auto it =
        std::lower_bound(Records.begin(), Records.end(), Offset,
                         [](const TVideoRecord& r, uint32_t value) { return r.Offset < value; });
    if (it == Records.end() || it->Offset != Offset)
        return -1;
    return static_cast<int>(it - Records.begin());
}

TVideoFile TVideoDecode::Open(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        throw TVideoFormatError(FileName, 0, "the file cannot be opened");
    std::vector<uint8_t> bytes{std::istreambuf_iterator<char>(in),
                               std::istreambuf_iterator<char>()};
    if (in.bad())
        throw TVideoFormatError(FileName, 0, "the file cannot be read");
    return Parse(std::move(bytes), FileName);
}

TVideoFile TVideoDecode::Parse(std::vector<uint8_t> Bytes, const std::string& Name) {
    TVideoFile file;
    file.FileName = Name;
    file.Bytes = std::move(Bytes);
    TParser(file).Run();
    return file;
}

void TVideoDecode::DecodeFrames(const TVideoFile& File,
                                const std::function<void(size_t, const TBitmap&)>& OnFrame) {
    TGraphicDecoder decoder(File.Codec, File.Head.Width, File.Head.Height);
    for (size_t i = 0; i < File.Records.size(); ++i) {
        const TVideoRecord& r = File.Records[i];
        try {
            decoder.DecodeNext(std::span<const uint8_t>(File.Bytes.data() + r.Offset, r.Length));
        } catch (const TDecodeError& e) {
            throw TVideoFormatError(File.FileName, uint64_t(r.Offset) + e.Offset(),
                                    "frame " + std::to_string(i) + ": " + e.what());
        }
        OnFrame(i, decoder.Current());
    }
}
