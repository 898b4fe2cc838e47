#include "platform/audio/WavFileWriter.h"

#include <array>
#include <cerrno>
#include <cstring>
#include <random>

namespace omm::audio {

namespace {

constexpr size_t HeaderBytes = 44;
// The data chunk's size field is 32 bits; longer recordings are refused rather than
// written with a wrapped size.
constexpr uint64_t MaxDataBytes = 0xFFFFFFFFull - HeaderBytes;

void put16(uint8_t* p, uint16_t v) {
    p[0] = static_cast<uint8_t>(v);
    p[1] = static_cast<uint8_t>(v >> 8);
}

void put32(uint8_t* p, uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<uint8_t>(v >> (8 * i));
}

std::array<uint8_t, HeaderBytes> header(PcmFormat f, uint32_t dataBytes) {
    std::array<uint8_t, HeaderBytes> h{};
    std::memcpy(h.data(), "RIFF", 4);
    put32(h.data() + 4, 36 + dataBytes);
    std::memcpy(h.data() + 8, "WAVEfmt ", 8);
    put32(h.data() + 16, 16);
    put16(h.data() + 20, 1);
    put16(h.data() + 22, static_cast<uint16_t>(f.channels));
    put32(h.data() + 24, static_cast<uint32_t>(f.sampleRate));
    put32(h.data() + 28, static_cast<uint32_t>(f.sampleRate * f.channels * 2));
    put16(h.data() + 32, static_cast<uint16_t>(f.channels * 2));
    put16(h.data() + 34, 16);
    std::memcpy(h.data() + 36, "data", 4);
    put32(h.data() + 40, dataBytes);
    return h;
}

} // namespace

WavFileWriter::~WavFileWriter() {
    Abort();
}

bool WavFileWriter::Open(const std::string& path, PcmFormat format, std::string& error) {
    Abort();
    if (!format.valid()) {
        error = path + ": unsupported sound format";
        return false;
    }
    target_ = path;
    std::random_device rd;
    temp_ = target_;
    temp_ += ".tmp" + std::to_string(rd() % 1000000);
    file_ = std::fopen(temp_.c_str(), "wb");
    if (file_ == nullptr) {
        error = path + ": cannot create the file (" + std::strerror(errno) + ")";
        return false;
    }
    format_ = format;
    frames_ = 0;
    const auto h = header(format, 0);
    if (std::fwrite(h.data(), 1, h.size(), file_) != h.size()) {
        error = path + ": cannot write (" + std::strerror(errno) + ")";
        Abort();
        return false;
    }
    return true;
}

bool WavFileWriter::Append(const int16_t* samples, size_t frames, std::string& error) {
    if (file_ == nullptr) {
        error = target_.string() + ": the file is not open";
        return false;
    }
    const size_t values = frames * static_cast<size_t>(format_.channels);
    if ((frames_ + frames) * format_.channels * 2 > MaxDataBytes) {
        error = target_.string() + ": the sound is too long for a WAV file";
        return false;
    }
    // WAV is little-endian, as is every machine this program runs on.
    if (std::fwrite(samples, sizeof(int16_t), values, file_) != values) {
        error = target_.string() + ": cannot write (" + std::strerror(errno) + ")";
        return false;
    }
    frames_ += frames;
    return true;
}

bool WavFileWriter::Finish(std::string& error) {
    if (file_ == nullptr) {
        error = target_.string() + ": the file is not open";
        return false;
    }
    const auto h = header(format_, static_cast<uint32_t>(frames_ * format_.channels * 2));
    bool ok = std::fseek(file_, 0, SEEK_SET) == 0 &&
              std::fwrite(h.data(), 1, h.size(), file_) == h.size();
    ok = (std::fclose(file_) == 0) && ok;
    file_ = nullptr;
    std::error_code ec;
    if (ok)
        std::filesystem::rename(temp_, target_, ec);
    if (!ok || ec) {
        error = target_.string() + ": cannot complete the file (" +
                (ec ? ec.message() : std::string(std::strerror(errno))) + ")";
        std::filesystem::remove(temp_, ec);
        return false;
    }
    temp_.clear();
    return true;
}

void WavFileWriter::Abort() {
    if (file_ != nullptr) {
        std::fclose(file_);
        file_ = nullptr;
    }
    if (!temp_.empty()) {
        std::error_code ec;
        std::filesystem::remove(temp_, ec);
        temp_.clear();
    }
}

bool WriteWavFile(const std::string& path, const PcmBuffer& pcm, std::string& error) {
    WavFileWriter writer;
    return writer.Open(path, pcm.format, error) &&
           writer.Append(pcm.samples.data(), pcm.frames(), error) && writer.Finish(error);
}

} // namespace omm::audio
