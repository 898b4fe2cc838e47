#pragma once
// 16-bit PCM WAV files written front to back: samples are appended as they come, the
// sizes are patched when the file is finished, and the finished file replaces the
// target only then (it is written under a temporary name beside it).

#include "platform/audio/PcmFormat.h"

#include <cstdio>
#include <filesystem>
#include <string>

namespace omm::audio {

class WavFileWriter {
public:
    WavFileWriter() = default;
    ~WavFileWriter(); // an unfinished file is removed
    WavFileWriter(const WavFileWriter&) = delete;
    WavFileWriter& operator=(const WavFileWriter&) = delete;

    bool Open(const std::string& path, PcmFormat format, std::string& error);
    bool Append(const int16_t* samples, size_t frames, std::string& error);
    // Patches the header and renames the file over the target.
    bool Finish(std::string& error);
    // Drops the temporary file; the target is left as it was.
    void Abort();

    uint64_t FramesWritten() const { return frames_; }

private:
    std::filesystem::path target_;
    std::filesystem::path temp_;
    std::FILE* file_ = nullptr;
    PcmFormat format_;
    uint64_t frames_ = 0;
};

// Writes a whole buffer; same guarantees as WavFileWriter.
bool WriteWavFile(const std::string& path, const PcmBuffer& pcm, std::string& error);

} // namespace omm::audio
