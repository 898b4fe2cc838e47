#pragma once
// The compressed sound codecs of Flash movies, decoded with FFmpeg.

#include "platform/audio/PcmFormat.h"

#include <cstdint>
#include <span>
#include <string>

struct AVCodecContext;
struct AVFrame;
struct AVPacket;

namespace omm::audio {

// Decodes MP3 frames that arrive in pieces (the blocks of a stream sound), keeping the
// decoder's state between pieces as one continuous stream. Every piece must hold whole
// frames, as movies store them; the frames are found by their headers, so padding or
// junk between frames is skipped.
class Mp3Decoder {
public:
    Mp3Decoder();
    ~Mp3Decoder();
    Mp3Decoder(const Mp3Decoder&) = delete;
    Mp3Decoder& operator=(const Mp3Decoder&) = delete;

    // Appends the decoded frames of `data` to out.samples. The first decoded frame sets
    // out.format when out holds no samples yet; later frames of another format are
    // converted to it. Returns false only when the decoder cannot be opened.
    bool Decode(std::span<const uint8_t> data, PcmBuffer& out, std::string& error);

private:
    bool Open(std::string& error);
    void Receive(PcmBuffer& out);

    AVCodecContext* ctx_ = nullptr;
    AVPacket* packet_ = nullptr;
    AVFrame* frame_ = nullptr;
};

// Length in bytes of the MPEG audio frame whose header starts at data[0], or 0 when
// the bytes there are not a valid layer III header.
size_t Mp3FrameLength(std::span<const uint8_t> data);

// Nellymoser data (64-byte blocks of 256 samples, mono) at the given rate.
bool DecodeNellymoser(std::span<const uint8_t> data, int rate, PcmBuffer& out, std::string& error);

} // namespace omm::audio
