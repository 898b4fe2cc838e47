#include "oflash/ReadFrameRateUnit.h"

#include <cctype>
#include <fstream>

namespace {

constexpr int DefaultFrameRate = 12;
constexpr std::streamoff RectOffset = 8; // after signature, version and file length
constexpr int RectSizeBits = 5;          // width of the rectangle's field-size prefix
constexpr int RectFieldCount = 4;

bool signatureIs(const char* bytes, const char* expected) {
    for (int i = 0; i < 3; ++i)
        if (std::toupper(static_cast<unsigned char>(bytes[i])) != expected[i])
            return false;
    return true;
}

} // namespace

int ReadFrameRate(const std::string& FileName) {
    std::ifstream in(FileName, std::ios::binary);
    if (!in)
        return DefaultFrameRate;
    char head[RectOffset + 1] = {};
    if (!in.read(head, sizeof head))
        return DefaultFrameRate;
    if (signatureIs(head, "CWS") || !signatureIs(head, "FWS"))
        return DefaultFrameRate;
    const int fieldBits = static_cast<unsigned char>(head[RectOffset]) >> 3;
    const int rectBytes = (RectSizeBits + RectFieldCount * fieldBits + 7) / 8;
    // The integer part follows the fractional byte that ends the rectangle.
    in.seekg(RectOffset + rectBytes + 1);
    char rate = 0;
    if (!in.get(rate))
        return DefaultFrameRate;
    const int value = static_cast<unsigned char>(rate);
    return value == 0 ? DefaultFrameRate : value;
}
