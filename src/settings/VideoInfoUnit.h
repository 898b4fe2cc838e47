#pragma once
// Header values of the current AVI source, read at the fixed offsets of a standard
// RIFF AVI main header.

#include <string>
#include <vector>

class TVideoInfo {
public:
    int Width = 240;
    int TotalFrames = 0;
    int Height = 480;
    int DurationSec = 0;
    std::string FileName;
    int FramesPerSecond = 0;
    std::vector<std::string> FileNames;
    int DurationMs = 0;
    int MicroSecPerFrame = 0;

    // Resets the values, remembers Name and reads its header. A missing file leaves the
    // defaults. Returns false (values reset) when the file is not a usable AVI: shorter
    // than the header, not RIFF/AVI, or with a non-positive frame duration, frame count
    // or size; `LastError` then says what is wrong.
    bool LoadFromFile(const std::string& Name);
    void Reset();

    std::string LastError;
};
