#pragma once
// Plain sound buffers as the mixer and its users exchange them: signed 16-bit samples,
// channels interleaved.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace omm::audio {

struct PcmFormat {
    int sampleRate = 44100;
    int channels = 2;

    bool operator==(const PcmFormat&) const = default;
    bool valid() const {
        return sampleRate > 0 && sampleRate <= 384000 && channels >= 1 && channels <= 2;
    }
};

// Every voice is mixed at this format; the "Stereo Mix" input delivers it unchanged
// when the recorder asks for it.
inline constexpr PcmFormat MixFormat{44100, 2};

struct PcmBuffer {
    PcmFormat format;
    std::vector<int16_t> samples; // frames() * channels values

    size_t frames() const {
        return format.channels > 0 ? samples.size() / static_cast<size_t>(format.channels) : 0;
    }
    double seconds() const {
        return format.sampleRate > 0 ? static_cast<double>(frames()) / format.sampleRate : 0.0;
    }
};

} // namespace omm::audio
