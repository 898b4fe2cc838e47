#pragma once
// The fixed sizes, offsets and marks of the OAVI device video file, shared by the
// section writers and the reader.
//
// Layout, front to back, every number little-endian, no padding:
//   file head (40 bytes)
//   chapter table (one 8-byte entry)
//   base-frame table (8 bytes per base frame)
//   subtitle table (LM63 only: 12 bytes, then 12 per subtitle)
//   sound data (the MP3 file as it was; its length is implied by the next offset)
//   frame stream (the codec's records back to back)
//   end mark (FF 05, or four zero bytes for LM63)
//   subtitle text pool (LM63 only)
//
// Device quirks worth knowing: height is stored before width; nothing states the
// number of base frames or the sound length, they follow from the offsets; all offsets
// are 32-bit, so a file must stay below 4 GiB.

#include <cstdint>
#include <string_view>

namespace oavi {

inline constexpr char Magic[4] = {'O', 'A', 'V', 'I'};

inline constexpr uint32_t HeadSize = 40;
inline constexpr uint16_t HeadVersion = 1;    // the constant at offset 14
inline constexpr uint16_t HeadTrailer = 0xFE; // the constant at offset 38

// Offsets of the head fields.
inline constexpr uint32_t OffMagic = 0;
inline constexpr uint32_t OffFormatCode = 4;
inline constexpr uint32_t OffFileSize = 8;
inline constexpr uint32_t OffHeadSize = 12;
inline constexpr uint32_t OffVersion = 14;
inline constexpr uint32_t OffFrameCount = 16;
inline constexpr uint32_t OffDuration = 20;
inline constexpr uint32_t OffHeight = 24;
inline constexpr uint32_t OffWidth = 26;
inline constexpr uint32_t OffFrameRate = 28;
inline constexpr uint32_t OffBaseFrameInterval = 30;
inline constexpr uint32_t OffHeadOption = 32;
inline constexpr uint32_t OffSoundOffset = 34;
inline constexpr uint32_t OffTrailer = 38;

// Chapter and base-frame tables.
inline constexpr uint32_t TableEntrySize = 8;
inline constexpr uint32_t ChapterTableStart = HeadSize;
inline constexpr uint32_t ChapterValue = 100;

// Subtitle table and texts.
inline constexpr uint32_t SubtitleHeadSize = 12;
inline constexpr uint32_t SubtitleEntrySize = 12;
inline constexpr uint32_t SubtitleTextOffsetField = 8; // within an entry
// The device copies each text (both lines with their NUL bytes) through a buffer of
// this many bytes.
inline constexpr size_t SubtitleTextLimit = 501;

// Frame records of the LM41 and LM52 codecs: FF 02 <u32 length> ... FF 01.
inline constexpr uint8_t MarkByte = 0xFF;
inline constexpr uint8_t MarkFrameHead = 0x02;
inline constexpr uint32_t RecordLengthField = 2; // offset of the length in a record
inline constexpr uint32_t RecordMinimum = 11;    // head, type mark and type, end
inline constexpr uint8_t EndMarkDelta[2] = {0xFF, 0x05};
// LM63 records: <u32 length> <JPEG>; the stream ends with a zero length.
inline constexpr uint8_t EndMarkJpeg[4] = {0, 0, 0, 0};

// Largest file the 32-bit offsets can describe.
inline constexpr uint64_t MaxFileSize = 0xFFFFFFFFull;

// The model whose records use the JPEG framing.
inline constexpr std::string_view JpegModel = "LM63";

inline bool IsJpegModel(std::string_view ModelName) {
    return ModelName == JpegModel;
}

// Records use the JPEG framing when their model is LM63 (a 4-byte length first);
// otherwise the length follows the FF 02 mark.
inline uint32_t RecordLengthOffset(std::string_view ModelName) {
    return IsJpegModel(ModelName) ? 0 : RecordLengthField;
}

} // namespace oavi
