// The two routes of libAudioPrep.so (see AudioPrep.h for the contract).

#include "AudioPrep.h"
#include "FfmpegHandles.h"
#include "WavFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <vector>

namespace audioprep {
namespace {

using namespace toolsupport;

constexpr int TolerantRate = 44100;
constexpr int TolerantChannels = 2;
// Gaps shorter than this (in output samples) are rounding of the time stamps, not gaps.
constexpr int64_t GapSlack = 1024;

struct SwrCloser {
    void operator()(SwrContext* s) const { swr_free(&s); }
};

// The opened sound stream of a source file.
struct Source {
    FormatPtr format;
    CodecPtr codec;
    AVStream* stream = nullptr;
    int index = -1;
};

bool openSource(const char* path, bool tolerant, Source& src) {
    AVDictionary* options = nullptr;
    if (tolerant)
        av_dict_set(&options, "fflags", "+discardcorrupt+genpts", 0);
    AVFormatContext* raw = nullptr;
    int rc = avformat_open_input(&raw, path, nullptr, &options);
    av_dict_free(&options);
    if (rc < 0)
        return false;
    src.format.reset(raw);
    if (avformat_find_stream_info(raw, nullptr) < 0 && !tolerant)
        return false;
    const AVCodec* decoder = nullptr;
    src.index = av_find_best_stream(raw, AVMEDIA_TYPE_AUDIO, -1, -1, &decoder, 0);
    if (src.index < 0 || !decoder)
        return false;
    src.stream = raw->streams[src.index];
    for (unsigned i = 0; i < raw->nb_streams; ++i)
        if (int(i) != src.index)
            raw->streams[i]->discard = AVDISCARD_ALL;
    src.codec.reset(avcodec_alloc_context3(decoder));
    if (!src.codec || avcodec_parameters_to_context(src.codec.get(), src.stream->codecpar) < 0)
        return false;
    if (tolerant) {
        src.codec->err_recognition = 0;
        av_opt_set(src.codec.get(), "err_detect", "ignore_err", 0);
    }
    src.codec->pkt_timebase = src.stream->time_base;
    return avcodec_open2(src.codec.get(), decoder, nullptr) >= 0 && src.codec->sample_rate > 0 &&
           src.codec->ch_layout.nb_channels > 0;
}

// Converts decoded frames to interleaved 16-bit samples of one fixed format; rebuilds
// itself when the decoder changes format in the middle of a stream.
class Converter {
public:
    Converter(int rate, int channels) : rate_(rate), channels_(channels) {}

    bool Convert(const AVFrame* frame, WavFile& wav) {
        if (!swr_ || frame->sample_rate != inRate_ || frame->format != inFormat_ ||
            av_channel_layout_compare(&frame->ch_layout, &inLayout_) != 0) {
            if (swr_ && !Flush(wav))
                return false;
            if (!setup(frame))
                return false;
        }
        int maxOut = swr_get_out_samples(swr_.get(), frame->nb_samples);
        if (maxOut < 0)
            return false;
        buffer_.resize(size_t(maxOut) * size_t(channels_) + size_t(channels_));
        uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buffer_.data())};
        int got = swr_convert(swr_.get(), out, maxOut,
                              const_cast<const uint8_t**>(frame->extended_data), frame->nb_samples);
        return got >= 0 && wav.Append(buffer_.data(), size_t(got));
    }

    bool Flush(WavFile& wav) {
        if (!swr_)
            return true;
        for (;;) {
            int maxOut = swr_get_out_samples(swr_.get(), 0);
            if (maxOut <= 0)
                return true;
            buffer_.resize(size_t(maxOut) * size_t(channels_));
            uint8_t* out[1] = {reinterpret_cast<uint8_t*>(buffer_.data())};
            int got = swr_convert(swr_.get(), out, maxOut, nullptr, 0);
            if (got < 0)
                return false;
            if (got == 0)
                return true;
            if (!wav.Append(buffer_.data(), size_t(got)))
                return false;
        }
    }

    // Output samples still inside the resampler.
    int64_t Pending() const { return swr_ ? swr_get_delay(swr_.get(), rate_) : 0; }

    ~Converter() { av_channel_layout_uninit(&inLayout_); }

private:
    bool setup(const AVFrame* frame) {
        av_channel_layout_uninit(&inLayout_);
        if (av_channel_layout_copy(&inLayout_, &frame->ch_layout) < 0)
            return false;
        AVChannelLayout in = {};
        if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC)
            av_channel_layout_default(&in, frame->ch_layout.nb_channels);
        else
            av_channel_layout_copy(&in, &frame->ch_layout);
        AVChannelLayout out = {};
        av_channel_layout_default(&out, channels_);
        SwrContext* raw = nullptr;
        int rc = swr_alloc_set_opts2(&raw, &out, AV_SAMPLE_FMT_S16, rate_, &in,
                                     AVSampleFormat(frame->format), frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&in);
        av_channel_layout_uninit(&out);
        if (rc < 0 || !raw)
            return false;
        swr_.reset(raw);
        if (swr_init(raw) < 0)
            return false;
        inRate_ = frame->sample_rate;
        inFormat_ = frame->format;
        return true;
    }

    int rate_;
    int channels_;
    std::unique_ptr<SwrContext, SwrCloser> swr_;
    AVChannelLayout inLayout_ = {};
    int inRate_ = 0;
    int inFormat_ = -1;
    std::vector<int16_t> buffer_;
};

// ConvertWave: every packet must decode; the source's rate is kept.
bool strictRoute(const char* srcPath, const char* wavPath) {
    Source src;
    if (!openSource(srcPath, false, src))
        return false;
    const int rate = src.codec->sample_rate;
    const int channels = std::min(src.codec->ch_layout.nb_channels, 2);
    WavFile wav(wavPath, rate, channels);
    if (!wav.IsOpen())
        return false;
    Converter conv(rate, channels);
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    auto drain = [&]() {
        for (;;) {
            int rc = avcodec_receive_frame(src.codec.get(), frame.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return true;
            if (rc < 0)
                return false;
            bool ok = conv.Convert(frame.get(), wav);
            av_frame_unref(frame.get());
            if (!ok)
                return false;
        }
    };
    for (;;) {
        int rc = av_read_frame(src.format.get(), packet.get());
        if (rc == AVERROR_EOF)
            break;
        if (rc < 0)
            return false;
        bool ok = true;
        if (packet->stream_index == src.index)
            ok = avcodec_send_packet(src.codec.get(), packet.get()) >= 0 && drain();
        av_packet_unref(packet.get());
        if (!ok)
            return false;
    }
    if (avcodec_send_packet(src.codec.get(), nullptr) < 0 || !drain() || !conv.Flush(wav))
        return false;
    return wav.Frames() > 0 && wav.Commit();
}

// ConvertMP3: damaged packets and holes in the time stamps become silence; 44100 Hz
// stereo whatever the source.
bool tolerantRoute(const char* srcPath, const char* wavPath) {
    Source src;
    if (!openSource(srcPath, true, src))
        return false;
    WavFile wav(wavPath, TolerantRate, TolerantChannels);
    if (!wav.IsOpen())
        return false;
    Converter conv(TolerantRate, TolerantChannels);
    const AVRational tb = src.stream->time_base;
    int64_t origin = src.stream->start_time != AV_NOPTS_VALUE && src.stream->start_time < 0
                         ? src.stream->start_time
                         : 0;
    int64_t missing = 0; // output samples of damaged packets not yet accounted for

    auto samplesAt = [&](int64_t ts) {
        return int64_t(std::llround(double(ts - origin) * av_q2d(tb) * TolerantRate));
    };
    auto packetSamples = [&](const AVPacket* p) -> int64_t {
        if (p->duration > 0)
            return int64_t(std::llround(double(p->duration) * av_q2d(tb) * TolerantRate));
        if (src.codec->frame_size > 0 && src.codec->sample_rate > 0)
            return int64_t(src.codec->frame_size) * TolerantRate / src.codec->sample_rate;
        return 0;
    };
    PacketPtr packet(av_packet_alloc());
    FramePtr frame(av_frame_alloc());
    bool writeFailed = false;
    auto placeAndConvert = [&](const AVFrame* f) {
        int64_t ts = f->best_effort_timestamp;
        int64_t written = int64_t(wav.Frames()) + conv.Pending();
        if (ts != AV_NOPTS_VALUE) {
            int64_t gap = samplesAt(ts) - written;
            if (gap > GapSlack && !wav.AppendSilence(size_t(gap)))
                return false;
            missing = 0;
        } else if (missing > 0) {
            if (!wav.AppendSilence(size_t(missing)))
                return false;
            missing = 0;
        }
        return conv.Convert(f, wav);
    };
    auto drain = [&]() {
        for (;;) {
            int rc = avcodec_receive_frame(src.codec.get(), frame.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return;
            if (rc < 0)
                continue; // a damaged frame; its time is filled by the next one
            bool ok = placeAndConvert(frame.get());
            av_frame_unref(frame.get());
            if (!ok) {
                writeFailed = true;
                return;
            }
        }
    };
    int readErrors = 0;
    while (!writeFailed) {
        int rc = av_read_frame(src.format.get(), packet.get());
        if (rc == AVERROR_EOF)
            break;
        if (rc < 0) {
            // A broken chunk: carry on from the next readable one, but give up on a file
            // that yields nothing but errors.
            if (++readErrors > 1000 || src.format->pb == nullptr || avio_feof(src.format->pb))
                break;
            continue;
        }
        if (packet->stream_index == src.index) {
            if (packet->flags & AV_PKT_FLAG_CORRUPT) {
                missing += packetSamples(packet.get());
            } else {
                rc = avcodec_send_packet(src.codec.get(), packet.get());
                if (rc < 0 && rc != AVERROR(EAGAIN))
                    missing += packetSamples(packet.get());
                drain();
            }
        }
        av_packet_unref(packet.get());
    }
    if (writeFailed)
        return false;
    avcodec_send_packet(src.codec.get(), nullptr);
    drain();
    if (writeFailed || !conv.Flush(wav))
        return false;
    if (missing > 0 && wav.Frames() > 0 && !wav.AppendSilence(size_t(missing)))
        return false;
    return wav.Frames() > 0 && wav.Commit();
}

const char* resultFor(bool ok, const char* wav) {
    return ok ? wav : wav + std::strlen(wav);
}

template <typename Route> const char* guarded(Route route, const char* src, const char* wav) {
    if (!wav)
        return nullptr;
    if (!src || !*src || !*wav)
        return resultFor(false, wav);
    av_log_set_level(AV_LOG_QUIET);
    try {
        return resultFor(route(src, wav), wav);
    } catch (...) {
        // Nothing may cross the C boundary: a failure is an empty text.
        return resultFor(false, wav);
    }
}

} // namespace
} // namespace audioprep

extern "C" const char* ConvertWave(const char* src, const char* wav) {
    return audioprep::guarded(audioprep::strictRoute, src, wav);
}

extern "C" const char* ConvertMP3(const char* src, const char* wav, int, int) {
    return audioprep::guarded(audioprep::tolerantRoute, src, wav);
}
