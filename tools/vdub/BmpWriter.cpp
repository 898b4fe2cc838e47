#include "BmpWriter.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vdub {
namespace {

void putLe16(uint8_t* p, uint32_t v) {
    p[0] = uint8_t(v);
    p[1] = uint8_t(v >> 8);
}

void putLe32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = uint8_t(v >> (8 * i));
}

} // namespace

BmpWriter::BmpWriter(int width, int height)
    : width_(width), height_(height), rowBytes_((size_t(width) * 3 + 3) & ~size_t(3)),
      buffer_(HeaderBytes + rowBytes_ * size_t(height), 0) {
    const uint32_t imageBytes = uint32_t(rowBytes_ * size_t(height));
    uint8_t* h = buffer_.data();
    h[0] = 'B';
    h[1] = 'M';
    putLe32(h + 2, uint32_t(HeaderBytes) + imageBytes); // file size
    putLe32(h + 10, uint32_t(HeaderBytes));             // offset of the pixels
    putLe32(h + 14, 40);                                // BITMAPINFOHEADER size
    putLe32(h + 18, uint32_t(width_));
    putLe32(h + 22, uint32_t(height_)); // positive: bottom-up rows
    putLe16(h + 26, 1);                 // planes
    putLe16(h + 28, 24);                // bits per pixel
    putLe32(h + 30, 0);                 // BI_RGB
    putLe32(h + 34, imageBytes);
    putLe32(h + 38, 2835); // 72 dpi
    putLe32(h + 42, 2835);
}

bool BmpWriter::Save(const std::string& path) const {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0)
        return false;
    const uint8_t* p = buffer_.data();
    size_t left = buffer_.size();
    while (left > 0) {
        ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int saved = errno;
            ::close(fd);
            errno = saved;
            return false;
        }
        p += n;
        left -= size_t(n);
    }
    return ::close(fd) == 0;
}

} // namespace vdub
