#pragma once
// The objects both OAVI acquisition paths need: the frame extractor for listed AVI
// sources, the encoder of the current source, and the capture rate of live capture.

#include "acquire/uBatchDistillVideoFileFrame.h"

#include <memory>
#include <string>

class TVideoEncode;

class TVideoControl {
public:
    // ProgramFolder: the folder holding vdub and libAudioPrep.so.
    explicit TVideoControl(const std::string& ProgramFolder);
    ~TVideoControl();
    TVideoControl(const TVideoControl&) = delete;
    TVideoControl& operator=(const TVideoControl&) = delete;

    int CaptureRate = 10; // pictures per second of live capture
    int CaptureMode = 0;  // 1 while the OAVI kind is selected
    std::string FileName; // the source the objects were prepared for
    std::unique_ptr<TVideoEncode> Encoder;
    std::unique_ptr<TBatchDistillVideoFileFrame> FrameExtractor;

    // 10 pictures per second; 9 for "LM52" at compression grade exactly 80.
    void SetupRate(const std::string& ModelName, int CompressGrade);
    // True when FileName has an extension and it is not "SWF" (any letter case).
    bool IsVideoFile() const;
    // Frees the encoder (the media player and capture objects belong to the GUI side).
    void ReleaseObjects();
};
