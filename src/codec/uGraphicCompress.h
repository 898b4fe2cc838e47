#pragma once
// Common part of the two delta codecs (LM41 grey nibbles, LM52 15-bit colour).
//
// Frame record, little-endian:
//   FF 02  u32 length (whole record, FF 02 through the closing FF 01)
//   FF 04  type byte: 0 key, 1 delta, 2 full
//   payload (empty for an unchanged frame, which is a delta frame with no changes)
//   FF 01
// The frame stream ends with FF 05 (written by the image writer).
//
// Key frames fall on every KeyInterval-th frame of a run, counting from its first.
// Other frames are written as a delta against the previous source picture, as a full
// frame, or as unchanged when the delta would take fewer than 7 bytes; the previous
// source picture, not what the device shows, stays the reference.
//
// Delta payloads address pixels (n = y * Width + x) in blocks of 254: FF 03 b selects
// block b, an offset byte 0..253 a pixel within it. Block numbers are one byte, so a
// frame of more than 254 * 256 = 65024 pixels cannot be addressed and is refused with a
// TCodecError before anything is written.

#include <cstdint>
#include <vector>

#include "codec/uGraphicCompressBase.h"

class TGraphicCompress : public TGraphicCompressBase {
public:
    static constexpr int BlockSize = 254;
    static constexpr int MaxFramePixels = BlockSize * 256;

    // Decision codes of ChooseFrameType: type byte = code / 10.
    static constexpr int DecisionDelta = 10;
    static constexpr int DecisionUnchanged = 11;
    static constexpr int DecisionFull = 20;

    void CompressFrame(const TBitmap& Picture, const std::string& SourceFile) override;

    uint8_t KeyInterval = 1;
    uint8_t CurrentBlock = 0;
    uint16_t Width = 0;
    uint16_t Height = 0;
    int RowStride = 0;

    // A copy of the previous source picture (24 bits per pixel).
    const TBitmap& PrevBitmap() const { return PrevBitmap_; }

protected:
    virtual int ChooseFrameType(const uint8_t* Prev, const uint8_t* Cur);
    // Exact payload size of a delta frame of Cur against Prev.
    virtual int DeltaSize(const uint8_t* Prev, const uint8_t* Cur) = 0;
    // Payload size of a full frame of Cur.
    virtual int FullSize(const uint8_t* Cur) = 0;
    // Called with the smaller of the two sizes before a non-key frame is encoded.
    virtual void AdaptTolerance(int Size) { (void)Size; }
    virtual void EncodeKeyFrame(const uint8_t* Cur) = 0;
    virtual void EncodeFullFrame(const uint8_t* Cur) = 0;
    virtual void EncodeDeltaFrame(const uint8_t* Prev, const uint8_t* Cur) = 0;

    int PixelCount() const { return int(Width) * int(Height); }
    // Writes FF 03 b and makes b the current block.
    void WriteBlockMark(uint8_t Block);

    // Payload bytes are gathered here and written to the stream in one piece.
    std::vector<uint8_t> Payload_;

private:
    TBitmap PrevBitmap_;
    TBitmap Converted_; // used when a picture arrives in a 16-bit format
};
