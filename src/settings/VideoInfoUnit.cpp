#include "settings/VideoInfoUnit.h"

#include <cstring>
#include <fstream>
#include <limits>

namespace {

constexpr std::streamoff MicroSecPerFrameOffset = 32;
constexpr std::streamoff TotalFramesOffset = 48;
constexpr std::streamoff WidthOffset = 64;
constexpr std::streamoff HeightOffset = 68;
constexpr size_t HeaderBytes = 72;

int32_t readLe32(const unsigned char* p) {
    return int32_t(uint32_t(p[0]) | uint32_t(p[1]) << 8 | uint32_t(p[2]) << 16 |
                   uint32_t(p[3]) << 24);
}

} // namespace

void TVideoInfo::Reset() {
    DurationSec = 0;
    TotalFrames = 0;
    Width = 240;
    Height = 480;
    FramesPerSecond = 0;
    DurationMs = 0;
    MicroSecPerFrame = 0;
}

bool TVideoInfo::LoadFromFile(const std::string& Name) {
    FileName = Name;
    Reset();
    LastError.clear();
    std::ifstream in(Name, std::ios::binary);
    if (!in) {
        LastError = Name + ": the file cannot be opened";
        return false;
    }
    unsigned char header[HeaderBytes];
    in.read(reinterpret_cast<char*>(header), HeaderBytes);
    if (size_t(in.gcount()) < HeaderBytes) {
        LastError = Name + ": the file is too short for an AVI header";
        return false;
    }
    if (std::memcmp(header, "RIFF", 4) != 0 || std::memcmp(header + 8, "AVI ", 4) != 0) {
        LastError = Name + ": not an AVI file";
        return false;
    }
    int microSec = readLe32(header + MicroSecPerFrameOffset);
    int frames = readLe32(header + TotalFramesOffset);
    int width = readLe32(header + WidthOffset);
    int height = readLe32(header + HeightOffset);
    if (microSec <= 0 || frames < 0 || width <= 0 || height <= 0) {
        LastError = Name + ": the AVI header holds no usable frame duration, count or size";
        return false;
    }
    // The same arithmetic as the frame rate in floating point, truncated towards zero.
    double durationSec = double(frames) / (1000000.0 / microSec);
    double durationMs = double(frames) / (1000.0 / microSec);
    if (durationMs > double(std::numeric_limits<int>::max())) {
        LastError = Name + ": the AVI header gives a duration beyond what can be handled";
        return false;
    }
    MicroSecPerFrame = microSec;
    TotalFrames = frames;
    Width = width;
    Height = height;
    DurationSec = int(durationSec);
    DurationMs = int(durationMs);
    FramesPerSecond = int(1000000.0 / microSec);
    return true;
}
