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
    if (from == to)
        return;
    AVChannelLayout inLayout = layoutOf(from.channels);
    AVChannelLayout outLayout = layoutOf(to.channels);
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

void PcmConverter::convert(const int16_t* in, size_t frames, std::vector<int16_t>& out) {
    if (swr_ == nullptr) {
        out.insert(out.end(), in, in + frames * static_cast<size_t>(from_.channels));
        return;
    }
    if (frames == 0)
        return;
    const int outCapacity = swr_get_out_samples(swr_, static_cast<int>(frames));
    if (outCapacity <= 0)
        return;
    const size_t old = out.size();
    out.resize(old + static_cast<size_t>(outCapacity) * static_cast<size_t>(to_.channels));
    auto* dst = reinterpret_cast<uint8_t*>(out.data() + old);
    auto* src = reinterpret_cast<const uint8_t*>(in);
    const int made = swr_convert(swr_, &dst, outCapacity, &src, static_cast<int>(frames));
    out.resize(old + static_cast<size_t>(made > 0 ? made : 0) * static_cast<size_t>(to_.channels));
}

void PcmConverter::flush(std::vector<int16_t>& out) {
    if (swr_ == nullptr)
        return;
    const int outCapacity = swr_get_out_samples(swr_, 0);
    if (outCapacity <= 0)
        return;
    const size_t old = out.size();
    out.resize(old + static_cast<size_t>(outCapacity) * static_cast<size_t>(to_.channels));
    auto* dst = reinterpret_cast<uint8_t*>(out.data() + old);
    const int made = swr_convert(swr_, &dst, outCapacity, nullptr, 0);
    out.resize(old + static_cast<size_t>(made > 0 ? made : 0) * static_cast<size_t>(to_.channels));
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
