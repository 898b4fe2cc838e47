#include "platform/audio/SwfCompressedSound.h"

#include "platform/audio/PcmConverter.h"

#include <algorithm>
#include <cmath>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
}

namespace omm::audio {

namespace {

constexpr int Mpeg1Layer3Kbps[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                     112, 128, 160, 192, 224, 256, 320, 0};
constexpr int Mpeg2Layer3Kbps[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                     64, 80, 96, 112, 128, 144, 160, 0};
constexpr int RateTable[3][3] = {
    {44100, 48000, 32000}, {22050, 24000, 16000}, {11025, 12000, 8000}};

int16_t toS16(float value) {
    return static_cast<int16_t>(std::clamp<long>(std::lrintf(value * 32768.0f), -32768, 32767));
}

// Appends a decoded frame as interleaved 16-bit samples.
void appendFrame(const AVFrame* frame, std::vector<int16_t>& out) {
    const int channels = frame->ch_layout.nb_channels;
    const int n = frame->nb_samples;
    const auto fmt = static_cast<AVSampleFormat>(frame->format);
    const bool planar = av_sample_fmt_is_planar(fmt) != 0;
    out.reserve(out.size() + static_cast<size_t>(n * channels));
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < channels; ++c) {
            const int plane = planar ? c : 0;
            const int index = planar ? i : i * channels + c;
            switch (fmt) {
            case AV_SAMPLE_FMT_FLT:
            case AV_SAMPLE_FMT_FLTP:
                out.push_back(
                    toS16(reinterpret_cast<const float*>(frame->extended_data[plane])[index]));
                break;
            case AV_SAMPLE_FMT_S16:
            case AV_SAMPLE_FMT_S16P:
                out.push_back(reinterpret_cast<const int16_t*>(frame->extended_data[plane])[index]);
                break;
            case AV_SAMPLE_FMT_S32:
            case AV_SAMPLE_FMT_S32P:
                out.push_back(static_cast<int16_t>(
                    reinterpret_cast<const int32_t*>(frame->extended_data[plane])[index] >> 16));
                break;
            default:
                out.push_back(0);
            }
        }
    }
}

void appendConverted(const AVFrame* frame, PcmBuffer& out) {
    const PcmFormat got{frame->sample_rate, frame->ch_layout.nb_channels};
    if (out.samples.empty())
        out.format = got;
    if (got == out.format) {
        appendFrame(frame, out.samples);
        return;
    }
    // A stream that changes format midway is rare; keep the first format throughout.
    std::vector<int16_t> pcm;
    appendFrame(frame, pcm);
    if (!got.valid())
        return;
    PcmConverter converter(got, out.format);
    converter.convert(pcm.data(), pcm.size() / static_cast<size_t>(got.channels), out.samples);
    converter.flush(out.samples);
}

} // namespace

size_t Mp3FrameLength(std::span<const uint8_t> d) {
    if (d.size() < 4 || d[0] != 0xFF || (d[1] & 0xE0) != 0xE0)
        return 0;
    const int version = (d[1] >> 3) & 3; // 0: 2.5, 2: 2, 3: 1
    const int layer = (d[1] >> 1) & 3;   // 1: layer III
    const int bitrateIndex = d[2] >> 4;
    const int rateIndex = (d[2] >> 2) & 3;
    const int padding = (d[2] >> 1) & 1;
    if (version == 1 || layer != 1 || rateIndex == 3 || bitrateIndex == 0 || bitrateIndex == 15)
        return 0;
    const int row = version == 3 ? 0 : version == 2 ? 1 : 2;
    const int rate = RateTable[row][rateIndex];
    const int kbps = version == 3 ? Mpeg1Layer3Kbps[bitrateIndex] : Mpeg2Layer3Kbps[bitrateIndex];
    const int factor = version == 3 ? 144 : 72;
    return static_cast<size_t>(factor * kbps * 1000 / rate + padding);
}

Mp3Decoder::Mp3Decoder() = default;

Mp3Decoder::~Mp3Decoder() {
    av_frame_free(&frame_);
    av_packet_free(&packet_);
    avcodec_free_context(&ctx_);
}

bool Mp3Decoder::Open(std::string& error) {
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_MP3);
    if (codec == nullptr) {
        error = "no MP3 decoder available";
        return false;
    }
    ctx_ = avcodec_alloc_context3(codec);
    packet_ = av_packet_alloc();
    frame_ = av_frame_alloc();
    if (ctx_ == nullptr || packet_ == nullptr || frame_ == nullptr ||
        avcodec_open2(ctx_, codec, nullptr) < 0) {
        error = "cannot open the MP3 decoder";
        return false;
    }
    return true;
}

void Mp3Decoder::Receive(PcmBuffer& out) {
    while (avcodec_receive_frame(ctx_, frame_) == 0) {
        appendConverted(frame_, out);
        av_frame_unref(frame_);
    }
}

bool Mp3Decoder::Decode(std::span<const uint8_t> data, PcmBuffer& out, std::string& error) {
    if (ctx_ == nullptr && !Open(error))
        return false;
    size_t pos = 0;
    while (pos + 4 <= data.size()) {
        const size_t length = Mp3FrameLength(data.subspan(pos));
        if (length == 0 || pos + length > data.size()) {
            ++pos; // not a frame here (or a frame cut short): look for the next header
            continue;
        }
        if (av_new_packet(packet_, static_cast<int>(length)) < 0) {
            error = "out of memory";
            return false;
        }
        std::copy_n(data.data() + pos, length, packet_->data);
        // A damaged frame is dropped by the decoder; the rest of the sound still plays.
        if (avcodec_send_packet(ctx_, packet_) == 0)
            Receive(out);
        av_packet_unref(packet_);
        pos += length;
    }
    return true;
}

bool DecodeNellymoser(std::span<const uint8_t> data, int rate, PcmBuffer& out, std::string& error) {
    constexpr size_t BlockBytes = 64;
    const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_NELLYMOSER);
    if (codec == nullptr) {
        error = "no Nellymoser decoder available";
        return false;
    }
    AVCodecContext* ctx = avcodec_alloc_context3(codec);
    AVPacket* packet = av_packet_alloc();
    AVFrame* frame = av_frame_alloc();
    bool ok = ctx != nullptr && packet != nullptr && frame != nullptr;
    if (ok) {
        ctx->sample_rate = rate;
        av_channel_layout_default(&ctx->ch_layout, 1);
        ok = avcodec_open2(ctx, codec, nullptr) >= 0;
    }
    if (!ok) {
        error = "cannot open the Nellymoser decoder";
    } else {
        out.format = PcmFormat{rate, 1};
        for (size_t pos = 0; pos + BlockBytes <= data.size(); pos += BlockBytes) {
            if (av_new_packet(packet, static_cast<int>(BlockBytes)) < 0)
                break;
            std::copy_n(data.data() + pos, BlockBytes, packet->data);
            if (avcodec_send_packet(ctx, packet) == 0)
                while (avcodec_receive_frame(ctx, frame) == 0) {
                    appendFrame(frame, out.samples);
                    av_frame_unref(frame);
                }
            av_packet_unref(packet);
        }
    }
    av_frame_free(&frame);
    av_packet_free(&packet);
    avcodec_free_context(&ctx);
    return ok;
}

} // namespace omm::audio
