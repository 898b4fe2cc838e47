#include "platform/audio/PcmConverter.h"

#include <stdexcept>

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

namespace omm::audio {

namespace {

AVChannelLayout layoutOf(int channels) {
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, channels);
    return layout;
}

} // namespace

PcmConverter::PcmConverter(PcmFormat from, PcmFormat to) : from_(from), to_(to) {
    if (!from.valid() || !to.valid())
        throw std::runtime_error("unsupported sound format (rate " +
                                 std::to_string(from.sampleRate) + ", " +
                                 std::to_string(from.channels) + " channels)");
    if (from.sampleRate == to.sampleRate)
        return;
    // swresample changes only the rate; channels are mapped by hand afterwards, because
    // its matrix would lower a mono sound by 3 dB on each side of a stereo mix.
    AVChannelLayout inLayout = layoutOf(from.channels);
    AVChannelLayout outLayout = layoutOf(from.channels);
    int rc = swr_alloc_set_opts2(&swr_, &outLayout, AV_SAMPLE_FMT_S16, to.sampleRate, &inLayout,
                                 AV_SAMPLE_FMT_S16, from.sampleRate, 0, nullptr);
    av_channel_layout_uninit(&inLayout);
    av_channel_layout_uninit(&outLayout);
    if (rc < 0 || swr_init(swr_) < 0) {
        swr_free(&swr_);
        throw std::runtime_error("cannot set up the sound converter");
    }
}

PcmConverter::~PcmConverter() {
    swr_free(&swr_);
}

void PcmConverter::mapChannels(const int16_t* in, size_t frames, std::vector<int16_t>& out) const {
    if (from_.channels == to_.channels) {
        out.insert(out.end(), in, in + frames * static_cast<size_t>(from_.channels));
    } else if (from_.channels == 1) { // the same sound on both sides
        out.reserve(out.size() + frames * 2);
        for (size_t i = 0; i < frames; ++i)
            out.insert(out.end(), {in[i], in[i]});
    } else { // both sides, averaged
        out.reserve(out.size() + frames);
        for (size_t i = 0; i < frames; ++i)
            out.push_back(static_cast<int16_t>((in[2 * i] + in[2 * i + 1]) / 2));
    }
}

void PcmConverter::resample(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
    const int outCapacity = swr_get_out_samples(swr_, static_cast<int>(frames));
    if (outCapacity <= 0)
        return;
    const size_t channels = static_cast<size_t>(from_.channels);
    std::vector<int16_t>& buffer = from_.channels == to_.channels ? out : scratch_;
    if (&buffer == &scratch_)
        scratch_.clear();
    const size_t old = buffer.size();
    buffer.resize(old + static_cast<size_t>(outCapacity) * channels);
    auto* dst = reinterpret_cast<uint8_t*>(buffer.data() + old);
    auto* src = reinterpret_cast<const uint8_t*>(in);
    const int made =
        swr_convert(swr_, &dst, outCapacity, in ? &src : nullptr, static_cast<int>(frames));
    buffer.resize(old + static_cast<size_t>(made > 0 ? made : 0) * channels);
    if (&buffer == &scratch_)
        mapChannels(scratch_.data(), scratch_.size() / channels, out);
}

void PcmConverter::convert(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
    if (frames == 0)
        return;
    if (swr_ == nullptr)
        mapChannels(in, frames, out);
    else
        resample(in, frames, out);
}

void PcmConverter::flush(std::vector<int16_t>& out) {
    if (swr_ != nullptr)
        resample(nullptr, 0, out);
}

PcmBuffer convertBuffer(const PcmBuffer& in, PcmFormat to) {
    PcmBuffer out;
    out.format = to;
    if (in.format == to) {
        out.samples = in.samples;
        return out;
    }
    PcmConverter converter(in.format, to);
    converter.convert(in.samples.data(), in.frames(), out.samples);
    converter.flush(out.samples);
    return out;
}

} // namespace omm::audio
