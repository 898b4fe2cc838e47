#include "container/uWriteImage.h"

#include "container/MediaResManagerUnit.h"
#include "container/uOaviFormat.h"
#include "container/uWriteBaseFrame.h"
#include "container/uWriteChapter.h"
#include "container/uWriteFileHead.h"
#include "container/uWriteSubtitle.h"
#include "core/uProgressSink.h"
#include "settings/LMSetVideoInfoUnit.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QMetaObject>
#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

TWriteImage::TWriteImage(TOutStream* Stream, const TLMSetVideoInfo& Profile, std::string ModelName,
                         const TMediaResManager& Frames, std::string WorkFolder,
                         TProgressSink& Progress, TWriters Writers)
    : TWriteData(Stream), Profile_(Profile), ModelName_(std::move(ModelName)), Frames_(Frames),
      WorkFolder_(std::move(WorkFolder)), Progress_(Progress), Writers_(Writers),
      Pool_(std::make_unique<TThreadPool_GraphicEncode>(Job_)) {}

TWriteImage::~TWriteImage() {
    // The pool first: it waits for its threads, which write the temporary files.
    Pool_.reset();
    RemoveTempFiles();
}

int TWriteImage::SegmentLength(int K) {
    if (K == 30 || K == 36)
        return 3 * K;
    if (K == 40 || K == 48)
        return 2 * K;
    return 5 * K;
}

bool TWriteImage::WantsParallel(int N, int K) {
    return K >= 1 && N > 3 * SegmentLength(K);
}

std::vector<int> TWriteImage::PlanSegments(int N, int K) {
    const int s = SegmentLength(K);
    const int t = std::max(1, N / s);
    std::vector<int> starts(static_cast<size_t>(t));
    for (int j = 0; j < t; ++j)
        starts[static_cast<size_t>(j)] = j * s;
    return starts;
}

std::string TWriteImage::TempName(size_t Segment) const {
    return (fs::path(WorkFolder_) / (std::to_string(Segment) + ".tmp")).string();
}

void TWriteImage::RemoveTempFiles() {
    std::error_code ec;
    for (const std::string& name : TempFiles)
        fs::remove(name, ec);
}

void TWriteImage::Write() {
    Done = false;
    Error_ = nullptr;
    const int k = Profile_.GetKeyFrameInterval();
    if (k < 1)
        throw TEncodeError(OutputName + ": the base-frame interval is " + std::to_string(k) +
                           " (frame rate " + std::to_string(Profile_.PlaySpeed) +
                           "); it must be at least 1");
    FrameCount = static_cast<int>(Frames_.Count());
    Job_.ModelName = ModelName_;
    Job_.Quality = Profile_.CompressGrade;
    Job_.Width = Profile_.VideoWidth;
    Job_.Height = Profile_.VideoHeight;
    Job_.FrameFile = [this](size_t Index) -> std::string {
        const TMediaResFileItem* item = Frames_.Items(Index);
        if (!item)
            throw TEncodeError("frame " + std::to_string(Index) + " is not in the frame list");
        return item->FileName;
    };

    bool parallel = WantsParallel(FrameCount, k);
    if (Path == TEncodePath::Sequential)
        parallel = false;
    else if (Path == TEncodePath::Parallel)
        parallel = FrameCount > 0;
    // Waiting for the pool needs an event loop, which needs the application object.
    if (!QCoreApplication::instance())
        parallel = false;
    Parallel = parallel;
    if (parallel)
        EncodeSegments(PlanSegments(FrameCount, k));
    else if (QCoreApplication::instance())
        // One segment, still on a worker: the waiting thread stays free for its event
        // loop, and the codec's per-frame buffers live in the worker's own heap.
        EncodeSegments({0});
    else
        EncodeSequential();
}

int TWriteImage::ProgressStep() const {
    // Every frame whose index is a multiple of N div 100 advances the display; below 100
    // frames every frame does.
    return std::max(1, FrameCount / 100);
}

void TWriteImage::EncodeSequential() {
    TempFiles = {TempName(0)};
    SegmentStarts = {0};
    Job_.StepProgress = [this] { Progress_.SetProgress(-1, {}); };
    EncodeFrameRange(Job_, 0, FrameCount - 1, TempFiles[0], ProgressStep());
    EncodeDone();
}

void TWriteImage::EncodeSegments(std::vector<int> Starts) {
    const int n = FrameCount;
    SegmentStarts = std::move(Starts);
    const int t = static_cast<int>(SegmentStarts.size());
    TempFiles.assign(static_cast<size_t>(t), {});
    // Tasks are added last segment first; the pool hands out the most recent first, so
    // segment 0 starts first and the segments start in order.
    for (int j = t - 1; j >= 0; --j) {
        auto data = std::make_unique<TGraphicEncodeTaskData>();
        data->FirstFrame = SegmentStarts[static_cast<size_t>(j)];
        data->LastFrame = j == t - 1 ? n - 1 : SegmentStarts[static_cast<size_t>(j) + 1] - 1;
        data->TempFile = TempName(static_cast<size_t>(j));
        data->ProgressStep = ProgressStep();
        TempFiles[static_cast<size_t>(j)] = data->TempFile;
        Pool_->AddTask(j, std::move(data));
    }
    QObject* context = Pool_->Context();
    Job_.StepProgress = [this, context] {
        // The display belongs to the pool's thread; the worker waits until it is shown.
        QMetaObject::invokeMethod(
            context, [this] { Progress_.SetProgress(-1, {}); }, Qt::BlockingQueuedConnection);
    };
    Pool_->ThreadCount = ThreadCount;
    Pool_->PickOrder = PickOrder;
    // A failed segment makes the whole video fail: stop the others at once.
    Pool_->FailurePolicy = 1;
    Pool_->OnAllDone = [this](TThreadPool&) {
        try {
            EncodeDone();
        } catch (...) {
            Finish(std::current_exception());
        }
    };
    Pool_->OnAborted = [this](TThreadPool& pool) {
        Finish(std::make_exception_ptr(TEncodeError(pool.FirstFailureText)));
    };
    Pool_->Start();
}

void TWriteImage::Finish(std::exception_ptr Error) {
    if (Error && !Error_)
        Error_ = Error;
    if (Loop_)
        Loop_->quit();
}

void TWriteImage::Run() {
    Execute();
    if (!Done && !Error_) {
        QEventLoop loop;
        Loop_ = &loop;
        loop.exec();
        Loop_ = nullptr;
    }
    if (Error_)
        std::rethrow_exception(Error_);
    if (!Done)
        throw TEncodeError(OutputName + ": the frame encoding ended without finishing the file");
}

void TWriteImage::EncodeDone() {
    Assemble();
    Done = true;
    Finish(nullptr);
}

void TWriteImage::AppendSegment(size_t Index) {
    TOutStream& out = Out();
    const std::string& name = TempFiles[Index];
    std::ifstream segment(name, std::ios::binary);
    if (!segment)
        throw TEncodeError(name + ": the encoded segment cannot be opened");
    std::error_code ec;
    const uint64_t length = fs::file_size(name, ec);
    if (ec)
        throw TEncodeError(name + ": the encoded segment cannot be read");
    const int first = SegmentStarts[Index];
    const int last = Index + 1 == TempFiles.size() ? FrameCount - 1 : SegmentStarts[Index + 1] - 1;
    const uint64_t base = out.Size();
    Offset32(base + length);
    if (first == 0 && Writers_.Chapter.EntryCount == 1)
        Writers_.Chapter.PatchEntry(0, Offset32(base));
    Writers_.BaseFrame.PatchKeyFrames(first, last, segment, base, name);

    SeekEnd();
    segment.clear();
    segment.seekg(0);
    std::vector<char> buffer(1 << 16);
    while (segment) {
        segment.read(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        const std::streamsize got = segment.gcount();
        if (got > 0)
            out.Write(buffer.data(), static_cast<size_t>(got));
    }
    if (segment.bad() || out.Size() != base + length)
        throw TEncodeError(name + ": reading the encoded segment failed");
    segment.close();
    fs::remove(name, ec);
}

void TWriteImage::Assemble() {
    for (size_t j = 0; j < TempFiles.size(); ++j) {
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        AppendSegment(j);
    }
    TOutStream& out = Out();
    SeekEnd();
    if (oavi::IsJpegModel(ModelName_))
        out.Write(oavi::EndMarkJpeg, sizeof oavi::EndMarkJpeg);
    else
        out.Write(oavi::EndMarkDelta, sizeof oavi::EndMarkDelta);
    Writers_.Subtitle.PatchTextOffsets(Offset32(out.Size()));
    Writers_.Head.PatchFileSize(Offset32(out.Size()));
}
