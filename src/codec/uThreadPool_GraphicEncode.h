#pragma once
// Frame encoding on the thread pool: each task loads, scales and compresses one
// segment of consecutive frames into its own temporary file, with its own compressor,
// scaler and bitmap. The sequential path runs the same segment encoder on the calling
// thread.

#include "codec/uThreadPool.h"

#include <functional>
#include <string>

// What every segment of one run shares; read-only while tasks run.
struct TGraphicEncodeJob {
    std::string ModelName; // chooses the compressor ("LM41", "LM52", "LM63")
    int Quality = 80;      // the profile's CompressGrade
    int Width = 0;         // the frame size every picture is scaled to
    int Height = 0;
    // The bitmap file of frame Index of the video; called from any thread.
    std::function<std::string(size_t Index)> FrameFile;
    // Advances the progress display by one step; called from the encoding thread.
    std::function<void()> StepProgress;
};

// Encodes frames First..Last into a new TempFile (replacing an old one). Errors (a frame
// that cannot be loaded, scaled or compressed, a full disk) throw, naming the frame's
// file. Stop, when set and true between two frames, ends the work early.
void EncodeFrameRange(const TGraphicEncodeJob& Job, int First, int Last,
                      const std::string& TempFile, int ProgressStep,
                      const std::function<bool()>& Stop = {});

// The parameters of one segment task.
struct TGraphicEncodeTaskData : TTaskData {
    int FirstFrame = 0;
    int LastFrame = -1;
    std::string TempFile;
    int ProgressStep = 0;
};

class TThreadTask_GraphicEncode : public TThreadTask {
public:
    int FirstFrame = 0;
    int LastFrame = -1;
    std::string TempFile;
    int ProgressStep = 0;
    const TGraphicEncodeJob* Job = nullptr;

protected:
    void DoWork() override;
};

class TThreadPool_GraphicEncode : public TThreadPool {
public:
    // Job must outlive the pool.
    explicit TThreadPool_GraphicEncode(const TGraphicEncodeJob& Job);

protected:
    void AssignTask(int Slot, TPendingTask& Task) override;

private:
    const TGraphicEncodeJob& Job_;
};
