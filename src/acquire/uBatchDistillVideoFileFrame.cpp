#include "acquire/uBatchDistillVideoFileFrame.h"

#include "container/MediaResManagerUnit.h"
#include "core/uProgressSink.h"
#include "settings/LMSetVideoInfoUnit.h"
#include "settings/VideoInfoUnit.h"
#include "sound/uDistillFolderLock.h"
#include "sound/uDistillSound.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QProcess>

#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <stdexcept>

namespace fs = std::filesystem;

namespace {

const char* const ExtractingText = "正在提取图片，请稍候...";

std::string withSlash(std::string folder) {
    if (folder.empty() || folder.back() != '/')
        folder += '/';
    return folder;
}

std::string withoutSlash(std::string folder) {
    while (folder.size() > 1 && folder.back() == '/')
        folder.pop_back();
    return folder;
}

std::string trim(const std::string& s) {
    size_t b = s.find_first_not_of(" \t\r\n");
    if (b == std::string::npos)
        return {};
    size_t e = s.find_last_not_of(" \t\r\n");
    return s.substr(b, e - b + 1);
}

// A word for sh that stands for Text exactly, whatever characters it holds.
std::string shellQuoted(const std::string& text) {
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

void writeLines(const std::string& file, const std::vector<std::string>& lines, const char* what) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    if (!out)
        throw std::runtime_error(file + ": cannot write the " + what);
    for (const auto& line : lines)
        out << line << '\n';
    out.close();
    if (!out)
        throw std::runtime_error(file + ": cannot write the " + what);
}

} // namespace

TBatchDistillVideoFileFrame::TBatchDistillVideoFileFrame(const std::string& ProgramFolderPath,
                                                         const std::string& DistillFolderPath)
    : ProgramFolder(withSlash(ProgramFolderPath)),
      DistillFolder(DistillFolderPath.empty()
                        ? TDistillSound::ChooseDistillFolder(ProgramFolderPath)
                        : withSlash(DistillFolderPath)) {
    BatchFile = DistillFolder + BatchFileName;
    JobFile = DistillFolder + JobFileName;
    StartTimer_.setSingleShot(true);
    StartTimer_.setInterval(50);
    QObject::connect(&StartTimer_, &QTimer::timeout, this, [this] { Run(); });
}

TBatchDistillVideoFileFrame::~TBatchDistillVideoFileFrame() {
    Cancel();
}

std::string TBatchDistillVideoFileFrame::EnsureFolder(const std::string& Path) const {
    std::string path = trim(Path);
    if (path.empty())
        path = ProgramFolder;
    std::error_code ec;
    if (!fs::is_directory(path, ec))
        fs::create_directories(path, ec);
    return withSlash(path);
}

bool TBatchDistillVideoFileFrame::Begin(const std::string& Source,
                                        const std::string& ImageFolderPath,
                                        const TFrameExtractionTarget& What) {
    SourceFile = Source;
    std::error_code ec;
    if (Source.empty() || !fs::is_regular_file(Source, ec))
        return false;
    if (!What.Profile || !What.Info || !What.Frames)
        throw std::logic_error("frame extraction without a profile, AVI values or frame list");
    ImageFolder = EnsureFolder(ImageFolderPath);
    BatchFile = DistillFolder + BatchFileName;
    JobFile = DistillFolder + JobFileName;
    Target = What;
    Cancelled_ = false;
    StartTimer_.start();
    return true;
}

void TBatchDistillVideoFileFrame::Cancel() {
    StartTimer_.stop();
    Cancelled_ = true;
    if (CancelHook_)
        CancelHook_();
}

void TBatchDistillVideoFileFrame::Run() {
    StartTimer_.stop();
    Running_ = true;
    TNullProgressSink quiet;
    TProgressSink& progress = Target.Progress ? *Target.Progress : quiet;
    progress.BeginProgress(ExtractingText);
    // The bar only shows that something is alive: the batch reports no progress.
    QTimer anim;
    anim.setInterval(1000);
    QObject::connect(&anim, &QTimer::timeout, [&] {
        progress.SetProgress(AnimPos, "");
        AnimPos += 10;
        if (AnimPos > 100)
            AnimPos = 0;
    });
    anim.start();
    std::string error;
    try {
        ExtractFrames();
        BuildFrameList();
    } catch (const std::exception& e) {
        error = e.what();
    }
    anim.stop();
    progress.EndProgress();
    Running_ = false;
    if (error.empty() && Cancelled_)
        error = SourceFile + ": the frame extraction was cancelled";
    if (error.empty() && Target.Frames->Count() == 0) {
        // Nothing to encode: reporting success here would write an empty device video.
        error = SourceFile + ": no frame could be extracted";
        std::string why = trim(LastBatchErrors);
        if (!why.empty())
            error += " (" + why + ")";
    }
    Target = {};
    if (!error.empty()) {
        if (OnFailed)
            OnFailed(error);
        return;
    }
    if (OnFinished)
        OnFinished();
}

std::vector<std::pair<int, int>>
TBatchDistillVideoFileFrame::ChunkRanges(int TotalFrames, int DurationMs, int MicroSecPerFrame) {
    std::vector<std::pair<int, int>> ranges;
    if (TotalFrames <= ChunkFrames) {
        ranges.emplace_back(0, 0);
        return ranges;
    }
    const int64_t chunkMs = int64_t(MicroSecPerFrame) * ChunkFrames / 1000;
    if (chunkMs <= 0) {
        ranges.emplace_back(0, 0);
        return ranges;
    }
    for (int64_t i = 0;; ++i) {
        int64_t start = chunkMs * i;
        int64_t trim = std::max<int64_t>(0, int64_t(DurationMs) - chunkMs * (i + 1));
        ranges.emplace_back(int(start), int(trim));
        if (trim == 0)
            break;
    }
    return ranges;
}

void TBatchDistillVideoFileFrame::ExtractFrames() {
    const TVideoInfo& info = *Target.Info;
    const bool chunked = info.TotalFrames > ChunkFrames;
    const auto ranges = ChunkRanges(info.TotalFrames, info.DurationMs, info.MicroSecPerFrame);
    RangeStart = 0;
    RangeEndTrim = 0;
    ChunkFolder = ImageFolder;
    ChunkFolders.clear();
    LastBatchErrors.clear();
    // The job and batch files have fixed names: one extraction at a time writes them.
    TDistillFolderLock lock(DistillFolder, "frames");
    for (size_t i = 0; i < ranges.size() && !Cancelled_; ++i) {
        if (chunked) {
            ChunkFolder = EnsureFolder(ImageFolder + std::to_string(i) + "/");
            RangeStart = ranges[i].first;
            RangeEndTrim = ranges[i].second;
        }
        WriteJob();
        WriteBatch();
        RunBatch();
        ChunkFolders.push_back(ChunkFolder);
    }
}

void TBatchDistillVideoFileFrame::WriteJob() const {
    const std::string q = "\"";
    writeLines(JobFile,
               {"VirtualDub.Open(U" + q + SourceFile + q + ");", "VirtualDub.audio.SetSource(1);",
                "VirtualDub.audio.SetMode(0);",
                "VirtualDub.video.SetRange(" + std::to_string(RangeStart) + ", " +
                    std::to_string(RangeEndTrim) + ");",
                "VirtualDub.audio.SetVolume(512);",
                "VirtualDub.SaveImageSequence(U" + q + ChunkFolder + q + ", " + q + ".bmp" + q +
                    ", 6, 0);",
                "VirtualDub.Close();"},
               "job script");
}

void TBatchDistillVideoFileFrame::WriteBatch() const {
    writeLines(BatchFile,
               {"#!/bin/sh", "cd " + shellQuoted(withoutSlash(DistillFolder)) + " || exit 1",
                "exec " + shellQuoted(ProgramFolder + "vdub") + " /s " + JobFileName},
               "batch file");
    std::error_code ec;
    fs::permissions(BatchFile, fs::perms::owner_exec | fs::perms::group_exec, fs::perm_options::add,
                    ec);
}

int TBatchDistillVideoFileFrame::RunBatch() {
    QProcess process;
    process.setProgram("/bin/sh");
    process.setArguments({QString::fromStdString(BatchFile)});
    process.setWorkingDirectory(QString::fromStdString(DistillFolder));
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardInputFile(QProcess::nullDevice());
    process.start();
    if (!process.waitForStarted()) {
        // Treated like a finished batch: the missing frames tell the rest.
        LastBatchErrors += "the batch file " + BatchFile + " cannot be started\n";
        return -1;
    }
    if (QCoreApplication::instance()) {
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        CancelHook_ = [&] {
            process.kill();
            loop.quit();
        };
        if (process.state() != QProcess::NotRunning)
            loop.exec();
        CancelHook_ = nullptr;
    }
    if (process.state() != QProcess::NotRunning) {
        if (Cancelled_)
            process.kill();
        process.waitForFinished(-1);
    }
    LastBatchErrors += process.readAllStandardError().toStdString();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

std::string TBatchDistillVideoFileFrame::FrameFileName(int SourceFrame) const {
    if (SourceFrame < 0)
        return {};
    size_t chunk = size_t(SourceFrame / ChunkFrames);
    if (chunk >= ChunkFolders.size())
        return {};
    char digits[16];
    std::snprintf(digits, sizeof digits, "%6.6d", SourceFrame % ChunkFrames);
    return ChunkFolders[chunk] + digits + ".bmp";
}

void TBatchDistillVideoFileFrame::BuildFrameList() {
    TLMSetVideoInfo& profile = *Target.Profile;
    const TVideoInfo& info = *Target.Info;
    TMediaResManager& frames = *Target.Frames;
    frames.Clear();
    profile.BaseFrames.clear(); // rebuilt for every source
    if (profile.PlaySpeed == 0)
        profile.PlaySpeed = 10;
    const double frameMs = info.MicroSecPerFrame / 1000.0;
    // Source frames per device frame from the exact rate: the whole-number rate of the
    // header values (29 for 29.97 fps) would let the pictures drift from the sound.
    const double sourceRate = info.MicroSecPerFrame > 0 ? 1000000.0 / info.MicroSecPerFrame : 0;
    const double step = sourceRate / profile.PlaySpeed;
    const int keyInterval = profile.GetKeyFrameInterval();
    // The list runs until the source is used up. Capping it at TotalFrames device frames
    // would cut every source slower than the device rate short (a 5 fps source at 10
    // device frames per second would lose its second half).
    const int64_t deviceFrames =
        step > 0 ? int64_t(std::ceil(double(info.TotalFrames) / step)) + 1 : 0;
    int64_t s = 0;
    try {
        for (int64_t c = 0; c < deviceFrames; ++c) {
            s = int64_t(std::trunc(double(c) * step + 0.5));
            if (s >= info.TotalFrames)
                break;
            std::string file = FrameFileName(int(s));
            std::error_code ec;
            if (file.empty() || !fs::is_regular_file(file, ec))
                break;
            const int t = int(std::trunc(double(s) * frameMs));
            frames.AddFile(file, t);
            if (keyInterval > 0 && c % keyInterval == 0) {
                profile.SetBaseFrameCount(size_t(c / keyInterval + 1));
                profile.BaseFrames[size_t(c / keyInterval)] = uint32_t(t);
            }
        }
    } catch (...) {
        frames.Duration = int(std::trunc(double(s) * frameMs));
        throw;
    }
    frames.Duration = int(std::trunc(double(s) * frameMs));
}
