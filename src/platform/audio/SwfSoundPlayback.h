#pragma once
// Plays the sound of a running SwfPlayer through the mixer: event sounds start when
// their frame is entered (with the sound info's stop, no-multiple, loops, in and out
// points and envelope), and each timeline's stream sound follows that timeline, starting
// again from the right place after a jump and falling silent when the timeline stops.

#include "platform/audio/AudioMixer.h"
#include "platform/audio/SwfMovieSound.h"

#include <QMetaObject>
#include <map>
#include <memory>
#include <string>

namespace omm::swf {
class SwfPlayer;
struct SwfFrameEvent;
struct SwfSoundEvent;
} // namespace omm::swf

namespace omm::audio {

class SwfSoundPlayback {
public:
    // Listens to `player` from now on; both must outlive this object.
    SwfSoundPlayback(swf::SwfPlayer& player, AudioMixer& mixer);
    ~SwfSoundPlayback();
    SwfSoundPlayback(const SwfSoundPlayback&) = delete;
    SwfSoundPlayback& operator=(const SwfSoundPlayback&) = delete;

    // Silences every sound of the movie now playing.
    void StopAll();
    uint64_t Owner() const { return owner_; }
    // The last sound that could not be decoded, for diagnostics; playback goes on
    // without it.
    const std::string& LastError() const { return lastError_; }

    // What the listener does for one frame event (public for offline rendering).
    void OnFrame(const swf::SwfFrameEvent& event);
    // The main timeline stopped (stop action, end of a movie that does not loop, or
    // StopPlay): its stream sound stops with it.
    void OnMainTimelineStopped();

private:
    struct StreamState {
        uint16_t spriteId = 0;
        AudioMixer::VoiceId voice = 0;
        uint32_t lastFrame = 0;
        int64_t startedAt = 0;  // mixer frame where the voice started
        size_t startOffset = 0; // track frame the voice started from
    };

    void Reset();
    void StartEventSound(const swf::SwfSoundEvent& event);
    void FeedStream(const swf::SwfSoundEvent& event);
    void StopStream(uint32_t instance);

    swf::SwfPlayer& player_;
    AudioMixer& mixer_;
    uint64_t owner_;
    int listenerId_ = 0;
    QMetaObject::Connection playingConnection_;
    std::shared_ptr<const swf::SwfMovie> movie_;
    std::unique_ptr<SwfMovieSound> sound_;
    std::map<uint32_t, StreamState> streams_;
    std::string lastError_;
};

} // namespace omm::audio
