#include "platform/audio/SwfSoundRender.h"

#include "platform/audio/AudioMixer.h"
#include "platform/audio/SwfSoundPlayback.h"
#include "platform/audio/WavFileWriter.h"
#include "platform/swf/SwfMovie.h"
#include "platform/swf/SwfPlayer.h"

#include <QCoreApplication>
#include <cmath>
#include <memory>

using namespace omm::audio;

namespace {

// A timeline that never ends (actions jumping back for ever) is cut after this many
// frames entered, or this much sound, whichever comes first.
constexpr int64_t MaxFramesPerMovieFrame = 4;
constexpr int64_t MaxSeconds = 60 * 60;
// Event sounds still playing when the timeline has ended are heard out, up to this.
constexpr int64_t MaxTailSeconds = 60;
constexpr size_t TailStepFrames = 4410;

// The player's QTimer wants an application object; a command-line caller may have none.
std::unique_ptr<QCoreApplication> ensureApplication() {
    if (QCoreApplication::instance() != nullptr)
        return nullptr;
    static int argc = 1;
    static char name[] = "omm";
    static char* argv[] = {name, nullptr};
    return std::make_unique<QCoreApplication>(argc, argv);
}

} // namespace

bool RenderMovieSound(const std::string& swfPath, const std::string& wavPath, std::string& error) {
    auto movie = omm::swf::SwfMovie::Load(swfPath, error);
    if (!movie)
        return false;
    auto app = ensureApplication();

    AudioMixer mixer({AudioMixer::Clock::Manual, false});
    WavFileWriter wav;
    if (!wav.Open(wavPath, MixFormat, error))
        return false;
    std::string writeError;
    const auto capture = mixer.addCapture(MixFormat, [&](const int16_t* samples, size_t frames) {
        if (writeError.empty())
            wav.Append(samples, frames, writeError);
    });

    omm::swf::SwfPlayer player;
    player.SetLoop(false);
    player.SetAutoPlay(true);
    SwfSoundPlayback playback(player, mixer);
    player.SetMovieData(movie, QString::fromStdString(swfPath));

    const double rate = player.FrameRate();
    const int64_t frameLimit = std::max<int64_t>(1, player.TotalFrames()) * MaxFramesPerMovieFrame;
    const int64_t sampleLimit = MaxSeconds * MixFormat.sampleRate;
    auto frameEnd = [&](int64_t entered) {
        return static_cast<int64_t>(
            std::llround(static_cast<double>(entered) * MixFormat.sampleRate / rate));
    };
    // Frame 0 was entered on loading; each pass sounds the current frame for its length
    // and then moves the timeline on, as the player's clock does.
    for (int64_t entered = 1; entered <= frameLimit; ++entered) {
        const int64_t until = std::min(frameEnd(entered), sampleLimit);
        if (until > mixer.position())
            mixer.advance(static_cast<size_t>(until - mixer.position()));
        if (!player.Playing() || until >= sampleLimit || !writeError.empty())
            break;
        const int before = player.CurrentFrame();
        player.AdvanceFrame();
        if (!player.Playing() && player.CurrentFrame() == before)
            break; // stood on its last frame: the end
    }
    playback.OnMainTimelineStopped();
    for (int64_t tail = 0; mixer.voiceCount() > 0 && writeError.empty() &&
                           tail < MaxTailSeconds * MixFormat.sampleRate;
         tail += TailStepFrames)
        mixer.advance(TailStepFrames);
    mixer.removeCapture(capture);
    playback.StopAll();

    if (!writeError.empty()) {
        error = writeError;
        return false;
    }
    return wav.Finish(error);
}
