// libFuzzer target: any bytes as frame records of LM41, LM52 or LM63 (layout in
// FuzzRecordInput.h). Decoding must either give a picture of the frame size or throw
// TDecodeError; nothing may be read outside the given bytes. The same bytes are also
// walked as a whole frame stream, each record drawn over the previous picture.

#include <cstdint>
#include <cstdlib>
#include <span>

#include "FuzzRecordInput.h"

namespace {

void CheckPicture(const TBitmap& Picture, int Width, int Height) {
    if (Picture.Width() != Width || Picture.Height() != Height ||
        Picture.Format() != TPixelFormat::Bgr24)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < fuzzcodec::PrefixSize)
        return 0;
    const fuzzcodec::TRecordInput In = fuzzcodec::ReadPrefix(Data);
    const std::span<const uint8_t> Bytes(Data + fuzzcodec::PrefixSize,
                                         Size - fuzzcodec::PrefixSize);

    // One record on its own, once without and once over a previous picture.
    TBitmap Previous(In.Width, In.Height);
    for (size_t I = 0; I < Previous.DataSize(); ++I)
        Previous.Data()[I] = uint8_t(I * 7);
    for (const TBitmap* Before :
         {static_cast<const TBitmap*>(nullptr), static_cast<const TBitmap*>(&Previous)}) {
        try {
            const TDecodedFrame Frame =
                DecodeFrameRecord(In.Codec, Bytes, In.Width, In.Height, Before);
            CheckPicture(Frame.Picture, In.Width, In.Height);
        } catch (const TDecodeError&) {
        }
    }

    // The bytes as a stream of records up to the end mark.
    TGraphicDecoder Decoder(In.Codec, In.Width, In.Height);
    size_t Pos = 0;
    try {
        while (Pos < Bytes.size()) {
            const size_t Length = Decoder.DecodeNext(Bytes.subspan(Pos));
            if (Length == 0)
                break;
            if (Length > Bytes.size() - Pos)
                std::abort(); // a record never claims more than was given
            Pos += Length;
            CheckPicture(Decoder.Current(), In.Width, In.Height);
        }
    } catch (const TDecodeError&) {
    }
    return 0;
}
