// libFuzzer target: any bytes as a Windows bitmap file. Loading must either succeed or
// throw TBitmapError; a loaded picture must survive widening, saving, reloading and
// scaling to a size taken from the input (including lines of one pixel).

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "codec/uBitmap.h"
#include "codec/uGraphicStretch.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    TBitmap Picture;
    try {
        Picture.LoadFromBytes(Data, Size, "fuzz.bmp");
    } catch (const TBitmapError&) {
        return 0;
    }
    if (Picture.Width() <= 0 || Picture.Height() <= 0)
        std::abort(); // a loaded picture is never empty
    const int BytesPer = BytesPerPixel(Picture.Format());
    if (Picture.DataSize() != size_t(Picture.Width()) * size_t(Picture.Height()) * size_t(BytesPer))
        std::abort();

    Picture.ConvertTo24();
    const std::vector<uint8_t> Saved = Picture.SaveToBytes();
    TBitmap Again;
    Again.LoadFromBytes(Saved.data(), Saved.size(), "saved.bmp"); // must not throw
    if (!(Again == Picture))
        std::abort(); // saving and loading a 24-bit picture keeps every pixel

    // Scaling costs width x height x taps; keep big pictures out of it so the fuzzer
    // stays fast, and take the target size from the file's first bytes after the header.
    if (size_t(Picture.Width()) * size_t(Picture.Height()) <= 64 * 64 && Size >= 60) {
        const uint16_t NW = uint16_t(1 + Data[Size - 1] % 48);
        const uint16_t NH = uint16_t(1 + Data[Size - 2] % 48);
        TGraphicStretch Stretch;
        Stretch.Stretch(Picture, NW, NH);
        if (Picture.Width() != NW || Picture.Height() != NH ||
            Picture.Format() != TPixelFormat::Bgr24)
            std::abort();
    }
    return 0;
}
