#pragma once
// Rate and channel conversion of 16-bit PCM (libswresample), used wherever sound changes
// format: voices entering the mixer, the mix leaving for a recorder.

#include "platform/audio/PcmFormat.h"

#include <memory>
#include <string>

struct SwrContext;

namespace omm::audio {

class PcmConverter {
public:
    // Throws std::runtime_error when either format is invalid or the converter cannot
    // be set up.
    PcmConverter(PcmFormat from, PcmFormat to);
    ~PcmConverter();
    PcmConverter(const PcmConverter&) = delete;
    PcmConverter& operator=(const PcmConverter&) = delete;

    // Converts `frames` frames and appends the output to `out`. Identical formats pass
    // through unchanged. The converter keeps a short history between calls, so a sound
    // cut into blocks converts exactly as it would in one piece.
    void convert(const int16_t* in, size_t frames, std::vector<int16_t>& out);
    // Appends what the converter still holds back; call once at the end of a sound.
    void flush(std::vector<int16_t>& out);

    PcmFormat from() const { return from_; }
    PcmFormat to() const { return to_; }

private:
    void mapChannels(const int16_t* in, size_t frames, std::vector<int16_t>& out) const;
    void resample(const int16_t* in, size_t frames, std::vector<int16_t>& out);

    std::vector<int16_t> scratch_;
    PcmFormat from_;
    PcmFormat to_;
    SwrContext* swr_ = nullptr;
};

// A whole buffer converted in one go (flushed).
PcmBuffer convertBuffer(const PcmBuffer& in, PcmFormat to);

} // namespace omm::audio
