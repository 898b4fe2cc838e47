#pragma once
// Sound helpers for the audio tests: synthetic signals and measurements on PCM.

#include "platform/audio/PcmFormat.h"

#include <cmath>
#include <cstdint>
#include <vector>

namespace omm::test {

inline std::vector<int16_t> sine(int rate, int channels, double hz, double seconds,
                                 double amplitude = 12000) {
    const auto frames = static_cast<size_t>(rate * seconds);
    std::vector<int16_t> out;
    out.reserve(frames * static_cast<size_t>(channels));
    for (size_t i = 0; i < frames; ++i) {
        const auto v = static_cast<int16_t>(
            std::lround(amplitude * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate)));
        for (int c = 0; c < channels; ++c)
            out.push_back(v);
    }
    return out;
}

inline std::vector<int16_t> constant(size_t frames, int channels, int16_t value) {
    return std::vector<int16_t>(frames * static_cast<size_t>(channels), value);
}

// Frequency of a tone from the rising zero crossings of channel 0 between the first and
// the last crossing.
inline double zeroCrossingFrequency(const std::vector<int16_t>& pcm, int rate, int channels,
                                    int threshold = 200) {
    long first = -1, last = -1, count = 0;
    bool below = false;
    const size_t frames = pcm.size() / static_cast<size_t>(channels);
    for (size_t i = 0; i < frames; ++i) {
        const int v = pcm[i * static_cast<size_t>(channels)];
        if (v < -threshold)
            below = true;
        else if (below && v >= 0) {
            below = false;
            if (first < 0)
                first = static_cast<long>(i);
            else
                ++count;
            last = static_cast<long>(i);
        }
    }
    if (count == 0 || last <= first)
        return 0;
    return static_cast<double>(count) * rate / static_cast<double>(last - first);
}

// First and last frame whose channel-0 magnitude exceeds threshold; {-1, -1} if none.
inline std::pair<long, long> soundSpan(const std::vector<int16_t>& pcm, int channels,
                                       int threshold = 1000) {
    long first = -1, last = -1;
    const size_t frames = pcm.size() / static_cast<size_t>(channels);
    for (size_t i = 0; i < frames; ++i) {
        if (std::abs(pcm[i * static_cast<size_t>(channels)]) > threshold) {
            if (first < 0)
                first = static_cast<long>(i);
            last = static_cast<long>(i);
        }
    }
    return {first, last};
}

} // namespace omm::test
