#pragma once
// A 16-bit PCM WAV file written front to back; the RIFF and data sizes are patched when
// it is finished. Written under a temporary name and renamed over the target by Commit.

#include <cstdint>
#include <cstdio>
#include <string>

namespace audioprep {

class WavFile {
public:
    WavFile(std::string target, int sampleRate, int channels);
    ~WavFile(); // removes the temporary file unless Commit succeeded
    WavFile(const WavFile&) = delete;
    WavFile& operator=(const WavFile&) = delete;

    bool IsOpen() const { return file_ != nullptr; }
    // Appends interleaved 16-bit samples; false when the disk refuses them or the file
    // would pass the 4 GiB limit of the format.
    bool Append(const int16_t* samples, size_t frames);
    bool AppendSilence(size_t frames);
    uint64_t Frames() const { return dataBytes_ / (2u * uint32_t(channels_)); }
    // Patches the sizes, closes and renames to the target.
    bool Commit();

private:
    std::string target_;
    std::string temp_;
    FILE* file_ = nullptr;
    int sampleRate_;
    int channels_;
    uint64_t dataBytes_ = 0;
    bool committed_ = false;
};

} // namespace audioprep
