#pragma once
// The codec of the LM63 model: every frame is a complete baseline JFIF picture made by
// libjpeg with its default settings at the quality of SetQuality.
//
// Record, little-endian: u32 L (4 + the JPEG's byte count), then the JPEG file. The
// frame stream ends with a u32 0 (written by the image writer).
//
// The same JPEG bytes are also saved beside the frame's bitmap file, named like it with
// the extension ".jpg" (replacing an existing file). With an empty SourceFile no side
// file is written.

#include <memory>
#include <vector>

#include "codec/uGraphicCompressBase.h"

class TGraphicCompress_LM52A : public TGraphicCompressBase {
public:
    TGraphicCompress_LM52A();
    ~TGraphicCompress_LM52A() override;

    void SetQuality(int Value) override;
    void CompressFrame(const TBitmap& Picture, const std::string& SourceFile) override;

    // Encodes Picture (24 or 16 bits per pixel) as one JPEG file at Quality.
    static std::vector<uint8_t> EncodeJpeg(const TBitmap& Picture, int Quality);

private:
    std::vector<uint8_t> Buffer_;
};
