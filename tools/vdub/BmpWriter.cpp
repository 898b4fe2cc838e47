#include "BmpWriter.h"
#include "codec/uLittleEndian.h"

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace vdub {

BmpWriter::BmpWriter(int width, int height)
    : width_(width), height_(height), rowBytes_((size_t(width) * 3 + 3) & ~size_t(3)),
      buffer_(HeaderBytes + rowBytes_ * size_t(height), 0) {
    const uint32_t imageBytes = uint32_t(rowBytes_ * size_t(height));
    uint8_t* h = buffer_.data();
    h[0] = 'B';
    h[1] = 'M';
    PutU32(h + 2, uint32_t(HeaderBytes) + imageBytes); // file size
    PutU32(h + 10, uint32_t(HeaderBytes));             // offset of the pixels
    PutU32(h + 14, 40);                                // BITMAPINFOHEADER size
    PutU32(h + 18, uint32_t(width_));
    PutU32(h + 22, uint32_t(height_)); // positive: bottom-up rows
    PutU16(h + 26, 1);                 // planes
    PutU16(h + 28, 24);                // bits per pixel
    PutU32(h + 30, 0);                 // BI_RGB
    PutU32(h + 34, imageBytes);
    PutU32(h + 38, 2835); // 72 dpi
    PutU32(h + 42, 2835);
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

#include <cstring>

namespace vdub {

BitmapQueue::BitmapQueue(int width, int height, size_t buffers) {
    for (size_t i = 0; i < std::max<size_t>(buffers, 2); ++i)
        slots_.push_back(std::make_unique<Slot>(Slot{BmpWriter(width, height), 0}));
    thread_ = std::thread([this] { run(); });
}

BitmapQueue::~BitmapQueue() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        stop_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

BmpWriter& BitmapQueue::BeginPaint() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        for (size_t i = 0; i < slots_.size(); ++i) {
            if (slots_[i]->pending == 0 && i != last_) {
                painting_ = i;
                return slots_[i]->writer;
            }
        }
        changed_.wait(lock);
    }
}

bool BitmapQueue::enqueue(size_t buffer, const std::string& path) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (!error_.empty())
            return false;
        ++slots_[buffer]->pending;
        queue_.emplace_back(buffer, path);
    }
    changed_.notify_all();
    return true;
}

bool BitmapQueue::Submit(const std::string& path) {
    size_t buffer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        buffer = painting_;
        last_ = painting_;
        painting_ = SIZE_MAX;
    }
    return buffer != SIZE_MAX && enqueue(buffer, path);
}

bool BitmapQueue::Repeat(const std::string& path) {
    size_t buffer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        buffer = last_;
    }
    return buffer != SIZE_MAX && enqueue(buffer, path);
}

bool BitmapQueue::Finish() {
    std::unique_lock<std::mutex> lock(mutex_);
    changed_.wait(lock, [this] {
        if (!queue_.empty())
            return false;
        for (const auto& s : slots_)
            if (s->pending > 0)
                return false;
        return true;
    });
    return error_.empty();
}

std::string BitmapQueue::Error() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return error_;
}

int64_t BitmapQueue::Written() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return written_;
}

void BitmapQueue::run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return stop_ || !queue_.empty(); });
        if (queue_.empty())
            return; // stopping with nothing left
        auto [buffer, path] = std::move(queue_.front());
        queue_.pop_front();
        bool failed = !error_.empty();
        lock.unlock();
        // A failure drops the rest of the queue: the first reason is the one reported.
        bool ok = failed || slots_[buffer]->writer.Save(path);
        int savedErrno = errno;
        lock.lock();
        if (!ok && error_.empty())
            error_ = "cannot write " + path + " (" + std::strerror(savedErrno) + ")";
        else if (ok && !failed)
            ++written_;
        --slots_[buffer]->pending;
        changed_.notify_all();
    }
}

} // namespace vdub
