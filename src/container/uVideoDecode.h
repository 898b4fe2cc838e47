#pragma once
// Reads a device video back: checks its layout (head fields, the offsets in the head
// and the tables, the frame records from the first to the end mark, the subtitle texts)
// and turns every record into the picture the device would show.
//
// Nothing in the file states how many base frames or subtitles there are; they follow
// from the offsets (the base-frame table runs up to the sound, or, for LM63, up to the
// subtitle table, whose size is fixed by the pool of texts at the end).
//
// Damaged files throw TVideoFormatError naming the file and the byte offset.

#include "codec/uBitmap.h"
#include "codec/uGraphicDecode.h"
#include "container/uWriteFileHead.h"

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

class TVideoFormatError : public std::runtime_error {
public:
    TVideoFormatError(const std::string& FileName, uint64_t Offset, const std::string& What);
    uint64_t Offset() const { return Offset_; }

private:
    uint64_t Offset_;
};

struct TVideoTableEntry {
    uint32_t Offset = 0; // file offset of a frame record (0: not patched)
    uint32_t Value = 0;
};

struct TVideoSubtitle {
    uint32_t Start = 0; // milliseconds
    uint32_t End = 0;
    uint32_t TextOffset = 0;
    std::string FirstLine; // UTF-8
    std::string SecondLine;
};

struct TVideoRecord {
    uint32_t Offset = 0;
    uint32_t Length = 0;
    TFrameType Type = TFrameType::Key;
    bool Unchanged = false; // a delta record with an empty payload
};

struct TVideoFile {
    std::string FileName;
    std::vector<uint8_t> Bytes;
    TVideoFileHead Head{};
    std::string ModelName; // "LM41", "LM52" or "LM63", from the format code
    TCodecKind Codec = TCodecKind::LM41;

    std::vector<TVideoTableEntry> Chapters;
    std::vector<TVideoTableEntry> BaseFrames;
    bool HasSubtitleTable = false;
    uint16_t SubtitleHeader0 = 0;
    uint8_t SubtitleHeader1 = 0;
    uint8_t SubtitleHeader2 = 0;
    std::vector<TVideoSubtitle> Subtitles;

    uint32_t SoundOffset = 0;
    uint32_t SoundLength = 0;
    uint32_t FrameStreamOffset = 0;
    std::vector<TVideoRecord> Records;
    uint32_t EndMarkOffset = 0;
    uint32_t TextPoolOffset = 0;

    // Index of the record at Offset, or -1.
    int RecordAt(uint32_t Offset) const;
};

class TVideoDecode {
public:
    // Reads and checks FileName.
    static TVideoFile Open(const std::string& FileName);
    // Checks bytes already in memory (Name for messages).
    static TVideoFile Parse(std::vector<uint8_t> Bytes, const std::string& Name);

    // Decodes every record in order and hands each shown picture to OnFrame.
    static void DecodeFrames(const TVideoFile& File,
                             const std::function<void(size_t Index, const TBitmap&)>& OnFrame);
};

// The model a format code belongs to, or empty.
std::string ModelForFormatCode(uint32_t FormatCode);
