#pragma once
// Writes 24-bit bottom-up Windows bitmaps from one preallocated buffer: the header is
// filled once per picture size, the converter paints the rows straight into the buffer
// and each file is one write call.

#include <cstdint>
#include <string>
#include <vector>

namespace vdub {

class BmpWriter {
public:
    BmpWriter(int width, int height);

    // Where the converter writes: the first (top) picture row and the stride to the next
    // row, negative because bitmaps store the bottom row first.
    uint8_t* TopRow() { return buffer_.data() + HeaderBytes + size_t(height_ - 1) * rowBytes_; }
    int TopRowStride() const { return -int(rowBytes_); }

    // Writes the buffer to Path; false with errno set when the file cannot be written.
    bool Save(const std::string& path) const;

    static constexpr size_t HeaderBytes = 54;

private:
    int width_;
    int height_;
    size_t rowBytes_;
    std::vector<uint8_t> buffer_;
};

} // namespace vdub
