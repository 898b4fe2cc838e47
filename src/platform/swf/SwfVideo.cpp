#include "platform/swf/SwfVideo.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

namespace omm::swf {

namespace {

AVCodecID CodecOf(uint8_t id) {
    switch (id) {
    case 2:
        return AV_CODEC_ID_FLV1;
    case 3:
        return AV_CODEC_ID_FLASHSV;
    case 4:
        return AV_CODEC_ID_VP6F;
    case 5:
        return AV_CODEC_ID_VP6A;
    case 6:
        return AV_CODEC_ID_FLASHSV2;
    default:
        return AV_CODEC_ID_NONE;
    }
}

} // namespace

struct SwfVideoDecoder::Codec {
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    AVPacket* packet = nullptr;
    SwsContext* scaler = nullptr;
    ~Codec() {
        sws_freeContext(scaler);
        av_packet_free(&packet);
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

SwfVideoDecoder::SwfVideoDecoder(const SwfVideoStream& stream,
                                 std::map<uint16_t, const SwfTag*> frames)
    : stream_(stream), frames_(std::move(frames)) {}

SwfVideoDecoder::~SwfVideoDecoder() = default;

bool SwfVideoDecoder::Open() {
    Close();
    AVCodecID id = CodecOf(stream_.codec);
    const AVCodec* decoder = id == AV_CODEC_ID_NONE ? nullptr : avcodec_find_decoder(id);
    if (!decoder)
        return false;
    codec_ = std::make_unique<Codec>();
    codec_->context = avcodec_alloc_context3(decoder);
    codec_->frame = av_frame_alloc();
    codec_->packet = av_packet_alloc();
    if (!codec_->context || !codec_->frame || !codec_->packet)
        return false;
    codec_->context->width = stream_.width;
    codec_->context->height = stream_.height;
    codec_->context->thread_count = 1;
    if (id == AV_CODEC_ID_VP6F || id == AV_CODEC_ID_VP6A) {
        // VP6 in Flash keeps a size-adjustment byte ahead of each frame; FFmpeg wants
        // it as extradata, as its FLV reader passes it.
        const SwfTag* first = frames_.empty() ? nullptr : frames_.begin()->second;
        uint8_t adjust = first && first->body.size() > 4 ? first->body[4] : 0;
        codec_->context->extradata =
            static_cast<uint8_t*>(av_mallocz(1 + AV_INPUT_BUFFER_PADDING_SIZE));
        if (!codec_->context->extradata)
            return false;
        codec_->context->extradata[0] = adjust;
        codec_->context->extradata_size = 1;
    }
    if (avcodec_open2(codec_->context, decoder, nullptr) < 0)
        return false;
    decodedUpTo_ = -1;
    return true;
}

void SwfVideoDecoder::Close() {
    codec_.reset();
    decodedUpTo_ = -1;
}

bool SwfVideoDecoder::DecodeOne(const SwfTag& tag) {
    if (tag.body.size() <= 4)
        return false;
    std::span<const uint8_t> data = tag.body.subspan(4);
    AVCodecID id = CodecOf(stream_.codec);
    if ((id == AV_CODEC_ID_VP6F || id == AV_CODEC_ID_VP6A) && !data.empty())
        data = data.subspan(1);
    if (data.empty() || data.size() > (64u << 20))
        return false;
    AVPacket* pkt = codec_->packet;
    if (av_new_packet(pkt, static_cast<int>(data.size())) < 0)
        return false;
    std::copy(data.begin(), data.end(), pkt->data);
    int rc = avcodec_send_packet(codec_->context, pkt);
    av_packet_unref(pkt);
    if (rc < 0)
        return false;
    bool got = false;
    while (avcodec_receive_frame(codec_->context, codec_->frame) == 0) {
        AVFrame* f = codec_->frame;
        if (f->width <= 0 || f->height <= 0 ||
            static_cast<int64_t>(f->width) * f->height > MaxBitmapPixels) {
            av_frame_unref(f);
            continue;
        }
        bool alpha = f->format == AV_PIX_FMT_YUVA420P;
        codec_->scaler = sws_getCachedContext(
            codec_->scaler, f->width, f->height, static_cast<AVPixelFormat>(f->format), f->width,
            f->height, AV_PIX_FMT_BGRA, SWS_BILINEAR, nullptr, nullptr, nullptr);
        QImage image(f->width, f->height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
        if (codec_->scaler && !image.isNull()) {
            uint8_t* dst[4] = {image.bits(), nullptr, nullptr, nullptr};
            int stride[4] = {static_cast<int>(image.bytesPerLine()), 0, 0, 0};
            sws_scale(codec_->scaler, f->data, f->linesize, 0, f->height, dst, stride);
            picture_ = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
            got = true;
        }
        av_frame_unref(f);
    }
    return got;
}

QImage SwfVideoDecoder::Frame(uint16_t frameNumber) {
    if (failed_ || frames_.empty())
        return {};
    auto upper = frames_.upper_bound(frameNumber);
    if (upper == frames_.begin())
        return {};
    --upper;
    int target = upper->first;
    if (target == decodedUpTo_)
        return picture_;
    if (!codec_ || target < decodedUpTo_) {
        picture_ = QImage();
        if (!Open()) {
            failed_ = true;
            Close();
            return {};
        }
    }
    auto it = decodedUpTo_ < 0 ? frames_.begin()
                               : frames_.upper_bound(static_cast<uint16_t>(decodedUpTo_));
    for (; it != frames_.end() && it->first <= target; ++it)
        DecodeOne(*it->second);
    decodedUpTo_ = target;
    return picture_;
}

} // namespace omm::swf
