#pragma once
// LM52: 15-bit colour words with run-length coding.
//
// Colour word (little-endian): ((R & F8) << 8) | ((G & F8) << 3) | (B >> 3); bit 5
// (0x0020, the flag F) is never set by a colour and marks a run or a continued group.
// Key payload (lossless) and full payload (lossy): runs in pixel order, a single pixel
// as its word, a longer run as word|F and a u16 length. A full-frame run keeps the
// colour of its first pixel while the following pixels stay similar to it.
// Delta payload: groups of consecutive changed pixels; a group starts with FF 03 b when
// it is the first or lies in a greater block, then the offset byte, then the words of
// its pixels, all but the last with F set.
//
// Two pixels are similar under (Big, Small) when at most one channel differs by more
// than Small and that one by no more than Big. The base tolerances come from the
// quality (10/5 at 75 and above, else 6/3); frames that would be large raise them by
// 8/4 (over 12000 bytes) or 14/7 (over 20000 bytes) for the next frames.
//
// When the raised tolerances leave a delta frame without any changed pixel, the frame
// is written with an empty payload (the unchanged record), never with a closing word
// that belongs to no pixel.

#include "codec/uGraphicCompress.h"

class TGraphicCompress_LM52 : public TGraphicCompress {
public:
    static constexpr uint8_t DefaultKeyInterval = 20;
    static constexpr uint16_t RunFlag = 0x0020;

    struct TTolerance {
        int Big = 0;
        int Small = 0;
    };

    TGraphicCompress_LM52();
    void SetQuality(int Value) override;

    static uint16_t ColourWord(uint8_t B, uint8_t G, uint8_t R) {
        return uint16_t(((R & 0xF8u) << 8) | ((G & 0xF8u) << 3) | (B >> 3));
    }
    // p and q point at blue, green, red.
    static bool Similar(const uint8_t* P, const uint8_t* Q, TTolerance T);

    // The tolerances in use (base + extra) for delta and full frames.
    TTolerance DeltaTolerance() const;
    template <class TVisit>
    void ForEachChange(const uint8_t* Prev, const uint8_t* Cur, TVisit&& Visit) const;
    TTolerance FullTolerance() const;

protected:
    int DeltaSize(const uint8_t* Prev, const uint8_t* Cur) override;
    int FullSize(const uint8_t* Cur) override;
    void AdaptTolerance(int Size) override;
    void EncodeKeyFrame(const uint8_t* Cur) override;
    void EncodeFullFrame(const uint8_t* Cur) override;
    void EncodeDeltaFrame(const uint8_t* Prev, const uint8_t* Cur) override;

private:
    void EmitRun(uint16_t Colour, int Length);

    TTolerance BaseDelta_, BaseFull_;
    TTolerance ExtraDelta_, ExtraFull_;
};
