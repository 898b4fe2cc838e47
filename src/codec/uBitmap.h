#pragma once
// The in-memory picture passed along the frame pipeline: loaded from the numbered
// bitmap files of a video, scaled (uGraphicStretch), compressed (uGraphicCompress*) and
// produced again by the record decoders (uGraphicDecode).
//
// Rows are kept top-down and tightly packed (no padding), so RowStride() is always
// Width() x BytesPerPixel() and positive. 24-bit pixels are stored blue, green, red. The
// two 16-bit layouts are little-endian words: 5-5-5 (x r5 g5 b5, what a Windows bitmap
// of 16 bits per pixel holds by default, and what the real-time capture writes) and
// 5-6-5 (r5 g6 b5, Windows bitmaps with BI_BITFIELDS masks F800/07E0/001F).
//
// Every problem with a file or a size throws TBitmapError with a message naming the
// file and what is wrong (truncated, not a BMP, unsupported depth, huge size).

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

class TBitmapError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

enum class TPixelFormat : uint8_t {
    Bgr24,  // 3 bytes per pixel: blue, green, red
    Rgb555, // 16-bit word: bits 14-10 red, 9-5 green, 4-0 blue
    Rgb565, // 16-bit word: bits 15-11 red, 10-5 green, 4-0 blue
};

int BytesPerPixel(TPixelFormat Format);

class TBitmap {
public:
    // Pictures larger than this in either direction are refused as damaged input: no
    // device or source video of this product comes near it, and it keeps Width x Height
    // x 3 far from overflowing.
    static constexpr int MaxDimension = 16384;

    TBitmap() = default;
    TBitmap(int Width, int Height, TPixelFormat Format = TPixelFormat::Bgr24);

    // Resizes to Width x Height in Format; the contents become black (all bytes 0).
    void SetSize(int Width, int Height, TPixelFormat Format = TPixelFormat::Bgr24);

    int Width() const { return Width_; }
    int Height() const { return Height_; }
    TPixelFormat Format() const { return Format_; }
    bool Empty() const { return Width_ == 0 || Height_ == 0; }
    int RowStride() const { return Width_ * BytesPerPixel(Format_); }

    uint8_t* ScanLine(int Row) { return Pixels_.data() + size_t(Row) * size_t(RowStride()); }
    const uint8_t* ScanLine(int Row) const {
        return Pixels_.data() + size_t(Row) * size_t(RowStride());
    }
    uint8_t* Data() { return Pixels_.data(); }
    const uint8_t* Data() const { return Pixels_.data(); }
    size_t DataSize() const { return Pixels_.size(); }

    // Converts in place to 24 bits per pixel. 5- and 6-bit channels are widened by
    // repeating their top bits (31 -> 255, 0 -> 0), so white stays white.
    void ConvertTo24();

    // Loads a Windows bitmap file (BITMAPINFOHEADER or later, uncompressed) of 24 or 16
    // bits per pixel, top-down or bottom-up. 16-bit files without masks are 5-5-5; with
    // BI_BITFIELDS the masks must be 5-5-5 or 5-6-5.
    void LoadFromFile(const std::filesystem::path& FileName);
    // The same from bytes in memory; Name is used in error messages.
    void LoadFromBytes(const uint8_t* Data, size_t Size, const std::string& Name);

    // Saves as an uncompressed 24-bit bottom-up Windows bitmap (16-bit pictures are
    // widened first), written under a temporary name and renamed when complete.
    void SaveToFile(const std::filesystem::path& FileName) const;
    std::vector<uint8_t> SaveToBytes() const;

    bool operator==(const TBitmap& Other) const = default;

private:
    int Width_ = 0;
    int Height_ = 0;
    TPixelFormat Format_ = TPixelFormat::Bgr24;
    std::vector<uint8_t> Pixels_;
};
