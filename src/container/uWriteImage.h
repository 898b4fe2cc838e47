#pragma once
// The frame stream. Every frame of the frame list is loaded, scaled to the profile's
// frame size and compressed by the model's codec, either in one run (short videos) or in
// segments of whole base-frame intervals on three threads of the pool; the one run also
// goes to a worker thread, so the calling thread only waits and assembles.
// Segments land in temporary files in the work folder and are appended to the output
// in frame order, while the chapter and base-frame tables are back-patched; then the end
// mark, the subtitle texts and the file size close the file.
//
// Run returns when the file is complete, or throws; while the pool works the calling
// thread keeps its event loop running (the pool's end notifications and the progress
// steps arrive through it), so a GUI stays responsive. Without a Qt application object
// there is no event loop to wait in: the one run then happens on the calling thread.

#include "codec/uThreadPool_GraphicEncode.h"
#include "container/uWriteData.h"

#include <exception>
#include <memory>
#include <string>
#include <vector>

class QEventLoop;
class TLMSetVideoInfo;
class TMediaResManager;
class TProgressSink;
class TWriteBaseFrame;
class TWriteChapter;
class TWriteFileHead;
class TWriteSubtitle;

enum class TEncodePath {
    Auto,       // sequential up to three segments' worth of frames, parallel beyond
    Sequential, // always one run
    Parallel,   // always segments on the pool (one segment when too few frames)
};

class TWriteImage : public TWriteData {
public:
    struct TWriters {
        TWriteFileHead& Head;
        TWriteChapter& Chapter;
        TWriteBaseFrame& BaseFrame;
        TWriteSubtitle& Subtitle;
    };

    TWriteImage(TOutStream* Stream, const TLMSetVideoInfo& Profile, std::string ModelName,
                const TMediaResManager& Frames, std::string WorkFolder, TProgressSink& Progress,
                TWriters Writers);
    ~TWriteImage() override;

    // Starts encoding; on the parallel path returns once the worker threads run.
    void Write() override;
    // Write, then waits (event loop alive) until the stream is complete; throws the
    // first error of any stage.
    virtual void Run();
    // Completion handler: assembles the segments and closes the file.
    void EncodeDone();

    // Segment length for base-frame interval K.
    static int SegmentLength(int K);
    // True when N frames at base-frame interval K are worth the pool (more than three
    // segments' worth).
    static bool WantsParallel(int N, int K);
    // First frames of the segments of N frames at interval K: N div S segments of S
    // frames, the last one also taking the rest (at least one segment).
    static std::vector<int> PlanSegments(int N, int K);

    TEncodePath Path = TEncodePath::Auto;
    int ThreadCount = 3;
    // The pool's dispatch order: 0 segment by segment, 1 at random.
    uint8_t PickOrder = 0;

    int FrameCount = 0;
    bool Done = false;
    bool Parallel = false; // whether the last Write cut the frames into segments
    std::vector<std::string> TempFiles;
    std::vector<int> SegmentStarts;

private:
    void EncodeSequential();
    void EncodeSegments(std::vector<int> Starts);
    int ProgressStep() const;
    void Assemble();
    void AppendSegment(size_t Index);
    void Finish(std::exception_ptr Error);
    void RemoveTempFiles();
    std::string TempName(size_t Segment) const;

    const TLMSetVideoInfo& Profile_;
    std::string ModelName_;
    const TMediaResManager& Frames_;
    std::string WorkFolder_;
    TProgressSink& Progress_;
    TWriters Writers_;
    TGraphicEncodeJob Job_;
    std::unique_ptr<TThreadPool_GraphicEncode> Pool_;
    std::exception_ptr Error_;
    QEventLoop* Loop_ = nullptr;
};
