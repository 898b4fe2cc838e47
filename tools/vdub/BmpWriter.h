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

#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

namespace vdub {

// Writes the bitmaps on a thread of its own, so decoding the next frame overlaps with
// writing the last one (writing dominates: a 640x480 picture is 900 KB). A few buffers
// circulate; a picture can be queued under several names (dropped frames repeat it).
class BitmapQueue {
public:
    BitmapQueue(int width, int height, size_t buffers = 3);
    ~BitmapQueue();
    BitmapQueue(const BitmapQueue&) = delete;
    BitmapQueue& operator=(const BitmapQueue&) = delete;

    // A buffer nothing is waiting to write, to paint the next picture into.
    BmpWriter& BeginPaint();
    // Queues the painted buffer under Path. False once any write has failed.
    bool Submit(const std::string& path);
    // Queues the last submitted picture again under Path.
    bool Repeat(const std::string& path);
    // Waits until everything queued is written; false when a write failed.
    bool Finish();
    // The first write failure ("cannot write NAME (reason)"), or empty.
    std::string Error() const;
    int64_t Written() const;

private:
    bool enqueue(size_t buffer, const std::string& path);
    void run();

    struct Slot {
        BmpWriter writer;
        int pending = 0;
    };
    std::vector<std::unique_ptr<Slot>> slots_;
    std::deque<std::pair<size_t, std::string>> queue_;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    size_t painting_ = SIZE_MAX;
    size_t last_ = SIZE_MAX;
    bool stop_ = false;
    std::string error_;
    int64_t written_ = 0;
    std::thread thread_;
};

} // namespace vdub
