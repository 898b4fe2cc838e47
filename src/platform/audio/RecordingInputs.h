#pragma once
// The recording inputs the program offers: the system's capture devices and, always,
// "Stereo Mix", which records exactly what the program's mixer plays. The choice of
// input and the recording volume are program-wide and stay in force until changed, as a
// sound card's mixer settings do.
//
// A recorder opens the selected input with the format it wants and receives 16-bit PCM
// blocks through a callback, on a thread of the input's own (the mixer's clock thread or
// the device's thread), until it stops the session.

#include "platform/audio/AudioMixer.h"
#include "platform/audio/PcmFormat.h"

#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace omm::audio {

inline constexpr const char* StereoMixInputName = "Stereo Mix";

using PcmCallback = std::function<void(const int16_t* samples, size_t frames)>;

class RecordingSession {
public:
    virtual ~RecordingSession() = default;
    // While paused, what the input hears is dropped.
    virtual void Pause() = 0;
    virtual void Resume() = 0;
    // After Stop returns the callback is not running and is not called again.
    virtual void Stop() = 0;
    virtual PcmFormat Format() const = 0;
};

class RecordingInputs {
public:
    // `withDevices` false offers "Stereo Mix" alone (tests, headless tools).
    RecordingInputs(AudioMixer& mixer, bool withDevices);

    // The program's inputs, over AudioMixer::instance() and the system's devices.
    static RecordingInputs& instance();

    // The four operations a recorder needs to pick its input. The list is read afresh
    // on every call, so devices plugged in meanwhile appear.
    int Count() const;
    // Name of input Index (counted from 0); empty when there is no such input.
    std::string Name(int Index) const;
    // Selects input Index; false (selection unchanged) when there is no such input.
    bool Select(int Index);
    // Recording volume, 0 to 100 (clamped). Applies to capture devices; "Stereo Mix"
    // delivers the mix unchanged whatever the volume, as it records the program's own
    // output rather than a line level.
    void SetVolume(int Volume);
    int Volume() const;

    // The selected input's name: the selection if it still exists, else the system's
    // default input, else "Stereo Mix".
    std::string SelectedName() const;

    // Opens the selected input. Returns null with `error` set when the input cannot be
    // opened in `format` (or a compatible one converted to it).
    std::unique_ptr<RecordingSession> Open(PcmFormat format, PcmCallback callback,
                                           std::string& error);
    // Opens an input by name.
    std::unique_ptr<RecordingSession> OpenInput(const std::string& name, PcmFormat format,
                                                PcmCallback callback, std::string& error);

private:
    std::vector<std::string> Names() const;
    std::vector<std::string> DeviceNames() const;

    AudioMixer& mixer_;
    bool withDevices_;
    mutable std::mutex mutex_;
    std::string selected_;
    int volume_ = 80;
};

} // namespace omm::audio
