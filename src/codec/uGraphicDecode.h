#pragma once
// Decoders of the frame records the compressors write: they rebuild the picture the
// device shows, for `omm decode` and for checking the compressors.
//
// A record is given with the frame size and the picture shown before it (empty for the
// first frame); the result is a 24-bit picture:
//   LM41  grey levels 0..15 shown as 17 * level in all three channels;
//   LM52  15-bit colour widened to 8 bits per channel by repeating the top bits;
//   LM63  the JPEG decoded by libjpeg.
// Pixels a record leaves untouched keep the previous picture's value (black without one).
//
// Damaged records throw TDecodeError naming what is wrong and the byte offset within the
// record; nothing is ever read outside the given bytes.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>

#include "codec/uBitmap.h"

enum class TCodecKind : uint8_t { LM41, LM52, LM63 };

// "LM41", "LM52", "LM63" -> codec; anything else -> nothing.
std::optional<TCodecKind> CodecForModel(std::string_view ModelName);

class TDecodeError : public std::runtime_error {
public:
    TDecodeError(const std::string& What, size_t Offset);
    size_t Offset() const { return Offset_; }

private:
    size_t Offset_;
};

enum class TFrameType : uint8_t { Key = 0, Delta = 1, Full = 2, Jpeg = 3 };

struct TDecodedFrame {
    TBitmap Picture;
    TFrameType Type = TFrameType::Key;
    bool Unchanged = false; // a delta record with an empty payload
};

// Length of the record that starts at Bytes (from its length field), or 0 when Bytes
// start with the end mark of the frame stream (FF 05 for LM41/LM52, u32 0 for LM63).
// Throws TDecodeError when the bytes are neither or the length is impossible.
size_t FrameRecordLength(TCodecKind Codec, std::span<const uint8_t> Bytes);

// Decodes one whole record (exactly FrameRecordLength bytes).
TDecodedFrame DecodeFrameRecord(TCodecKind Codec, std::span<const uint8_t> Record, int Width,
                                int Height, const TBitmap* Previous);

// Walks a frame stream record by record, keeping the shown picture.
class TGraphicDecoder {
public:
    TGraphicDecoder(TCodecKind Codec, int Width, int Height);

    // Decodes the record at the start of Bytes and returns its length, or returns 0 at
    // the end mark. Offsets in errors count from the start of Bytes.
    size_t DecodeNext(std::span<const uint8_t> Bytes);

    const TBitmap& Current() const { return Current_.Picture; }
    const TDecodedFrame& LastFrame() const { return Current_; }
    int FramesDecoded() const { return Frames_; }

private:
    TCodecKind Codec_;
    int Width_, Height_;
    TDecodedFrame Current_;
    int Frames_ = 0;
};
