#pragma once
// The records the samplers hand to the resource collector with their reports. Each
// sampler owns one record for its whole life and overwrites it before every report; the
// receiver copies what it needs during the synchronous delivery and keeps no reference.

#include <cstdint>
#include <string>

// Report ids; they keep the numbers of the window messages they once were.
constexpr int WM_USER_BASE = 0x0400;
constexpr int WM_SOUNDSAMPLED = WM_USER_BASE + 100;
constexpr int WM_IMAGESAMPLED = WM_USER_BASE + 101;

class TSoundReturnPath {
public:
    std::string SoundPath;
    int32_t SegmentIndex = 0;
};

class TImageReturnPath {
public:
    std::string ImagePath;
    int32_t PictureNo = 0;
    int32_t SegmentIndex = 0;
};
