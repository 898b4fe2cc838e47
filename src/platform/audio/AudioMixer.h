#pragma once
// The one place every sound of the program passes through. Voices (whole sounds, or
// streams fed as they decode) are mixed at MixFormat; the mix goes to the default output
// device when there is one, and to every open capture, which is what the "Stereo Mix"
// recording input reads.
//
// The mixer keeps time on its own: in real-time mode a clock thread mixes exactly as many
// frames as the steady clock says have passed (silence when nothing plays), whether or not
// a device is listening, so a recording on a machine without sound hardware still has the
// movie's length. In manual mode nothing happens until the owner calls advance(); offline
// rendering and tests use that.

#include "platform/audio/PcmFormat.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

namespace omm::audio {

class MixerOutputDevice;
class PcmConverter;

// One point of a volume envelope: from `position` (frames of MixFormat since the voice
// started) the channel levels are left/32768 and right/32768; levels between points are
// interpolated linearly.
struct EnvelopePoint {
    uint32_t position = 0;
    uint16_t left = 32768;
    uint16_t right = 32768;
};

struct VoiceOptions {
    // Voices are grouped by owner (a player) and sound (an id within that owner) so that
    // an owner can stop all of its sounds, or all instances of one of them.
    uint64_t owner = 0;
    int sound = -1;
    // How often the range [inFrame, outFrame) is played; 0 counts as 1.
    int loops = 1;
    size_t inFrame = 0;
    size_t outFrame = 0; // 0: to the end of the sound
    std::vector<EnvelopePoint> envelope;
    float gain = 1.0f;
    // Absolute mixer frame at which the voice starts; earlier than the current position
    // means "now", and the part that would already have played is skipped.
    int64_t startAt = -1;
};

// A voice fed while it plays (a decoder pushing what it decoded). Thread-safe.
class StreamVoice {
public:
    StreamVoice(PcmFormat format, uint64_t owner);
    ~StreamVoice();
    StreamVoice(const StreamVoice&) = delete;
    StreamVoice& operator=(const StreamVoice&) = delete;

    // Converts and queues `frames` frames of the voice's format.
    void push(const int16_t* samples, size_t frames);
    // No more sound follows: the mixer drops the voice once the queue has played.
    void finish();
    // Frames of MixFormat queued and not yet mixed.
    size_t queuedFrames() const;
    void setGain(float gain);
    uint64_t owner() const { return owner_; }

private:
    friend class AudioMixer;
    // Mixes up to `frames` queued frames into `mix`; returns false once finished and empty.
    bool mixInto(int32_t* mix, size_t frames);

    mutable std::mutex mutex_;
    std::unique_ptr<PcmConverter> converter_;
    std::vector<int16_t> queue_;
    size_t readPos_ = 0; // in samples
    bool finished_ = false;
    float gain_ = 1.0f;
    uint64_t owner_;
};

class AudioMixer {
public:
    enum class Clock { RealTime, Manual };
    struct Options {
        Clock clock = Clock::RealTime;
        // Send the mix to the default output device when one exists (real-time only).
        bool useOutputDevice = true;
    };

    using VoiceId = uint64_t;
    using CaptureId = uint64_t;
    // Receives a block of converted mix; called on the mixer's clock thread (or in
    // advance() for a manual clock). It must not add or remove captures.
    using CaptureCallback = std::function<void(const int16_t* samples, size_t frames)>;

    explicit AudioMixer(Options options);
    ~AudioMixer();
    AudioMixer(const AudioMixer&) = delete;
    AudioMixer& operator=(const AudioMixer&) = delete;

    // The program's mixer: real-time, with the output device when there is one. Created
    // on first use and never destroyed before the program ends.
    static AudioMixer& instance();

    // Plays a whole sound; it is converted to MixFormat first unless it already is.
    VoiceId play(std::shared_ptr<const PcmBuffer> sound, VoiceOptions options = {});
    // Plays a long sound from frame `fromFrame` of its own, converting it to MixFormat a
    // little at a time as it plays instead of holding a converted copy (stream sound of a
    // long movie). Stopped and queried like any voice.
    VoiceId playFrom(std::shared_ptr<const PcmBuffer> sound, size_t fromFrame, uint64_t owner = 0);
    // Adds a fed voice; the mixer keeps it until it has finished and played out, or until
    // stopped.
    std::shared_ptr<StreamVoice> openStream(PcmFormat format, uint64_t owner = 0);

    void stop(VoiceId voice);
    // Lets a voice play on only up to frame `outFrame` of its sound, counted in the
    // sound's own format (never past its current out point), then end without further
    // loops.
    void endAt(VoiceId voice, size_t outFrame);
    // Stops the voices of `owner`; with sound >= 0 only those of that sound.
    void stopOwner(uint64_t owner, int sound = -1);
    bool isPlaying(VoiceId voice) const;
    bool isSoundPlaying(uint64_t owner, int sound) const;
    size_t voiceCount() const;

    // Frames mixed since the mixer started: the mixer's clock.
    int64_t position() const { return position_.load(); }
    int64_t millisecondsToFrames(int64_t ms) const { return ms * MixFormat.sampleRate / 1000; }

    // Manual clock only: mixes the next `frames` frames and hands them to the captures.
    void advance(size_t frames);

    // Delivers the mix from now on, converted to `format`, until removed.
    CaptureId addCapture(PcmFormat format, CaptureCallback callback);
    // After this returns the callback is not running and will not run again; what the
    // converter held back is delivered first.
    void removeCapture(CaptureId capture);

    bool hasOutputDevice() const { return output_ != nullptr; }
    Clock clock() const { return options_.clock; }

    // Unique owner ids for players that share the mixer.
    static uint64_t newOwnerId();

private:
    struct ClipVoice;
    struct SourceVoice;
    struct Capture;

    void mixBlock(size_t frames, std::vector<int16_t>& out);
    void deliver(const std::vector<int16_t>& block);
    void clockLoop();
    static int64_t clampFrame(int64_t value);

    Options options_;
    mutable std::mutex voiceMutex_;
    std::map<VoiceId, std::unique_ptr<ClipVoice>> clips_;
    std::map<VoiceId, std::unique_ptr<SourceVoice>> sources_;
    std::vector<std::shared_ptr<StreamVoice>> streams_;
    VoiceId nextVoice_ = 1;

    std::mutex captureMutex_;
    std::map<CaptureId, std::unique_ptr<Capture>> captures_;
    CaptureId nextCapture_ = 1;

    std::atomic<int64_t> position_{0};
    std::vector<int32_t> accumulator_;

    std::unique_ptr<MixerOutputDevice> output_;
    std::thread clockThread_;
    std::mutex clockMutex_;
    std::condition_variable clockWake_;
    bool quit_ = false;
};

} // namespace omm::audio
