#include "codec/uBitmap.h"

#include <cstring>

#include "codec/uLittleEndian.h"
#include "codec/uStream.h"

namespace {

constexpr size_t FileHeaderSize = 14;
constexpr size_t InfoHeaderSize = 40;
constexpr uint32_t BiRgb = 0;
constexpr uint32_t BiBitfields = 3;

[[noreturn]] void Fail(const std::string& Name, const std::string& What) {
    throw TBitmapError(Name + ": " + What);
}

uint8_t Widen5(unsigned V) {
    return uint8_t((V << 3) | (V >> 2));
}
uint8_t Widen6(unsigned V) {
    return uint8_t((V << 2) | (V >> 4));
}

} // namespace

int BytesPerPixel(TPixelFormat Format) {
    return Format == TPixelFormat::Bgr24 ? 3 : 2;
}

TBitmap::TBitmap(int Width, int Height, TPixelFormat Format) {
    SetSize(Width, Height, Format);
}

void TBitmap::SetSize(int Width, int Height, TPixelFormat Format) {
    if (Width < 0 || Height < 0 || Width > MaxDimension || Height > MaxDimension)
        throw TBitmapError("picture size " + std::to_string(Width) + " x " +
                           std::to_string(Height) + " is out of range");
    Width_ = Width;
    Height_ = Height;
    Format_ = Format;
    Pixels_.assign(size_t(Width) * size_t(Height) * size_t(BytesPerPixel(Format)), 0);
}

void TBitmap::ConvertTo24() {
    if (Format_ == TPixelFormat::Bgr24)
        return;
    std::vector<uint8_t> Out(size_t(Width_) * size_t(Height_) * 3);
    const size_t Count = size_t(Width_) * size_t(Height_);
    const uint8_t* In = Pixels_.data();
    uint8_t* O = Out.data();
    if (Format_ == TPixelFormat::Rgb555) {
        for (size_t I = 0; I < Count; ++I, In += 2, O += 3) {
            const unsigned W = GetU16(In);
            O[0] = Widen5(W & 31);
            O[1] = Widen5((W >> 5) & 31);
            O[2] = Widen5((W >> 10) & 31);
        }
    } else {
        for (size_t I = 0; I < Count; ++I, In += 2, O += 3) {
            const unsigned W = GetU16(In);
            O[0] = Widen5(W & 31);
            O[1] = Widen6((W >> 5) & 63);
            O[2] = Widen5((W >> 11) & 31);
        }
    }
    Pixels_ = std::move(Out);
    Format_ = TPixelFormat::Bgr24;
}

void TBitmap::LoadFromFile(const std::filesystem::path& FileName) {
    std::vector<uint8_t> Bytes;
    try {
        Bytes = ReadWholeFile(FileName);
    } catch (const TStreamError& E) {
        throw TBitmapError(E.what());
    }
    LoadFromBytes(Bytes.data(), Bytes.size(), FileName.string());
}

void TBitmap::LoadFromBytes(const uint8_t* Data, size_t Size, const std::string& Name) {
    if (Size < 2 || Data[0] != 'B' || Data[1] != 'M')
        Fail(Name, "not a BMP file (no \"BM\" signature)");
    if (Size < FileHeaderSize + 4)
        Fail(Name, "truncated BMP file (" + std::to_string(Size) + " bytes, no header)");
    const uint32_t PixelOffset = GetU32(Data + 10);
    const uint32_t InfoSize = GetU32(Data + 14);
    if (InfoSize < InfoHeaderSize)
        Fail(Name, "unsupported BMP header of " + std::to_string(InfoSize) + " bytes");
    if (Size < FileHeaderSize + InfoHeaderSize)
        Fail(Name, "truncated BMP file (" + std::to_string(Size) + " bytes, header incomplete)");
    const uint8_t* Info = Data + FileHeaderSize;
    const int32_t W = int32_t(GetU32(Info + 4));
    const int32_t H = int32_t(GetU32(Info + 8));
    const uint16_t Bits = GetU16(Info + 14);
    const uint32_t Compression = GetU32(Info + 16);

    if (W <= 0 || H == 0 || H == INT32_MIN)
        Fail(Name, "invalid picture size " + std::to_string(W) + " x " + std::to_string(H));
    const bool TopDown = H < 0;
    const int64_t AbsH = TopDown ? -int64_t(H) : int64_t(H);
    if (W > MaxDimension || AbsH > MaxDimension)
        Fail(Name, "picture size " + std::to_string(W) + " x " + std::to_string(AbsH) +
                       " is too large (at most " + std::to_string(MaxDimension) +
                       " in each direction)");

    TPixelFormat Format;
    bool Drop32 = false;
    if (Bits == 24 && Compression == BiRgb) {
        Format = TPixelFormat::Bgr24;
    } else if (Bits == 32 && Compression == BiRgb) {
        Format = TPixelFormat::Bgr24;
        Drop32 = true;
    } else if (Bits == 16 && Compression == BiRgb) {
        Format = TPixelFormat::Rgb555;
    } else if (Bits == 16 && Compression == BiBitfields) {
        // The masks follow a 40-byte header, or sit inside a longer one.
        const size_t MaskPos = FileHeaderSize + InfoHeaderSize;
        if (Size < MaskPos + 12)
            Fail(Name, "truncated BMP file (colour masks missing)");
        const uint32_t R = GetU32(Data + MaskPos), G = GetU32(Data + MaskPos + 4),
                       B = GetU32(Data + MaskPos + 8);
        if (R == 0x7C00 && G == 0x03E0 && B == 0x001F)
            Format = TPixelFormat::Rgb555;
        else if (R == 0xF800 && G == 0x07E0 && B == 0x001F)
            Format = TPixelFormat::Rgb565;
        else
            Fail(Name, "unsupported 16-bit colour masks");
    } else if (Compression != BiRgb && Compression != BiBitfields) {
        Fail(Name, "compressed BMP files are not supported (compression " +
                       std::to_string(Compression) + ")");
    } else {
        Fail(Name, "unsupported colour depth of " + std::to_string(Bits) +
                       " bits per pixel (24 or 16 needed)");
    }

    const uint64_t FileStride = (uint64_t(W) * Bits + 31) / 32 * 4;
    const uint64_t Needed = uint64_t(PixelOffset) + FileStride * uint64_t(AbsH);
    if (PixelOffset < FileHeaderSize + InfoHeaderSize || PixelOffset > Size)
        Fail(Name, "pixel data offset " + std::to_string(PixelOffset) + " is invalid");
    if (Needed > Size)
        Fail(Name, "truncated BMP file (" + std::to_string(Size) + " bytes, pixel data needs " +
                       std::to_string(Needed) + ")");

    SetSize(W, int(AbsH), Format);
    const size_t RowBytes = size_t(RowStride());
    for (int64_t Y = 0; Y < AbsH; ++Y) {
        const int64_t FileRow = TopDown ? Y : AbsH - 1 - Y;
        const uint8_t* Src = Data + PixelOffset + FileStride * uint64_t(FileRow);
        uint8_t* Dst = ScanLine(int(Y));
        if (!Drop32) {
            std::memcpy(Dst, Src, RowBytes);
        } else {
            for (int X = 0; X < W; ++X, Src += 4, Dst += 3) {
                Dst[0] = Src[0];
                Dst[1] = Src[1];
                Dst[2] = Src[2];
            }
        }
    }
}

std::vector<uint8_t> TBitmap::SaveToBytes() const {
    if (Format_ != TPixelFormat::Bgr24) {
        TBitmap Wide = *this;
        Wide.ConvertTo24();
        return Wide.SaveToBytes();
    }
    const size_t FileStride = (size_t(Width_) * 3 + 3) / 4 * 4;
    const size_t PixelBytes = FileStride * size_t(Height_);
    const size_t Offset = FileHeaderSize + InfoHeaderSize;
    std::vector<uint8_t> Out(Offset + PixelBytes, 0);
    uint8_t* P = Out.data();
    P[0] = 'B';
    P[1] = 'M';
    PutU32(P + 2, uint32_t(Out.size()));
    PutU32(P + 10, uint32_t(Offset));
    uint8_t* Info = P + FileHeaderSize;
    PutU32(Info, InfoHeaderSize);
    PutU32(Info + 4, uint32_t(Width_));
    PutU32(Info + 8, uint32_t(Height_));
    PutU16(Info + 12, 1);
    PutU16(Info + 14, 24);
    PutU32(Info + 16, BiRgb);
    PutU32(Info + 20, uint32_t(PixelBytes));
    PutU32(Info + 24, 2835); // 72 dpi
    PutU32(Info + 28, 2835);
    for (int Y = 0; Y < Height_; ++Y)
        std::memcpy(P + Offset + FileStride * size_t(Height_ - 1 - Y), ScanLine(Y),
                    size_t(RowStride()));
    return Out;
}

void TBitmap::SaveToFile(const std::filesystem::path& FileName) const {
    const std::vector<uint8_t> Bytes = SaveToBytes();
    try {
        WriteWholeFileAtomic(FileName, Bytes.data(), Bytes.size());
    } catch (const TStreamError& E) {
        throw TBitmapError(E.what());
    }
}
