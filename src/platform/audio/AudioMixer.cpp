#include "platform/audio/AudioMixer.h"

#include "platform/audio/AudioOutputDevice.h"
#include "platform/audio/PcmConverter.h"

#include <algorithm>
#include <chrono>
#include <cmath>

namespace omm::audio {

namespace {

// Small blocks keep a voice started between two blocks late by at most this much.
constexpr size_t MaxBlockFrames = 512;
constexpr auto ClockTick = std::chrono::milliseconds(5);
constexpr int Channels = MixFormat.channels;

int16_t clip16(int64_t value) {
    return static_cast<int16_t>(std::clamp<int64_t>(value, INT16_MIN, INT16_MAX));
}

} // namespace

// ---------------------------------------------------------------------------------------
// Whole sounds

struct AudioMixer::ClipVoice {
    std::shared_ptr<const PcmBuffer> sound;
    VoiceOptions options;
    size_t inFrame = 0;
    size_t outFrame = 0;
    int loopsLeft = 1;
    size_t frame = 0;    // next frame of the sound to play
    int64_t startAt = 0; // absolute mixer frame of the voice's first frame
    uint64_t played = 0; // frames played since the start, for the envelope

    bool done() const { return loopsLeft <= 0 || inFrame >= outFrame; }

    // Moves on by one frame of the sound, wrapping at the out point while loops remain.
    void step() {
        ++played;
        if (++frame >= outFrame) {
            frame = inFrame;
            --loopsLeft;
        }
    }

    void levels(float& left, float& right) const {
        left = right = options.gain;
        const auto& env = options.envelope;
        if (env.empty())
            return;
        auto next = std::find_if(env.begin(), env.end(),
                                 [&](const EnvelopePoint& p) { return p.position > played; });
        float l, r;
        if (next == env.begin()) {
            l = next->left;
            r = next->right;
        } else if (next == env.end()) {
            l = env.back().left;
            r = env.back().right;
        } else {
            const auto& prev = *(next - 1);
            const double t = static_cast<double>(played - prev.position) /
                             static_cast<double>(next->position - prev.position);
            l = static_cast<float>(prev.left + (next->left - prev.left) * t);
            r = static_cast<float>(prev.right + (next->right - prev.right) * t);
        }
        left *= l / 32768.0f;
        right *= r / 32768.0f;
    }

    void mixInto(int32_t* mix, size_t frames) {
        const int16_t* src = sound->samples.data();
        for (size_t i = 0; i < frames && !done(); ++i) {
            float left, right;
            levels(left, right);
            const int16_t* f = src + frame * Channels;
            if (left == 1.0f && right == 1.0f) {
                mix[i * Channels] += f[0];
                mix[i * Channels + 1] += f[1];
            } else {
                mix[i * Channels] += static_cast<int32_t>(std::lround(f[0] * left));
                mix[i * Channels + 1] += static_cast<int32_t>(std::lround(f[1] * right));
            }
            step();
        }
    }
};

// ---------------------------------------------------------------------------------------
// Long sounds converted as they play

struct AudioMixer::SourceVoice {
    static constexpr size_t ChunkFrames = 1024; // of the source, per conversion step

    std::shared_ptr<const PcmBuffer> sound;
    std::unique_ptr<PcmConverter> converter;
    uint64_t owner = 0;
    size_t startFrame = 0;       // of the source
    size_t next = 0;             // next source frame to convert
    size_t end = 0;              // source frame to stop converting at
    uint64_t mixed = 0;          // mix frames played
    uint64_t limit = UINT64_MAX; // mix frames to play at most
    bool flushed = false;
    std::vector<int16_t> ready;
    size_t readPos = 0; // in samples

    size_t readyFrames() const { return (ready.size() - readPos) / Channels; }
    bool done() const { return mixed >= limit || (flushed && readyFrames() == 0); }

    void fill(size_t frames) {
        if (readPos > 0 && readPos * 2 >= ready.size()) {
            ready.erase(ready.begin(), ready.begin() + static_cast<std::ptrdiff_t>(readPos));
            readPos = 0;
        }
        const size_t channels = static_cast<size_t>(sound->format.channels);
        while (readyFrames() < frames && !flushed) {
            if (next < end) {
                const size_t n = std::min(ChunkFrames, end - next);
                converter->convert(sound->samples.data() + next * channels, n, ready);
                next += n;
            } else {
                converter->flush(ready);
                flushed = true;
            }
        }
    }

    void mixInto(int32_t* mix, size_t frames) {
        fill(frames);
        const uint64_t allowed = limit - mixed;
        const size_t n =
            static_cast<size_t>(std::min<uint64_t>(std::min(frames, readyFrames()), allowed));
        const int16_t* src = ready.data() + readPos;
        for (size_t i = 0; i < n * Channels; ++i)
            mix[i] += src[i];
        readPos += n * Channels;
        mixed += n;
    }

    // Mix frames that correspond to `frames` frames of the source.
    uint64_t toMix(size_t frames) const {
        return static_cast<uint64_t>(static_cast<double>(frames) * MixFormat.sampleRate /
                                     sound->format.sampleRate);
    }
};

// ---------------------------------------------------------------------------------------
// Fed voices

StreamVoice::StreamVoice(PcmFormat format, uint64_t owner)
    : converter_(std::make_unique<PcmConverter>(format, MixFormat)), owner_(owner) {}

StreamVoice::~StreamVoice() = default;

void StreamVoice::push(const int16_t* samples, size_t frames) {
    std::lock_guard lock(mutex_);
    if (finished_)
        return;
    // Reclaim what has been played before the queue grows.
    if (readPos_ > 0 && readPos_ >= queue_.size() / 2) {
        queue_.erase(queue_.begin(), queue_.begin() + static_cast<std::ptrdiff_t>(readPos_));
        readPos_ = 0;
    }
    converter_->convert(samples, frames, queue_);
}

void StreamVoice::finish() {
    std::lock_guard lock(mutex_);
    if (!finished_)
        converter_->flush(queue_);
    finished_ = true;
}

size_t StreamVoice::queuedFrames() const {
    std::lock_guard lock(mutex_);
    return (queue_.size() - readPos_) / Channels;
}

void StreamVoice::setGain(float gain) {
    std::lock_guard lock(mutex_);
    gain_ = gain;
}

bool StreamVoice::mixInto(int32_t* mix, size_t frames) {
    std::lock_guard lock(mutex_);
    const size_t available = (queue_.size() - readPos_) / Channels;
    const size_t n = std::min(frames, available);
    const int16_t* src = queue_.data() + readPos_;
    for (size_t i = 0; i < n * Channels; ++i)
        mix[i] += gain_ == 1.0f ? src[i] : static_cast<int32_t>(std::lround(src[i] * gain_));
    readPos_ += n * Channels;
    return !(finished_ && readPos_ >= queue_.size());
}

// ---------------------------------------------------------------------------------------
// Captures

struct AudioMixer::Capture {
    PcmFormat format;
    std::unique_ptr<PcmConverter> converter;
    CaptureCallback callback;
    std::vector<int16_t> scratch;

    void take(const std::vector<int16_t>& block) {
        if (!converter) {
            callback(block.data(), block.size() / Channels);
            return;
        }
        scratch.clear();
        converter->convert(block.data(), block.size() / Channels, scratch);
        if (!scratch.empty())
            callback(scratch.data(), scratch.size() / static_cast<size_t>(format.channels));
    }
};

// ---------------------------------------------------------------------------------------

AudioMixer::AudioMixer(Options options) : options_(options) {
    if (options_.clock != Clock::RealTime)
        return;
    if (options_.useOutputDevice)
        output_ = MixerOutputDevice::openDefault(MixFormat);
    clockThread_ = std::thread([this] { clockLoop(); });
}

AudioMixer::~AudioMixer() {
    {
        std::lock_guard lock(clockMutex_);
        quit_ = true;
    }
    clockWake_.notify_all();
    if (clockThread_.joinable())
        clockThread_.join();
    output_.reset();
}

AudioMixer& AudioMixer::instance() {
    // Never destroyed: players and recorders may still talk to it while the program's
    // static objects are torn down.
    static AudioMixer* mixer = new AudioMixer(Options{});
    return *mixer;
}

uint64_t AudioMixer::newOwnerId() {
    static std::atomic<uint64_t> next{1};
    return next++;
}

int64_t AudioMixer::clampFrame(int64_t value) {
    return value < 0 ? 0 : value;
}

AudioMixer::VoiceId AudioMixer::play(std::shared_ptr<const PcmBuffer> sound, VoiceOptions options) {
    if (!sound || sound->frames() == 0)
        return 0;
    if (!(sound->format == MixFormat))
        sound = std::make_shared<const PcmBuffer>(convertBuffer(*sound, MixFormat));

    auto voice = std::make_unique<ClipVoice>();
    voice->sound = sound;
    const size_t total = sound->frames();
    voice->inFrame = std::min(options.inFrame, total);
    voice->outFrame = options.outFrame == 0 ? total : std::min(options.outFrame, total);
    voice->loopsLeft = std::max(1, options.loops);
    voice->frame = voice->inFrame;
    voice->options = std::move(options);

    std::lock_guard lock(voiceMutex_);
    const int64_t now = position_.load();
    int64_t startAt = voice->options.startAt < 0 ? now : voice->options.startAt;
    if (startAt < now) {
        // Whatever should already have sounded is skipped, so the rest stays in time.
        for (int64_t skip = now - startAt; skip > 0 && !voice->done(); --skip)
            voice->step();
        startAt = now;
    }
    voice->startAt = startAt;
    if (voice->done())
        return 0;
    const VoiceId id = nextVoice_++;
    clips_.emplace(id, std::move(voice));
    return id;
}

AudioMixer::VoiceId AudioMixer::playFrom(std::shared_ptr<const PcmBuffer> sound, size_t fromFrame,
                                         uint64_t owner) {
    if (!sound || fromFrame >= sound->frames())
        return 0;
    auto voice = std::make_unique<SourceVoice>();
    voice->converter = std::make_unique<PcmConverter>(sound->format, MixFormat);
    voice->owner = owner;
    voice->startFrame = fromFrame;
    voice->next = fromFrame;
    voice->end = sound->frames();
    voice->sound = std::move(sound);
    std::lock_guard lock(voiceMutex_);
    const VoiceId id = nextVoice_++;
    sources_.emplace(id, std::move(voice));
    return id;
}

std::shared_ptr<StreamVoice> AudioMixer::openStream(PcmFormat format, uint64_t owner) {
    auto voice = std::make_shared<StreamVoice>(format, owner);
    std::lock_guard lock(voiceMutex_);
    streams_.push_back(voice);
    return voice;
}

void AudioMixer::stop(VoiceId voice) {
    std::lock_guard lock(voiceMutex_);
    clips_.erase(voice);
    sources_.erase(voice);
}

void AudioMixer::endAt(VoiceId voice, size_t outFrame) {
    std::lock_guard lock(voiceMutex_);
    if (auto src = sources_.find(voice); src != sources_.end()) {
        SourceVoice& v = *src->second;
        const size_t stopAt = std::max(outFrame, v.startFrame);
        v.limit = std::min(v.limit, v.toMix(stopAt - v.startFrame));
        if (v.done())
            sources_.erase(src);
        return;
    }
    auto it = clips_.find(voice);
    if (it == clips_.end())
        return;
    ClipVoice& v = *it->second;
    v.loopsLeft = std::min(v.loopsLeft, 1);
    v.outFrame = std::min(v.outFrame, outFrame);
    if (v.frame >= v.outFrame || v.done())
        clips_.erase(it);
}

void AudioMixer::stopOwner(uint64_t owner, int sound) {
    std::lock_guard lock(voiceMutex_);
    std::erase_if(clips_, [&](const auto& entry) {
        return entry.second->options.owner == owner &&
               (sound < 0 || entry.second->options.sound == sound);
    });
    if (sound < 0) {
        std::erase_if(sources_, [&](const auto& entry) { return entry.second->owner == owner; });
        std::erase_if(streams_, [&](const auto& s) { return s->owner() == owner; });
    }
}

bool AudioMixer::isPlaying(VoiceId voice) const {
    std::lock_guard lock(voiceMutex_);
    return clips_.count(voice) != 0 || sources_.count(voice) != 0;
}

bool AudioMixer::isSoundPlaying(uint64_t owner, int sound) const {
    std::lock_guard lock(voiceMutex_);
    return std::any_of(clips_.begin(), clips_.end(), [&](const auto& entry) {
        return entry.second->options.owner == owner && entry.second->options.sound == sound;
    });
}

size_t AudioMixer::voiceCount() const {
    std::lock_guard lock(voiceMutex_);
    return clips_.size() + sources_.size() + streams_.size();
}

void AudioMixer::mixBlock(size_t frames, std::vector<int16_t>& out) {
    std::lock_guard lock(voiceMutex_);
    accumulator_.assign(frames * Channels, 0);
    const int64_t blockStart = position_.load();
    const int64_t blockEnd = blockStart + static_cast<int64_t>(frames);
    for (auto it = clips_.begin(); it != clips_.end();) {
        ClipVoice& voice = *it->second;
        if (voice.startAt < blockEnd) {
            const size_t offset = static_cast<size_t>(clampFrame(voice.startAt - blockStart));
            voice.mixInto(accumulator_.data() + offset * Channels, frames - offset);
        }
        it = voice.done() ? clips_.erase(it) : std::next(it);
    }
    for (auto it = sources_.begin(); it != sources_.end();) {
        it->second->mixInto(accumulator_.data(), frames);
        it = it->second->done() ? sources_.erase(it) : std::next(it);
    }
    std::erase_if(streams_,
                  [&](const auto& s) { return !s->mixInto(accumulator_.data(), frames); });
    out.resize(accumulator_.size());
    std::transform(accumulator_.begin(), accumulator_.end(), out.begin(), clip16);
    position_ = blockEnd;
}

void AudioMixer::deliver(const std::vector<int16_t>& block) {
    std::lock_guard lock(captureMutex_);
    for (auto& [id, capture] : captures_)
        capture->take(block);
}

void AudioMixer::advance(size_t frames) {
    if (options_.clock != Clock::Manual)
        return;
    std::vector<int16_t> block;
    while (frames > 0) {
        const size_t n = std::min(frames, MaxBlockFrames);
        mixBlock(n, block);
        deliver(block);
        frames -= n;
    }
}

AudioMixer::CaptureId AudioMixer::addCapture(PcmFormat format, CaptureCallback callback) {
    auto capture = std::make_unique<Capture>();
    capture->format = format;
    if (!(format == MixFormat))
        capture->converter = std::make_unique<PcmConverter>(MixFormat, format);
    capture->callback = std::move(callback);
    std::lock_guard lock(captureMutex_);
    const CaptureId id = nextCapture_++;
    captures_.emplace(id, std::move(capture));
    return id;
}

void AudioMixer::removeCapture(CaptureId id) {
    std::lock_guard lock(captureMutex_);
    auto it = captures_.find(id);
    if (it == captures_.end())
        return;
    Capture& capture = *it->second;
    if (capture.converter) {
        capture.scratch.clear();
        capture.converter->flush(capture.scratch);
        if (!capture.scratch.empty())
            capture.callback(capture.scratch.data(),
                             capture.scratch.size() / static_cast<size_t>(capture.format.channels));
    }
    captures_.erase(it);
}

void AudioMixer::clockLoop() {
    using clock = std::chrono::steady_clock;
    const auto start = clock::now();
    int64_t produced = 0;
    std::vector<int16_t> block;
    std::unique_lock lock(clockMutex_);
    while (!quit_) {
        clockWake_.wait_for(lock, ClockTick, [this] { return quit_; });
        if (quit_)
            break;
        lock.unlock();
        const auto elapsed =
            std::chrono::duration_cast<std::chrono::microseconds>(clock::now() - start).count();
        const int64_t target = elapsed * MixFormat.sampleRate / 1000000;
        while (produced < target) {
            const size_t n =
                static_cast<size_t>(std::min<int64_t>(target - produced, MaxBlockFrames));
            mixBlock(n, block);
            deliver(block);
            if (output_)
                output_->write(block);
            produced += static_cast<int64_t>(n);
        }
        lock.lock();
    }
}

} // namespace omm::audio
