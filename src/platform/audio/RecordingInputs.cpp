#include "platform/audio/RecordingInputs.h"

#include "platform/audio/PcmConverter.h"

#include <QAudioDevice>
#include <QAudioFormat>
#include <QAudioSource>
#include <QCoreApplication>
#include <QIODevice>
#include <QMediaDevices>
#include <QThread>
#include <algorithm>
#include <atomic>

namespace omm::audio {

namespace {

// Records the mixer's output.
class StereoMixSession : public RecordingSession {
public:
    StereoMixSession(AudioMixer& mixer, PcmFormat format, PcmCallback callback)
        : mixer_(mixer), format_(format), callback_(std::move(callback)) {
        capture_ = mixer_.addCapture(format, [this](const int16_t* samples, size_t frames) {
            if (!paused_)
                callback_(samples, frames);
        });
    }
    ~StereoMixSession() override { Stop(); }

    void Pause() override { paused_ = true; }
    void Resume() override { paused_ = false; }
    void Stop() override {
        if (capture_ != 0)
            mixer_.removeCapture(capture_);
        capture_ = 0;
    }
    PcmFormat Format() const override { return format_; }

private:
    AudioMixer& mixer_;
    PcmFormat format_;
    PcmCallback callback_;
    std::atomic<bool> paused_{false};
    AudioMixer::CaptureId capture_ = 0;
};

// Records a capture device through Qt Multimedia on a thread with its own event loop.
class DeviceSession : public RecordingSession {
public:
    static std::unique_ptr<DeviceSession> Open(const QAudioDevice& device, PcmFormat format,
                                               int volume, PcmCallback callback,
                                               std::string& error) {
        QAudioFormat wanted;
        wanted.setSampleRate(format.sampleRate);
        wanted.setChannelCount(format.channels);
        wanted.setSampleFormat(QAudioFormat::Int16);
        if (!device.isFormatSupported(wanted)) {
            wanted = device.preferredFormat();
            wanted.setSampleFormat(QAudioFormat::Int16);
            if (!device.isFormatSupported(wanted) || wanted.channelCount() < 1 ||
                wanted.channelCount() > 2) {
                error = device.description().toStdString() +
                        ": the input offers no 16-bit format this program can record";
                return nullptr;
            }
        }
        std::unique_ptr<DeviceSession> session(new DeviceSession);
        session->format_ = format;
        session->callback_ = std::move(callback);
        const PcmFormat deviceFormat{wanted.sampleRate(), wanted.channelCount()};
        try {
            session->converter_ = std::make_unique<PcmConverter>(deviceFormat, format);
        } catch (const std::exception& e) {
            error = device.description().toStdString() + ": " + e.what();
            return nullptr;
        }
        session->thread_ = new QThread;
        session->thread_->setObjectName("audio-input");
        session->worker_ = new QObject;
        session->worker_->moveToThread(session->thread_);
        session->thread_->start();
        bool started = false;
        DeviceSession* self = session.get();
        QMetaObject::invokeMethod(
            session->worker_,
            [&] {
                self->source_ = new QAudioSource(device, wanted);
                self->source_->setVolume(volume / 100.0);
                self->io_ = self->source_->start();
                started = self->io_ != nullptr && self->source_->error() == QAudio::NoError;
                if (started)
                    QObject::connect(self->io_, &QIODevice::readyRead, self->io_,
                                     [self] { self->Read(); });
            },
            Qt::BlockingQueuedConnection);
        if (!started) {
            error = device.description().toStdString() + ": the input cannot be opened";
            return nullptr; // the destructor ends the thread
        }
        return session;
    }

    ~DeviceSession() override { Stop(); }

    void Pause() override { paused_ = true; }
    void Resume() override { paused_ = false; }
    void Stop() override {
        if (thread_ == nullptr)
            return;
        QThread* caller = QThread::currentThread();
        QMetaObject::invokeMethod(
            worker_,
            [this, caller] {
                if (source_) {
                    source_->stop();
                    delete source_;
                    source_ = nullptr;
                    io_ = nullptr;
                }
                // Handed back so that it can be deleted once its thread has ended.
                worker_->moveToThread(caller);
            },
            Qt::BlockingQueuedConnection);
        thread_->quit();
        thread_->wait();
        delete worker_;
        delete thread_;
        worker_ = nullptr;
        thread_ = nullptr;
    }
    PcmFormat Format() const override { return format_; }

private:
    DeviceSession() = default;

    void Read() {
        if (io_ == nullptr)
            return;
        const QByteArray bytes = io_->readAll();
        if (paused_ || bytes.isEmpty())
            return;
        const size_t channels = static_cast<size_t>(converter_->from().channels);
        const size_t frames = static_cast<size_t>(bytes.size()) / (2 * channels);
        block_.clear();
        converter_->convert(reinterpret_cast<const int16_t*>(bytes.constData()), frames, block_);
        if (!block_.empty())
            callback_(block_.data(), block_.size() / static_cast<size_t>(format_.channels));
    }

    PcmFormat format_;
    PcmCallback callback_;
    std::unique_ptr<PcmConverter> converter_;
    std::vector<int16_t> block_;
    std::atomic<bool> paused_{false};
    QThread* thread_ = nullptr;
    QObject* worker_ = nullptr; // context of the calls that run on thread_
    QAudioSource* source_ = nullptr;
    QIODevice* io_ = nullptr;
};

bool devicesAvailable() {
    return QCoreApplication::instance() != nullptr;
}

} // namespace

RecordingInputs::RecordingInputs(AudioMixer& mixer, bool withDevices)
    : mixer_(mixer), withDevices_(withDevices) {}

RecordingInputs& RecordingInputs::instance() {
    static RecordingInputs* inputs = new RecordingInputs(AudioMixer::instance(), true);
    return *inputs;
}

std::vector<std::string> RecordingInputs::DeviceNames() const {
    std::vector<std::string> names;
    if (!withDevices_ || !devicesAvailable())
        return names;
    for (const QAudioDevice& d : QMediaDevices::audioInputs())
        names.push_back(d.description().toStdString());
    return names;
}

std::vector<std::string> RecordingInputs::Names() const {
    auto names = DeviceNames();
    names.push_back(StereoMixInputName);
    return names;
}

int RecordingInputs::Count() const {
    return static_cast<int>(Names().size());
}

std::string RecordingInputs::Name(int Index) const {
    const auto names = Names();
    if (Index < 0 || Index >= static_cast<int>(names.size()))
        return {};
    return names[static_cast<size_t>(Index)];
}

bool RecordingInputs::Select(int Index) {
    const std::string name = Name(Index);
    if (name.empty())
        return false;
    std::lock_guard lock(mutex_);
    selected_ = name;
    return true;
}

void RecordingInputs::SetVolume(int Volume) {
    std::lock_guard lock(mutex_);
    volume_ = std::clamp(Volume, 0, 100);
}

int RecordingInputs::Volume() const {
    std::lock_guard lock(mutex_);
    return volume_;
}

std::string RecordingInputs::SelectedName() const {
    std::string selected;
    {
        std::lock_guard lock(mutex_);
        selected = selected_;
    }
    const auto names = Names();
    if (!selected.empty() && std::find(names.begin(), names.end(), selected) != names.end())
        return selected;
    if (withDevices_ && devicesAvailable()) {
        const QAudioDevice d = QMediaDevices::defaultAudioInput();
        if (!d.isNull())
            return d.description().toStdString();
    }
    return StereoMixInputName;
}

std::unique_ptr<RecordingSession> RecordingInputs::Open(PcmFormat format, PcmCallback callback,
                                                        std::string& error) {
    return OpenInput(SelectedName(), format, std::move(callback), error);
}

std::unique_ptr<RecordingSession> RecordingInputs::OpenInput(const std::string& name,
                                                             PcmFormat format, PcmCallback callback,
                                                             std::string& error) {
    if (!format.valid()) {
        error = name + ": unsupported recording format (" + std::to_string(format.sampleRate) +
                " Hz, " + std::to_string(format.channels) + " channels)";
        return nullptr;
    }
    if (name == StereoMixInputName)
        return std::make_unique<StereoMixSession>(mixer_, format, std::move(callback));
    if (withDevices_ && devicesAvailable()) {
        for (const QAudioDevice& d : QMediaDevices::audioInputs())
            if (d.description().toStdString() == name)
                return DeviceSession::Open(d, format, Volume(), std::move(callback), error);
    }
    error = name + ": no such recording input";
    return nullptr;
}

} // namespace omm::audio
