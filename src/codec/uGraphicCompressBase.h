#pragma once
// Base of every frame compressor. A compressor turns the pictures of one contiguous run
// of frames into frame records appended to Stream. It keeps state from frame to frame
// (FrameIndex, the previous picture, tolerances), so one instance encodes one run and is
// never shared between threads.
//
// Use: construct (or CreateGraphicCompress by model name), SetQuality with the profile's
// CompressGrade, set Stream, then CompressFrame once per frame in frame order.
//
// Errors (a picture the format cannot carry, a stream that fails, a side file that
// cannot be written) throw TCodecError or TStreamError with a message saying what and
// where; a record is then possibly incomplete and the run must be abandoned.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "codec/uBitmap.h"
#include "codec/uStream.h"

class TCodecError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TGraphicCompressBase {
public:
    TGraphicCompressBase() = default;
    virtual ~TGraphicCompressBase() = default;
    TGraphicCompressBase(const TGraphicCompressBase&) = delete;
    TGraphicCompressBase& operator=(const TGraphicCompressBase&) = delete;

    // The profile's CompressGrade (1 to 100, default 80). Subclasses also set their key
    // interval and tolerances here.
    virtual void SetQuality(int Value) { Quality = Value; }

    // Appends one record for Picture. SourceFile is the bitmap file the picture was
    // loaded from (only the JPEG codec uses it, for its ".jpg" side file). The base
    // version only advances FrameIndex; subclasses call it first.
    virtual void CompressFrame(const TBitmap& Picture, const std::string& SourceFile) {
        (void)Picture;
        (void)SourceFile;
        ++FrameIndex;
    }

    int Quality = 80;
    TOutStream* Stream = nullptr; // borrowed
    int FrameIndex = -1;          // index of the last frame given, within this run

protected:
    TOutStream& Out() const;
};
