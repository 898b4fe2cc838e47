#include "codec/uThreadPool_GraphicEncode.h"

#include "codec/uBitmap.h"
#include "codec/uGraphicCompressFactory.h"
#include "codec/uGraphicStretch.h"
#include "codec/uStream.h"

#include <stdexcept>

void EncodeFrameRange(const TGraphicEncodeJob& Job, int First, int Last,
                      const std::string& TempFile, int ProgressStep,
                      const std::function<bool()>& Stop) {
    std::unique_ptr<TGraphicCompressBase> compressor = CreateGraphicCompress(Job.ModelName);
    if (!compressor)
        throw std::runtime_error("model " + Job.ModelName + " has no frame compressor");
    TFileOutStream temp(TempFile);
    TGraphicStretch stretch;
    TBitmap bitmap;
    compressor->SetQuality(Job.Quality);
    compressor->Stream = &temp;
    for (int c = First; c <= Last; ++c) {
        if (Stop && Stop())
            return;
        const std::string file = Job.FrameFile(static_cast<size_t>(c));
        try {
            bitmap.LoadFromFile(file);
            stretch.Stretch(bitmap, static_cast<uint16_t>(Job.Width),
                            static_cast<uint16_t>(Job.Height));
            compressor->CompressFrame(bitmap, file);
        } catch (const std::exception& e) {
            // The message of a bitmap error names the file already; say which frame too.
            throw std::runtime_error("frame " + std::to_string(c) + " (" + file + "): " + e.what());
        }
        if (ProgressStep > 0 && c % ProgressStep == 0 && Job.StepProgress)
            Job.StepProgress();
    }
    temp.Close();
}

void TThreadTask_GraphicEncode::DoWork() {
    if (!Job)
        throw std::logic_error("encode task started without its job");
    EncodeFrameRange(*Job, FirstFrame, LastFrame, TempFile, ProgressStep,
                     [this] { return StopRequested(); });
}

TThreadPool_GraphicEncode::TThreadPool_GraphicEncode(const TGraphicEncodeJob& Job) : Job_(Job) {
    TaskClass = [] { return std::make_unique<TThreadTask_GraphicEncode>(); };
}

void TThreadPool_GraphicEncode::AssignTask(int Slot, TPendingTask& Task) {
    auto* thread = static_cast<TThreadTask_GraphicEncode*>(Threads[static_cast<size_t>(Slot)]);
    auto* data = static_cast<TGraphicEncodeTaskData*>(Task.Data.get());
    thread->FirstFrame = data->FirstFrame;
    thread->LastFrame = data->LastFrame;
    thread->TempFile = data->TempFile;
    thread->ProgressStep = data->ProgressStep;
    thread->Job = &Job_;
}
