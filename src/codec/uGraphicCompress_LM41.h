#pragma once
// LM41: 16-level grey pictures, two pixels per byte.
//
// Grey level of a pixel: ((30 R + 59 G + 11 B + 50) / 100) >> 4.
// Key and full payload: floor(W * H / 2) bytes, pixel pairs in pixel order (a pair may
// span the end of one row and the start of the next), the even pixel in the high nibble.
// With an odd pixel count the last pixel is not written.
// Delta payload: for every pixel whose grey level changed, in pixel order, the offset
// byte and the new level, preceded by FF 03 b before the first change and whenever a
// change lies in a greater block than the current one.

#include "codec/uGraphicCompress.h"

class TGraphicCompress_LM41 : public TGraphicCompress {
public:
    static constexpr uint8_t DefaultKeyInterval = 30;

    TGraphicCompress_LM41();
    void SetQuality(int Value) override;

    // Grey level 0..15 of a pixel given as blue, green, red.
    static uint8_t GreyLevel(uint8_t B, uint8_t G, uint8_t R) {
        return uint8_t(((30u * R + 59u * G + 11u * B + 50u) / 100u) >> 4);
    }

protected:
    int DeltaSize(const uint8_t* Prev, const uint8_t* Cur) override;
    int FullSize(const uint8_t* Cur) override;
    void EncodeKeyFrame(const uint8_t* Cur) override;
    void EncodeFullFrame(const uint8_t* Cur) override;
    void EncodeDeltaFrame(const uint8_t* Prev, const uint8_t* Cur) override;
};
