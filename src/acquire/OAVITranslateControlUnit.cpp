#include "acquire/OAVITranslateControlUnit.h"

#include "acquire/VideoControlUnit.h"
#include "container/MediaResManagerUnit.h"
#include "container/uVideoEncode.h"
#include "core/uProgressSink.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SystemParameterUnit.h"

#include <filesystem>

namespace fs = std::filesystem;

namespace {

bool isFolder(const std::string& path) {
    std::error_code ec;
    return fs::is_directory(fs::symlink_status(path, ec));
}

void removeTree(const std::string& path) {
    // remove_all deletes symbolic links themselves, never what they point to.
    std::error_code ec;
    if (!path.empty() && isFolder(path))
        fs::remove_all(path, ec);
}

} // namespace

TOAVITranslateControl::TOAVITranslateControl(TVideoControl& Video, TSystemParameter& System,
                                             TMediaResManager& Frames, TProgressSink& Progress,
                                             std::function<TLMSetConst*()> ModelSet)
    : Video_(Video), System_(System), Frames_(Frames), Progress_(Progress),
      ModelSet_(std::move(ModelSet)) {}

TOAVITranslateControl::~TOAVITranslateControl() = default;

bool TOAVITranslateControl::IsListedSource() const {
    TLMSetConst* set = ModelSet_ ? ModelSet_() : nullptr;
    return set && set->VideoInfo && !set->VideoInfo->GetMp3FileName(-1).empty();
}

bool TOAVITranslateControl::Start() {
    LastError.clear();
    TLMSetConst* set = ModelSet_ ? ModelSet_() : nullptr;
    if (!set || !set->HasVideoFormat()) {
        LastError = "the current model takes no device video";
        return false;
    }
    TLMSetVideoInfo& profile = *set->VideoInfo;
    if (!IsListedSource()) {
        // Live capture of an unlisted source belongs to the player side.
        LastError = "no listed source to convert";
        return false;
    }
    SourceFile = profile.GetCurrentFile();
    std::error_code ec;
    if (!fs::is_regular_file(SourceFile, ec)) {
        LastError = SourceFile + ": the file does not exist";
        return false;
    }
    const std::string stem = ExtractFileStem(SourceFile);
    if (stem.empty()) {
        LastError = SourceFile + ": a file name without a name before its first \".\" cannot "
                                 "have a working folder";
        return false;
    }
    if (!System_.VideoInfo->LoadFromFile(SourceFile)) {
        LastError = System_.VideoInfo->LastError;
        return false;
    }
    // Which of the working folders exist before this run decides what cleanup may delete.
    WorkFolder_ = ExtractFileDir(SourceFile) + stem;
    CreatedWorkFolder_ = !fs::exists(fs::symlink_status(WorkFolder_, ec));
    if (!CreatedWorkFolder_ && !isFolder(WorkFolder_)) {
        LastError = WorkFolder_ + ": a file of that name is in the way of the working folder";
        return false;
    }
    CreatedImageFolder_ = !fs::exists(fs::symlink_status(WorkFolder_ + "/Image", ec));
    CreatedSoundFolder_ = !fs::exists(fs::symlink_status(WorkFolder_ + "/Sound", ec));

    try {
        profile.VideoFileName = System_.GetVideoFileName();
        profile.SoundFileName = System_.GetSoundFileName();
        std::string images = System_.GetImageFolder();
        if (!isFolder(images)) {
            LastError = images + ": the image folder cannot be created";
            RemoveWorkingFiles();
            return false;
        }
        TBatchDistillVideoFileFrame& extractor = *Video_.FrameExtractor;
        extractor.OnFinished = [this] {
            if (OnMediaFinished)
                OnMediaFinished();
        };
        extractor.OnFailed = [this](const std::string& reason) {
            RemoveWorkingFiles();
            Frames_.Clear();
            LastError = reason;
            if (OnFailed)
                OnFailed(reason);
        };
        TFrameExtractionTarget target{&profile, System_.VideoInfo.get(), &Frames_, &Progress_};
        if (!extractor.Begin(SourceFile, images + "/", target)) {
            LastError = SourceFile + ": the file does not exist";
            RemoveWorkingFiles();
            return false;
        }
    } catch (const std::exception& e) {
        LastError = e.what();
        RemoveWorkingFiles();
        return false;
    }
    return true;
}

bool TOAVITranslateControl::Pause() {
    return false;
}

bool TOAVITranslateControl::Continue() {
    return true;
}

void TOAVITranslateControl::Stop() {
    if (Video_.FrameExtractor && Video_.FrameExtractor->Running())
        Video_.FrameExtractor->Cancel();
    Encode();
}

void TOAVITranslateControl::Encode() {
    TLMSetConst* set = ModelSet_ ? ModelSet_() : nullptr;
    try {
        if (!set || !set->HasVideoFormat())
            throw TEncodeError("the current model takes no device video");
        if (Frames_.Count() == 0)
            throw TEncodeError(SourceFile + ": no frames to encode");
        Video_.Encoder =
            std::make_unique<TVideoEncode>(*set->VideoInfo, set->ModelName, Frames_, Progress_);
        Video_.Encoder->SetSource(SourceFile);
        Video_.Encoder->OutputFile = set->VideoInfo->VideoFileName;
        Video_.Encoder->WorkFolder = WorkFolder_;
        if (ShowMessage)
            Video_.Encoder->ShowMessage = ShowMessage;
        Video_.Encoder->Execute();
    } catch (...) {
        RemoveWorkingFiles();
        Frames_.Clear();
        throw;
    }
    RemoveWorkingFiles();
    Frames_.Clear();
}

void TOAVITranslateControl::Abandon() {
    if (Video_.FrameExtractor && Video_.FrameExtractor->Running())
        Video_.FrameExtractor->Cancel();
    RemoveWorkingFiles();
    Frames_.Clear();
}

void TOAVITranslateControl::RemoveWorkingFiles() {
    if (WorkFolder_.empty())
        return;
    if (CreatedWorkFolder_) {
        removeTree(WorkFolder_);
    } else {
        if (CreatedImageFolder_)
            removeTree(WorkFolder_ + "/Image");
        if (CreatedSoundFolder_)
            removeTree(WorkFolder_ + "/Sound");
    }
    WorkFolder_.clear();
}
