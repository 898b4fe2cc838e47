#include "WavFile.h"
#include "codec/uLittleEndian.h"

#include <cstring>
#include <unistd.h>
#include <vector>

namespace audioprep {
namespace {

constexpr uint32_t HeaderBytes = 44;
constexpr uint64_t MaxDataBytes = 0xFFFFFFFFull - HeaderBytes;

void fillHeader(uint8_t* h, int rate, int channels, uint32_t dataBytes) {
    std::memcpy(h, "RIFF", 4);
    PutU32(h + 4, 36 + dataBytes);
    std::memcpy(h + 8, "WAVEfmt ", 8);
    PutU32(h + 16, 16);
    PutU16(h + 20, 1); // PCM
    PutU16(h + 22, uint32_t(channels));
    PutU32(h + 24, uint32_t(rate));
    PutU32(h + 28, uint32_t(rate) * uint32_t(channels) * 2);
    PutU16(h + 32, uint32_t(channels) * 2);
    PutU16(h + 34, 16);
    std::memcpy(h + 36, "data", 4);
    PutU32(h + 40, dataBytes);
}

} // namespace

WavFile::WavFile(std::string target, int sampleRate, int channels)
    : target_(std::move(target)), sampleRate_(sampleRate), channels_(channels) {
    temp_ = target_ + ".part" + std::to_string(::getpid());
    file_ = std::fopen(temp_.c_str(), "wb");
    if (!file_)
        return;
    uint8_t header[HeaderBytes];
    fillHeader(header, sampleRate_, channels_, 0);
    if (std::fwrite(header, 1, HeaderBytes, file_) != HeaderBytes) {
        std::fclose(file_);
        file_ = nullptr;
        std::remove(temp_.c_str());
    }
}

WavFile::~WavFile() {
    if (file_)
        std::fclose(file_);
    if (!committed_)
        std::remove(temp_.c_str());
}

bool WavFile::Append(const int16_t* samples, size_t frames) {
    if (!file_)
        return false;
    size_t bytes = frames * size_t(channels_) * 2;
    if (dataBytes_ + bytes > MaxDataBytes)
        return false;
    // WAV samples are little-endian, as is every machine this library is built for.
    if (std::fwrite(samples, 1, bytes, file_) != bytes)
        return false;
    dataBytes_ += bytes;
    return true;
}

bool WavFile::AppendSilence(size_t frames) {
    static const std::vector<int16_t> zeros(4096 * 2, 0);
    while (frames > 0) {
        size_t chunk = std::min(frames, zeros.size() / size_t(channels_));
        if (!Append(zeros.data(), chunk))
            return false;
        frames -= chunk;
    }
    return true;
}

bool WavFile::Commit() {
    if (!file_)
        return false;
    uint8_t header[HeaderBytes];
    fillHeader(header, sampleRate_, channels_, uint32_t(dataBytes_));
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 &&
              std::fwrite(header, 1, HeaderBytes, file_) == HeaderBytes;
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    if (!ok)
        return false;
    if (std::rename(temp_.c_str(), target_.c_str()) != 0)
        return false;
    committed_ = true;
    return true;
}

} // namespace audioprep
