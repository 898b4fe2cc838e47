#pragma once
// Frame extraction from a listed AVI source: writes the job script "VirtualDub.jobs" and
// the batch file "Batch.sh" into the DistillSound folder, runs the batch (which runs the
// sibling program vdub) hidden while the event loop keeps running, then picks the frames
// that match the device frame rate into the frame list and fills the profile's base
// frames. Long videos are extracted in chunks of ChunkFrames source frames, each into
// its own numbered sub-folder of the image folder.

#include <QObject>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>
#include <vector>

class TLMSetVideoInfo;
class TMediaResManager;
class TProgressSink;
class TVideoInfo;

// What one extraction reads and fills. The model set can be replaced between sources,
// so these are handed over per source and never kept past its end.
struct TFrameExtractionTarget {
    TLMSetVideoInfo* Profile = nullptr; // PlaySpeed, key-frame interval, BaseFrames
    TVideoInfo* Info = nullptr;         // the AVI header values of the source
    TMediaResManager* Frames = nullptr; // the frame list to fill
    TProgressSink* Progress = nullptr;  // may be null
};

class TBatchDistillVideoFileFrame : public QObject {
public:
    // ProgramFolder: the folder holding vdub. DistillFolder: where the job and batch files
    // go (empty: the one the sound extraction uses, see uDistillSound.h).
    explicit TBatchDistillVideoFileFrame(const std::string& ProgramFolder,
                                         const std::string& DistillFolder = {});
    ~TBatchDistillVideoFileFrame() override;

    static constexpr int ChunkFrames = 25000;
    static constexpr const char* JobFileName = "VirtualDub.jobs";
    static constexpr const char* BatchFileName = "Batch.sh";

    std::string SourceFile;
    std::string ImageFolder; // ends in "/"
    std::string ChunkFolder; // ends in "/"
    std::string ProgramFolder;
    std::string DistillFolder;
    int RangeStart = 0;
    int RangeEndTrim = 0;
    std::string BatchFile;
    std::string JobFile;
    std::vector<std::string> ChunkFolders;
    int AnimPos = 0;

    // Called when the frames of the source are in the frame list (the end of the source).
    std::function<void()> OnFinished;
    // Called instead when the extraction failed; the text names the file and the reason.
    std::function<void(const std::string&)> OnFailed;

    // Checks the source and prepares the image folder, then runs the extraction 50 ms
    // later from the event loop. False (nothing runs) when the source does not exist.
    bool Begin(const std::string& Source, const std::string& ImageFolderPath,
               const TFrameExtractionTarget& What);
    // Stops waiting for a running batch (the program is closing); the batch is ended.
    void Cancel();
    bool Running() const { return Running_; }

    // The steps of the extraction, public so each can be checked on its own.
    void Run();
    void ExtractFrames();
    void WriteJob() const;
    void WriteBatch() const;
    int RunBatch();
    void BuildFrameList();
    std::string FrameFileName(int SourceFrame) const;
    // Trims Path, makes every missing folder of it and returns it ending in "/"; an
    // empty path is the program's folder.
    std::string EnsureFolder(const std::string& Path) const;

    // The chunk ranges (start, end trim) in milliseconds for a video of TotalFrames
    // frames lasting DurationMs with MicroSecPerFrame; one (0, 0) range when it fits one
    // chunk.
    static std::vector<std::pair<int, int>> ChunkRanges(int TotalFrames, int DurationMs,
                                                        int MicroSecPerFrame);

    // What the last batch run wrote on its error output (vdub's reasons).
    std::string LastBatchErrors;

    // What the running extraction reads and fills (set by Begin, cleared at its end).
    TFrameExtractionTarget Target;

private:
    QTimer StartTimer_;
    bool Running_ = false;
    bool Cancelled_ = false;
    std::function<void()> CancelHook_;
};
