#include "codec/uGraphicCompress.h"

namespace {

constexpr uint8_t MarkByte = 0xFF;
constexpr uint8_t FrameHeadMark = 0x02;
constexpr uint8_t FrameTypeMark = 0x04;
constexpr uint8_t FrameEndMark = 0x01;
constexpr uint8_t BlockMark = 0x03;
constexpr size_t LengthPos = 2;
constexpr size_t HeadSize = 9; // FF 02, u32 length, FF 04, type byte

std::string SizeText(int W, int H) {
    return std::to_string(W) + " x " + std::to_string(H);
}

} // namespace

TOutStream& TGraphicCompressBase::Out() const {
    if (!Stream)
        throw TCodecError("frame compressor: no output stream was given");
    return *Stream;
}

void TGraphicCompress::WriteBlockMark(uint8_t Block) {
    CurrentBlock = Block;
    Payload_.push_back(MarkByte);
    Payload_.push_back(BlockMark);
    Payload_.push_back(Block);
}

void TGraphicCompress::CompressFrame(const TBitmap& Picture, const std::string& SourceFile) {
    const TBitmap* Pic = &Picture;
    if (Picture.Format() != TPixelFormat::Bgr24) {
        Converted_ = Picture;
        Converted_.ConvertTo24();
        Pic = &Converted_;
    }
    const int W = Pic->Width(), H = Pic->Height();
    const std::string Where = SourceFile.empty() ? std::string("frame") : SourceFile;
    if (W <= 0 || H <= 0)
        throw TCodecError(Where + ": empty picture (" + SizeText(W, H) + ")");
    // Delta records address pixels with a one-byte block number; anything larger could
    // only be written with wrong addresses, so it is refused before a byte is written.
    if (int64_t(W) * H > MaxFramePixels)
        throw TCodecError(Where + ": frame of " + SizeText(W, H) + " = " +
                          std::to_string(int64_t(W) * H) + " pixels is larger than the " +
                          std::to_string(MaxFramePixels) + " pixels this format can address");
    const bool Key = (FrameIndex + 1) % (KeyInterval == 0 ? 1 : KeyInterval) == 0;
    if (!Key && (PrevBitmap_.Width() != W || PrevBitmap_.Height() != H))
        throw TCodecError(Where + ": frame size " + SizeText(W, H) +
                          " differs from the previous frame's " +
                          SizeText(PrevBitmap_.Width(), PrevBitmap_.Height()));
    TOutStream& S = Out();

    TGraphicCompressBase::CompressFrame(*Pic, SourceFile);
    Width = uint16_t(W);
    Height = uint16_t(H);
    RowStride = H > 1 ? int(Pic->ScanLine(1) - Pic->ScanLine(0)) : Pic->RowStride();

    Payload_.clear();
    Payload_.reserve(size_t(W) * size_t(H) * 2 + 16);
    const uint8_t Head[HeadSize] = {MarkByte, FrameHeadMark, 0, 0, 0, 0,
                                    MarkByte, FrameTypeMark, 0};
    Payload_.insert(Payload_.end(), Head, Head + HeadSize);

    const uint8_t* Cur = Pic->ScanLine(0);
    if (Key) {
        Payload_[HeadSize - 1] = 0;
        EncodeKeyFrame(Cur);
    } else {
        const uint8_t* Prev = PrevBitmap_.ScanLine(0);
        const int Decision = ChooseFrameType(Prev, Cur);
        Payload_[HeadSize - 1] = uint8_t(Decision / 10);
        if (Decision == DecisionDelta)
            EncodeDeltaFrame(Prev, Cur);
        else if (Decision == DecisionFull)
            EncodeFullFrame(Cur);
    }
    Payload_.push_back(MarkByte);
    Payload_.push_back(FrameEndMark);

    const uint32_t Length = uint32_t(Payload_.size());
    for (int I = 0; I < 4; ++I)
        Payload_[LengthPos + size_t(I)] = uint8_t(Length >> (8 * I));
    S.Write(Payload_.data(), Payload_.size());

    PrevBitmap_ = *Pic;
}

int TGraphicCompress::ChooseFrameType(const uint8_t* Prev, const uint8_t* Cur) {
    const int A = DeltaSize(Prev, Cur);
    if (A < 7)
        return DecisionUnchanged;
    const int B = FullSize(Cur);
    if (A < B) {
        AdaptTolerance(A);
        return DecisionDelta;
    }
    AdaptTolerance(B);
    return DecisionFull;
}
