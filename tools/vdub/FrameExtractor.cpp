#include "FrameExtractor.h"

#include "BmpWriter.h"
#include "FfmpegHandles.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/imgutils.h>
#include <libswscale/swscale.h>
}

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <thread>

namespace vdub {
namespace {

using namespace toolsupport;

struct SwsCloser {
    void operator()(SwsContext* s) const { sws_freeContext(s); }
};

// Names the output files: Prefix + number with Digits zero-padded digits + Suffix, in a
// buffer that is reused for every frame.
class FrameNamer {
public:
    FrameNamer(const ExportJob& job) : job_(job) { name_.reserve(job.Prefix.size() + 32); }
    const std::string& operator()(int64_t number) {
        char digits[32];
        std::snprintf(digits, sizeof digits, "%0*lld", job_.Digits, static_cast<long long>(number));
        name_.assign(job_.Prefix).append(digits).append(job_.Suffix);
        return name_;
    }

private:
    const ExportJob& job_;
    std::string name_;
};

class Extraction {
public:
    explicit Extraction(const ExportJob& job) : job_(job), namer_(job) {}

    ExportResult Run() {
        if (!open())
            return result_;
        decodeAll();
        if (bitmaps_) {
            if (!bitmaps_->Finish() && result_.Error.empty())
                fail(bitmaps_->Error());
            result_.FramesWritten = bitmaps_->Written();
        }
        if (result_.FramesWritten == 0 && result_.Error.empty())
            result_.Error = job_.Source + ": no frame of the range could be decoded";
        return result_;
    }

private:
    bool fail(const std::string& what) {
        result_.Error = job_.Source + ": " + what;
        return false;
    }

    bool open() {
        std::error_code ec;
        if (!std::filesystem::is_regular_file(job_.Source, ec))
            return fail("the source file does not exist");
        AVFormatContext* raw = nullptr;
        int rc = avformat_open_input(&raw, job_.Source.c_str(), nullptr, nullptr);
        if (rc < 0)
            return fail("not a readable video file (" + avError(rc) + ")");
        format_.reset(raw);
        rc = avformat_find_stream_info(format_.get(), nullptr);
        if (rc < 0)
            return fail("its streams cannot be read (" + avError(rc) + ")");
        const AVCodec* codec = nullptr;
        streamIndex_ = av_find_best_stream(format_.get(), AVMEDIA_TYPE_VIDEO, -1, -1, &codec, 0);
        if (streamIndex_ < 0 || !codec)
            return fail("it holds no decodable video stream");
        stream_ = format_->streams[streamIndex_];
        for (unsigned i = 0; i < format_->nb_streams; ++i)
            if (int(i) != streamIndex_)
                format_->streams[i]->discard = AVDISCARD_ALL;

        codec_.reset(avcodec_alloc_context3(codec));
        if (!codec_ || avcodec_parameters_to_context(codec_.get(), stream_->codecpar) < 0)
            return fail("its video decoder cannot be set up");
        unsigned cores = std::thread::hardware_concurrency();
        codec_->thread_count = int(cores == 0 ? 2 : std::min(cores + 1, 16u));
        codec_->thread_type = FF_THREAD_FRAME | FF_THREAD_SLICE;
        rc = avcodec_open2(codec_.get(), codec, nullptr);
        if (rc < 0)
            return fail("its video decoder cannot be opened (" + avError(rc) + ")");
        if (codec_->width <= 0 || codec_->height <= 0)
            return fail("its video has no picture size");

        AVRational rate = stream_->avg_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            rate = stream_->r_frame_rate;
        if (rate.num <= 0 || rate.den <= 0)
            return fail("its video has no frame rate");
        fps_ = av_q2d(rate);
        startTs_ = stream_->start_time == AV_NOPTS_VALUE ? 0 : stream_->start_time;

        int64_t total = stream_->nb_frames;
        if (total <= 0 && stream_->duration != AV_NOPTS_VALUE)
            total = std::llround(double(stream_->duration) * av_q2d(stream_->time_base) * fps_);
        if (total <= 0 && format_->duration > 0)
            total = std::llround(double(format_->duration) / AV_TIME_BASE * fps_);
        firstFrame_ = std::llround(double(job_.RangeStartMs) * fps_ / 1000.0);
        endFrame_ = INT64_MAX;
        if (job_.RangeEndTrimMs > 0) {
            if (total <= 0)
                return fail("the length of its video is unknown, so the end of the range "
                            "cannot be placed");
            endFrame_ = total - std::llround(double(job_.RangeEndTrimMs) * fps_ / 1000.0);
        }
        if (endFrame_ <= firstFrame_)
            return fail("the range holds no frame");

        std::filesystem::path folder = std::filesystem::path(job_.Prefix).parent_path();
        if (!folder.empty())
            std::filesystem::create_directories(folder, ec);

        if (firstFrame_ > 0) {
            int64_t target =
                startTs_ + av_rescale_q(firstFrame_, av_inv_q(rate), stream_->time_base);
            // A failed seek only costs time: the frames before the range are skipped anyway.
            if (av_seek_frame(format_.get(), streamIndex_, target, AVSEEK_FLAG_BACKWARD) >= 0)
                avcodec_flush_buffers(codec_.get());
        }
        bitmaps_ = std::make_unique<BitmapQueue>(codec_->width, codec_->height);
        return true;
    }

    // The frame number of a decoded picture, from its time stamp; pictures without one
    // follow the previous picture.
    int64_t frameNumber(const AVFrame* frame) {
        int64_t ts = frame->best_effort_timestamp;
        if (ts == AV_NOPTS_VALUE)
            return lastNumber_ + 1;
        return std::llround(double(ts - startTs_) * av_q2d(stream_->time_base) * fps_);
    }

    bool convert(const AVFrame* frame) {
        if (!sws_ || frame->width != swsWidth_ || frame->height != swsHeight_ ||
            frame->format != swsFormat_) {
            sws_.reset(sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format),
                                      codec_->width, codec_->height, AV_PIX_FMT_BGR24, SWS_BICUBIC,
                                      nullptr, nullptr, nullptr));
            swsWidth_ = frame->width;
            swsHeight_ = frame->height;
            swsFormat_ = frame->format;
            if (!sws_)
                return fail("its pictures cannot be converted to 24-bit colour");
        }
        BmpWriter& bmp = bitmaps_->BeginPaint();
        uint8_t* dst[4] = {bmp.TopRow(), nullptr, nullptr, nullptr};
        int dstStride[4] = {bmp.TopRowStride(), 0, 0, 0};
        sws_scale(sws_.get(), frame->data, frame->linesize, 0, frame->height, dst, dstStride);
        return true;
    }

    // Queues the picture just painted (Fresh) or the last one again under frame number's
    // name; false when an earlier write failed.
    bool save(int64_t number, bool fresh) {
        const std::string& name = namer_(number - firstFrame_);
        bool ok = fresh ? bitmaps_->Submit(name) : bitmaps_->Repeat(name);
        if (!ok)
            return fail(bitmaps_->Error());
        return true;
    }

    // Returns false when the export must stop (write error or the range is done).
    bool take(const AVFrame* frame) {
        int64_t number = frameNumber(frame);
        if (number <= lastNumber_)
            return true; // a repeated picture of a frame already written
        if (number < firstFrame_) {
            lastNumber_ = number;
            return true;
        }
        // A frame the file leaves out (a dropped frame) repeats the picture before it, so
        // the numbering stays one file per frame of the video.
        int64_t fillFrom = std::max(lastNumber_ + 1, firstFrame_);
        if (haveImage_) {
            for (int64_t n = fillFrom; n < number && n < endFrame_; ++n)
                if (!save(n, false))
                    return false;
            fillFrom = number;
        }
        if (number >= endFrame_)
            return false;
        if (!convert(frame))
            return false;
        haveImage_ = true;
        // Missing frames at the start of the range take the first picture.
        if (!save(fillFrom, true))
            return false;
        for (int64_t n = fillFrom + 1; n <= number; ++n)
            if (!save(n, false))
                return false;
        lastNumber_ = number;
        return true;
    }

    // Receives every picture the decoder has ready; false to stop.
    bool drain() {
        for (;;) {
            int rc = avcodec_receive_frame(codec_.get(), frame_.get());
            if (rc == AVERROR(EAGAIN) || rc == AVERROR_EOF)
                return true;
            if (rc < 0) {
                noteDamage(rc);
                return true;
            }
            bool goOn = take(frame_.get());
            av_frame_unref(frame_.get());
            if (!goOn)
                return false;
        }
    }

    void noteDamage(int rc) {
        if (result_.Warning.empty())
            result_.Warning = job_.Source + ": damaged video data skipped (" + avError(rc) + ")";
    }

    void decodeAll() {
        packet_.reset(av_packet_alloc());
        frame_.reset(av_frame_alloc());
        bool goOn = true;
        while (goOn) {
            int rc = av_read_frame(format_.get(), packet_.get());
            if (rc < 0) {
                if (rc != AVERROR_EOF)
                    noteDamage(rc);
                break;
            }
            if (packet_->stream_index == streamIndex_) {
                rc = avcodec_send_packet(codec_.get(), packet_.get());
                if (rc < 0 && rc != AVERROR(EAGAIN))
                    noteDamage(rc);
                goOn = drain();
            }
            av_packet_unref(packet_.get());
        }
        if (goOn && result_.Error.empty()) {
            avcodec_send_packet(codec_.get(), nullptr);
            drain();
        }
    }

    const ExportJob& job_;
    FrameNamer namer_;
    ExportResult result_;
    FormatPtr format_;
    CodecPtr codec_;
    FramePtr frame_;
    PacketPtr packet_;
    std::unique_ptr<SwsContext, SwsCloser> sws_;
    std::unique_ptr<BitmapQueue> bitmaps_;
    AVStream* stream_ = nullptr;
    int streamIndex_ = -1;
    double fps_ = 0;
    int64_t startTs_ = 0;
    int64_t firstFrame_ = 0;
    int64_t endFrame_ = 0;
    int64_t lastNumber_ = -1;
    bool haveImage_ = false;
    int swsWidth_ = 0, swsHeight_ = 0, swsFormat_ = -1;
};

} // namespace

ExportResult RunExport(const ExportJob& job) {
    return Extraction(job).Run();
}

} // namespace vdub
