#include "oflash/FlashComponentUnit.h"

#include "platform/audio/AudioMixer.h"
#include "platform/audio/SwfSoundPlayback.h"
#include "platform/swf/SwfPlayer.h"

namespace {
constexpr int32_t MaxZoomLevel = 100;
constexpr int StrongestZoom = 1;
} // namespace

// ---------------------------------------------------------------------------------------

TSwfPlayerControl::TSwfPlayerControl(omm::swf::SwfPlayer& player, omm::audio::AudioMixer& mixer)
    : player_(player), sound_(std::make_unique<omm::audio::SwfSoundPlayback>(player, mixer)) {}

TSwfPlayerControl::TSwfPlayerControl(omm::swf::SwfPlayer& player)
    : TSwfPlayerControl(player, omm::audio::AudioMixer::instance()) {}

TSwfPlayerControl::~TSwfPlayerControl() = default;

std::string TSwfPlayerControl::LastError() const {
    return player_.LastError().toStdString();
}
std::string TSwfPlayerControl::Movie() const {
    return player_.Movie().toStdString();
}
bool TSwfPlayerControl::SetMovie(const std::string& path) {
    return player_.SetMovie(QString::fromStdString(path));
}
int TSwfPlayerControl::FrameNum() const {
    return player_.FrameNum();
}
void TSwfPlayerControl::SetFrameNum(int frame) {
    player_.SetFrameNum(frame);
}
int TSwfPlayerControl::TotalFrames() const {
    return player_.TotalFrames();
}
bool TSwfPlayerControl::Playing() const {
    return player_.Playing();
}
void TSwfPlayerControl::SetLoop(bool loop) {
    player_.SetLoop(loop);
}
void TSwfPlayerControl::Play() {
    player_.Play();
}
void TSwfPlayerControl::StopPlay() {
    player_.StopPlay();
}
void TSwfPlayerControl::Rewind() {
    player_.Rewind();
}
void TSwfPlayerControl::Forward() {
    player_.Forward();
}
bool TSwfPlayerControl::IsPlaying() const {
    return player_.IsPlaying();
}
void TSwfPlayerControl::Zoom(int percent) {
    player_.Zoom(percent);
}

// ---------------------------------------------------------------------------------------

bool TFlashComponent::SetMovie(const std::string& Path) {
    return Flash != nullptr && Flash->SetMovie(Path);
}

std::string TFlashComponent::GetMovie() const {
    return Flash ? Flash->Movie() : std::string();
}

void TFlashComponent::Play() {
    if (Flash)
        Flash->Play();
}

void TFlashComponent::Pause() {
    if (Flash && Flash->IsPlaying())
        Flash->StopPlay();
}

void TFlashComponent::Rewind() {
    if (Flash)
        Flash->Rewind();
}

void TFlashComponent::StepForward() {
    if (Flash)
        Flash->Forward();
}

bool TFlashComponent::IsPlaying() const {
    return Flash != nullptr && Flash->Playing();
}

bool TFlashComponent::AtLastFrame() const {
    return Flash != nullptr && Flash->TotalFrames() == Flash->FrameNum() + 1;
}

void TFlashComponent::SetLoop(bool Flag) {
    if (Flash)
        Flash->SetLoop(Flag);
}

bool TFlashComponent::HasMovie() const {
    return Flash != nullptr && !Flash->Movie().empty();
}

void TFlashComponent::ResetZoom() {
    if (!HasMovie())
        return;
    Flash->Zoom(0);
    ZoomLevel = 0;
}

void TFlashComponent::EnlargeStep() {
    if (!HasMovie())
        return;
    ZoomLevel += ZoomStep;
    if (ZoomLevel < MaxZoomLevel) {
        // Absolute from the natural size, so steps do not compound.
        Flash->Zoom(0);
        Flash->Zoom(MaxZoomLevel - ZoomLevel);
    } else {
        ZoomLevel = MaxZoomLevel;
        Flash->Zoom(0);
        Flash->Zoom(StrongestZoom);
    }
}

void TFlashComponent::SetZoomLevel(int32_t Percent) {
    if (!HasMovie())
        return;
    ZoomLevel = Percent;
    if (Percent >= MaxZoomLevel) {
        Flash->Zoom(0);
        ZoomLevel = 0;
    } else {
        // Relative to the current view: callers wanting an absolute size reset first.
        Flash->Zoom(MaxZoomLevel - Percent);
    }
}
