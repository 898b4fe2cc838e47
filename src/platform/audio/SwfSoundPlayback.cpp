#include "platform/audio/SwfSoundPlayback.h"

#include "platform/swf/SwfPlayer.h"

#include <algorithm>
#include <cmath>

namespace omm::audio {

namespace {

// A stream that has wandered this many frames from its timeline starts again at the
// timeline's place.
constexpr double StreamDriftFrames = 1.5;

} // namespace

SwfSoundPlayback::SwfSoundPlayback(swf::SwfPlayer& player, AudioMixer& mixer)
    : player_(player), mixer_(mixer), owner_(AudioMixer::newOwnerId()) {
    listenerId_ = player_.AddFrameListener([this](const swf::SwfFrameEvent& e) { OnFrame(e); });
    playingConnection_ =
        QObject::connect(&player_, &swf::SwfPlayer::playingChanged, [this](bool playing) {
            if (!playing)
                OnMainTimelineStopped();
        });
}

SwfSoundPlayback::~SwfSoundPlayback() {
    QObject::disconnect(playingConnection_);
    player_.RemoveFrameListener(listenerId_);
    StopAll();
}

void SwfSoundPlayback::StopAll() {
    mixer_.stopOwner(owner_);
    for (auto& [instance, state] : streams_)
        mixer_.stop(state.voice);
    streams_.clear();
}

void SwfSoundPlayback::Reset() {
    StopAll();
    movie_ = player_.MovieData();
    sound_ = movie_ ? std::make_unique<SwfMovieSound>(movie_) : nullptr;
}

void SwfSoundPlayback::OnMainTimelineStopped() {
    if (player_.MovieData() != movie_) {
        Reset(); // unloaded or replaced: nothing of the old movie may go on sounding
        return;
    }
    // The frame the timeline stopped on still sounds to its end, as it does when the
    // timeline moves on; nothing after it does.
    auto it = streams_.find(0);
    if (it == streams_.end() || it->second.voice == 0 || !sound_)
        return;
    const SwfStreamTrack* track = sound_->Stream(it->second.spriteId);
    const uint32_t next = it->second.lastFrame + 1;
    if (track != nullptr && next < track->frameStart.size())
        mixer_.endAt(it->second.voice, track->frameStart[next]);
    it->second.voice = 0;
}

void SwfSoundPlayback::StopStream(uint32_t instance) {
    auto it = streams_.find(instance);
    if (it == streams_.end())
        return;
    mixer_.stop(it->second.voice);
    it->second.voice = 0;
}

void SwfSoundPlayback::OnFrame(const swf::SwfFrameEvent& event) {
    if (player_.MovieData() != movie_)
        Reset();
    if (!sound_)
        return;
    for (uint32_t instance : event.endedInstances) {
        StopStream(instance);
        streams_.erase(instance);
    }
    for (const swf::SwfSoundEvent& sound : event.sounds) {
        if (sound.tag == nullptr)
            continue;
        switch (sound.tag->code) {
        case swf::TagStartSound:
        case swf::TagStartSound2:
            StartEventSound(sound);
            break;
        case swf::TagSoundStreamHead:
        case swf::TagSoundStreamHead2:
            streams_[sound.instance].spriteId = sound.spriteId;
            break;
        case swf::TagSoundStreamBlock:
            FeedStream(sound);
            break;
        default:
            break;
        }
    }
}

void SwfSoundPlayback::StartEventSound(const swf::SwfSoundEvent& event) {
    const auto body = event.tag->body;
    size_t pos = 0;
    uint16_t id = 0;
    if (event.tag->code == swf::TagStartSound) {
        if (body.size() < 2)
            return;
        id = static_cast<uint16_t>(body[0] | (body[1] << 8));
        pos = 2;
    } else {
        const auto end = std::find(body.begin(), body.end(), 0);
        if (end == body.end())
            return;
        const std::string name(body.begin(), end);
        const auto found = sound_->SoundIdOfClass(name);
        if (!found) {
            lastError_ = "no sound exported as " + name;
            return;
        }
        id = *found;
        pos = static_cast<size_t>(end - body.begin()) + 1;
    }
    SwfSoundInfo info;
    if (!ParseSoundInfo(body, pos, info, lastError_))
        return;
    if (info.syncStop) {
        mixer_.stopOwner(owner_, id);
        return;
    }
    if (info.syncNoMultiple && mixer_.isSoundPlaying(owner_, id))
        return;
    auto pcm = sound_->Sound(id);
    if (!pcm) {
        lastError_ = sound_->LastError();
        return;
    }
    VoiceOptions options;
    options.owner = owner_;
    options.sound = id;
    // The mixer runs at 44.1 kHz, so the 44 kHz positions of the sound info apply as
    // they are.
    if (info.hasInPoint)
        options.inFrame = info.inPoint44;
    if (info.hasOutPoint)
        options.outFrame = info.outPoint44;
    if (info.hasLoops)
        options.loops = std::max<int>(1, info.loopCount);
    for (const auto& p : info.envelope) {
        // Envelope positions count from the start of the sound, the mixer's from the
        // in point.
        const uint32_t at =
            p.pos44 > options.inFrame ? p.pos44 - static_cast<uint32_t>(options.inFrame) : 0;
        options.envelope.push_back(EnvelopePoint{at, p.left, p.right});
    }
    mixer_.play(std::move(pcm), std::move(options));
}

void SwfSoundPlayback::FeedStream(const swf::SwfSoundEvent& event) {
    StreamState& state = streams_[event.instance];
    state.spriteId = event.spriteId;
    const SwfStreamTrack* track = sound_->Stream(event.spriteId);
    if (track == nullptr || event.timelineFrame >= track->frameStart.size()) {
        if (track == nullptr && !sound_->LastError().empty())
            lastError_ = sound_->LastError();
        return;
    }
    const size_t wanted = track->frameStart[event.timelineFrame];
    bool restart = state.voice == 0 || !mixer_.isPlaying(state.voice) || !event.sequential ||
                   state.lastFrame + 1 != event.timelineFrame;
    if (!restart) {
        const double trackRate = track->pcm->format.sampleRate;
        const double playedTo = static_cast<double>(state.startOffset) +
                                static_cast<double>(mixer_.position() - state.startedAt) *
                                    trackRate / MixFormat.sampleRate;
        double rate = player_.FrameRate();
        if (rate <= 0)
            rate = 12;
        const double frameLength = trackRate / rate;
        restart =
            std::abs(playedTo - static_cast<double>(wanted)) > frameLength * StreamDriftFrames;
    }
    state.lastFrame = event.timelineFrame;
    if (!restart)
        return;
    mixer_.stop(state.voice);
    state.startOffset = wanted;
    state.startedAt = mixer_.position();
    state.voice = mixer_.playFrom(track->pcm, wanted, owner_);
}

} // namespace omm::audio
