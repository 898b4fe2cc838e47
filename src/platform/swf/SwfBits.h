#pragma once
// Little-endian byte and bit reading over an untrusted buffer. Reading past the end
// never touches memory outside the buffer: it yields zeros and sets the overrun flag,
// which callers test once after a record instead of after every field.

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace omm::swf {

class SwfBitReader {
public:
    explicit SwfBitReader(std::span<const uint8_t> data) : data_(data) {}

    size_t Position() const { return pos_; }
    size_t Remaining() const { return pos_ < data_.size() ? data_.size() - pos_ : 0; }
    bool Overrun() const { return overrun_; }
    bool AtEnd() const { return pos_ >= data_.size(); }
    std::span<const uint8_t> Data() const { return data_; }
    std::span<const uint8_t> Rest() const {
        return pos_ < data_.size() ? data_.subspan(pos_) : std::span<const uint8_t>{};
    }

    void Align() { bitCount_ = 0; }
    void Seek(size_t pos) {
        Align();
        if (pos > data_.size()) {
            overrun_ = true;
            pos = data_.size();
        }
        pos_ = pos;
    }
    void Skip(size_t n) {
        Align();
        if (n > Remaining()) {
            overrun_ = true;
            pos_ = data_.size();
        } else {
            pos_ += n;
        }
    }

    uint8_t U8() {
        Align();
        if (pos_ >= data_.size()) {
            overrun_ = true;
            return 0;
        }
        return data_[pos_++];
    }
    uint16_t U16() {
        uint16_t lo = U8();
        return static_cast<uint16_t>(lo | (U8() << 8));
    }
    uint32_t U32() {
        uint32_t lo = U16();
        return lo | (static_cast<uint32_t>(U16()) << 16);
    }
    int16_t S16() { return static_cast<int16_t>(U16()); }
    // 8.8 and 16.16 fixed-point numbers.
    double Fixed8() { return S16() / 256.0; }
    double Fixed16() { return static_cast<int32_t>(U32()) / 65536.0; }
    float Float() {
        uint32_t bits = U32();
        float f;
        static_assert(sizeof f == sizeof bits);
        __builtin_memcpy(&f, &bits, sizeof f);
        return f;
    }
    double Double() { // AVM1 doubles keep their two 32-bit halves swapped
        uint64_t hi = U32();
        uint64_t lo = U32();
        uint64_t bits = (hi << 32) | lo;
        double d;
        __builtin_memcpy(&d, &bits, sizeof d);
        return d;
    }
    // Variable-length unsigned (EncodedU32).
    uint32_t EncodedU32() {
        uint32_t value = 0;
        for (int i = 0; i < 5; ++i) {
            uint8_t b = U8();
            value |= static_cast<uint32_t>(b & 0x7F) << (7 * i);
            if (!(b & 0x80))
                break;
        }
        return value;
    }

    uint32_t UBits(int n) {
        uint32_t value = 0;
        for (int i = 0; i < n; ++i) {
            if (bitCount_ == 0) {
                if (pos_ >= data_.size()) {
                    overrun_ = true;
                    return value << (n - i);
                }
                bitBuffer_ = data_[pos_++];
                bitCount_ = 8;
            }
            --bitCount_;
            value = (value << 1) | ((bitBuffer_ >> bitCount_) & 1);
        }
        return value;
    }
    int32_t SBits(int n) {
        if (n <= 0)
            return 0;
        uint32_t value = UBits(n);
        if (n < 32 && (value & (1u << (n - 1))))
            value |= ~0u << n;
        return static_cast<int32_t>(value);
    }
    double FBits(int n) { return SBits(n) / 65536.0; }
    bool Flag() { return UBits(1) != 0; }

    // NUL-terminated string (the NUL is consumed; a missing NUL ends at the buffer).
    std::string String() {
        Align();
        std::string s;
        while (pos_ < data_.size() && data_[pos_] != 0)
            s.push_back(static_cast<char>(data_[pos_++]));
        if (pos_ < data_.size())
            ++pos_;
        else
            overrun_ = true;
        return s;
    }

private:
    std::span<const uint8_t> data_;
    size_t pos_ = 0;
    uint8_t bitBuffer_ = 0;
    int bitCount_ = 0;
    bool overrun_ = false;
};

} // namespace omm::swf
