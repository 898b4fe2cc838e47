#pragma once
// The program's one way to the embedded Flash player: load, play, pause, rewind and step
// a movie, loop it, ask whether it stands on its last frame, and zoom its picture in
// steps of 5 percent.

#include <cstdint>
#include <memory>
#include <string>

namespace omm::swf {
class SwfPlayer;
}
namespace omm::audio {
class AudioMixer;
class SwfSoundPlayback;
} // namespace omm::audio

// The members of a Flash player control the host relies on, frames counted from 0.
// Zoom(0) restores the natural size; a percent below 100 enlarges the current view, above
// 100 shrinks it.
class TFlashControl {
public:
    virtual ~TFlashControl() = default;

    virtual std::string Movie() const = 0;
    // Loads the movie (an empty path unloads); false when it cannot be read.
    virtual bool SetMovie(const std::string& path) = 0;
    virtual int FrameNum() const = 0;
    virtual void SetFrameNum(int frame) = 0;
    virtual int TotalFrames() const = 0;
    virtual bool Playing() const = 0;
    virtual void SetLoop(bool loop) = 0;
    virtual void Play() = 0;
    virtual void StopPlay() = 0;
    virtual void Rewind() = 0;
    virtual void Forward() = 0;
    virtual bool IsPlaying() const = 0;
    virtual void Zoom(int percent) = 0;
};

// The control over our own SWF player, with the movie's sound played through the mixer
// while the player runs.
class TSwfPlayerControl : public TFlashControl {
public:
    // The player and the mixer must outlive the control.
    TSwfPlayerControl(omm::swf::SwfPlayer& player, omm::audio::AudioMixer& mixer);
    explicit TSwfPlayerControl(omm::swf::SwfPlayer& player);
    ~TSwfPlayerControl() override;

    omm::swf::SwfPlayer& Player() { return player_; }
    // Why the last SetMovie failed, naming the file.
    std::string LastError() const;

    std::string Movie() const override;
    bool SetMovie(const std::string& path) override;
    int FrameNum() const override;
    void SetFrameNum(int frame) override;
    int TotalFrames() const override;
    bool Playing() const override;
    void SetLoop(bool loop) override;
    void Play() override;
    void StopPlay() override;
    void Rewind() override;
    void Forward() override;
    bool IsPlaying() const override;
    void Zoom(int percent) override;

private:
    omm::swf::SwfPlayer& player_;
    std::unique_ptr<omm::audio::SwfSoundPlayback> sound_;
};

class TFlashComponent {
public:
    // The main window's player control; set once at start-up, not owned. While it is
    // null every operation does nothing and the queries answer false or empty.
    TFlashControl* Flash = nullptr;
    int32_t ZoomLevel = 0;
    int32_t ZoomStep = 5;

    // Hands the path to the control; false when the control could not load it.
    bool SetMovie(const std::string& Path);
    std::string GetMovie() const;
    void Play();
    // Stops a playing movie; a movie that is not playing is left alone.
    void Pause();
    void Rewind();
    void StepForward();
    bool IsPlaying() const;
    // Read afresh on every call: callers poll it from loops and timers.
    bool AtLastFrame() const;
    void SetLoop(bool Flag);

    // The three zoom operations do nothing at all while no movie is loaded.
    void EnlargeStep();
    void SetZoomLevel(int32_t Percent);
    void ResetZoom();

private:
    bool HasMovie() const;
};
