#pragma once
// The mix on its way to the system's default output device (Qt Multimedia). The device
// lives on a thread of its own with an event loop, as Qt's audio sinks need one; the
// mixer's clock thread only hands it blocks.

#include "platform/audio/PcmFormat.h"

#include <memory>
#include <vector>

class QThread;

namespace omm::audio {

class OutputWorker;

class MixerOutputDevice {
public:
    // Null when there is no Qt application object, no output device, or the device does
    // not take `format`; the mixer then keeps time alone.
    static std::unique_ptr<MixerOutputDevice> openDefault(PcmFormat format);
    ~MixerOutputDevice();
    MixerOutputDevice(const MixerOutputDevice&) = delete;
    MixerOutputDevice& operator=(const MixerOutputDevice&) = delete;

    // Queues a block for the device; a device that falls far behind loses the oldest
    // sound rather than delaying everything after it.
    void write(const std::vector<int16_t>& block);

private:
    MixerOutputDevice() = default;
    QThread* thread_ = nullptr;
    OutputWorker* worker_ = nullptr;
};

} // namespace omm::audio
