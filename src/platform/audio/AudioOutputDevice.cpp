#include "platform/audio/AudioOutputDevice.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSink>
#include <QByteArray>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QObject>
#include <QThread>
#include <QTimer>
#include <mutex>

namespace omm::audio {

namespace {
// Half a second of sound queued for a stalled device is the most we keep.
constexpr qsizetype MaxQueuedBytes = 44100 * 2 * 2 / 2;
} // namespace

class OutputWorker : public QObject {
public:
    OutputWorker(QAudioDevice device, QAudioFormat format)
        : device_(std::move(device)), format_(format) {}

    void begin() {
        sink_ = new QAudioSink(device_, format_, this);
        io_ = sink_->start();
        timer_ = new QTimer(this);
        QObject::connect(timer_, &QTimer::timeout, this, [this] { drain(); });
        timer_->start(5);
    }

    void end() {
        if (timer_)
            timer_->stop();
        if (sink_)
            sink_->stop();
    }

    void queue(const char* data, qsizetype size) {
        std::lock_guard lock(mutex_);
        pending_.append(data, size);
        if (pending_.size() > MaxQueuedBytes)
            pending_.remove(0, pending_.size() - MaxQueuedBytes);
    }

private:
    void drain() {
        if (!io_ || !sink_)
            return;
        std::lock_guard lock(mutex_);
        const qsizetype room = std::min<qsizetype>(sink_->bytesFree(), pending_.size());
        if (room <= 0)
            return;
        const qint64 written = io_->write(pending_.constData(), room);
        if (written > 0)
            pending_.remove(0, written);
    }

    QAudioDevice device_;
    QAudioFormat format_;
    QAudioSink* sink_ = nullptr;
    QIODevice* io_ = nullptr;
    QTimer* timer_ = nullptr;
    std::mutex mutex_;
    QByteArray pending_;
};

std::unique_ptr<MixerOutputDevice> MixerOutputDevice::openDefault(PcmFormat format) {
    if (QCoreApplication::instance() == nullptr)
        return nullptr;
    const QAudioDevice device = QMediaDevices::defaultAudioOutput();
    if (device.isNull())
        return nullptr;
    QAudioFormat qformat;
    qformat.setSampleRate(format.sampleRate);
    qformat.setChannelCount(format.channels);
    qformat.setSampleFormat(QAudioFormat::Int16);
    if (!device.isFormatSupported(qformat))
        return nullptr;

    std::unique_ptr<MixerOutputDevice> out(new MixerOutputDevice);
    out->thread_ = new QThread;
    out->thread_->setObjectName("audio-output");
    out->worker_ = new OutputWorker(device, qformat);
    out->worker_->moveToThread(out->thread_);
    out->thread_->start();
    QMetaObject::invokeMethod(
        out->worker_, [w = out->worker_] { w->begin(); }, Qt::BlockingQueuedConnection);
    return out;
}

MixerOutputDevice::~MixerOutputDevice() {
    if (thread_ == nullptr)
        return;
    if (thread_->isRunning()) {
        QMetaObject::invokeMethod(
            worker_,
            [w = worker_] {
                w->end();
                delete w;
            },
            Qt::BlockingQueuedConnection);
        thread_->quit();
        thread_->wait();
    } else {
        delete worker_;
    }
    delete thread_;
}

void MixerOutputDevice::write(const std::vector<int16_t>& block) {
    worker_->queue(reinterpret_cast<const char*>(block.data()),
                   static_cast<qsizetype>(block.size() * sizeof(int16_t)));
}

} // namespace omm::audio
