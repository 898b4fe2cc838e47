#pragma once
// The sounds of one loaded Flash movie, decoded once: the event sounds of its
// DefineSound tags (kept at the mixer's format, they are short and replayed often) and
// the stream sound of each timeline (the main timeline and every sprite), laid out so
// that the sound of frame N begins where the timeline reaches frame N.
//
// Decoding happens on first use of a sound and is remembered. Not thread-safe: the
// player's thread owns it.

#include "platform/audio/PcmFormat.h"
#include "platform/audio/SwfSoundFormat.h"

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace omm::swf {
class SwfMovie;
struct SwfTimeline;
} // namespace omm::swf

namespace omm::audio {

// A timeline's stream sound as one continuous buffer, kept at its decoded format (a long
// movie's sound at the mixer's format would take several times the memory; the mixer
// converts it as it plays).
struct SwfStreamTrack {
    std::shared_ptr<const PcmBuffer> pcm;
    // frameStart[f]: frame of pcm where the sound of timeline frame f begins.
    std::vector<size_t> frameStart;
    bool empty() const { return !pcm || pcm->frames() == 0; }
};

class SwfMovieSound {
public:
    explicit SwfMovieSound(std::shared_ptr<const swf::SwfMovie> movie);

    // The event sound with this DefineSound id, or null when there is none or it cannot
    // be decoded (LastError() then says why).
    std::shared_ptr<const PcmBuffer> Sound(uint16_t id);
    // The stream sound of the main timeline (spriteId 0) or of a sprite; null when the
    // timeline has none.
    const SwfStreamTrack* Stream(uint16_t spriteId);
    // The DefineSound id exported under an ActionScript class name (StartSound2), if any.
    std::optional<uint16_t> SoundIdOfClass(const std::string& className);

    const std::string& LastError() const { return lastError_; }
    const swf::SwfMovie& Movie() const { return *movie_; }

    // Lays out a stream sound from the blocks of each frame (exposed for tests).
    // blocksPerFrame[f] are the SoundStreamBlock bodies of frame f.
    static SwfStreamTrack
    BuildStreamTrack(const SwfStreamHead& head, double frameRate,
                     const std::vector<std::vector<std::span<const uint8_t>>>& blocksPerFrame,
                     std::string& error);

private:
    std::shared_ptr<const swf::SwfMovie> movie_;
    std::map<uint16_t, std::shared_ptr<const PcmBuffer>> sounds_;
    std::map<uint16_t, std::unique_ptr<SwfStreamTrack>> streams_;
    std::optional<std::map<std::string, uint16_t>> classes_;
    std::string lastError_;
};

} // namespace omm::audio
