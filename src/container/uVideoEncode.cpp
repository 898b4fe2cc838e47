#include "container/uVideoEncode.h"

#include "codec/uGraphicCompressFactory.h"
#include "container/MediaResManagerUnit.h"
#include "container/uWriteBaseFrame.h"
#include "container/uWriteChapter.h"
#include "container/uWriteFileHead.h"
#include "container/uWriteSound.h"
#include "core/uProgressSink.h"
#include "settings/LMSetVideoInfoUnit.h"

#include <atomic>
#include <filesystem>
#include <memory>
#include <random>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

// A name beside Target that no other run uses.
fs::path UniqueSibling(const fs::path& Target, const std::string& Suffix) {
    static std::atomic<unsigned> counter{0};
    std::random_device rd;
    for (;;) {
        // Built by appending: GCC 12 at -O3 warns falsely on chained operator+ here.
        std::string name(1, '.');
        name.append(Target.filename().string());
        name.append(1, '.');
        name.append(std::to_string(::getpid()));
        name.append(1, '-');
        name.append(std::to_string(counter++));
        name.append(1, '-');
        name.append(std::to_string(rd() % 100000));
        name.append(Suffix);
        fs::path candidate = Target.parent_path() / name;
        std::error_code ec;
        if (!fs::exists(candidate, ec))
            return candidate;
    }
}

// Removes a private folder when the run ends, however it ends.
struct TScopedFolder {
    fs::path Path;
    ~TScopedFolder() {
        std::error_code ec;
        if (!Path.empty())
            fs::remove_all(Path, ec);
    }
};

} // namespace

TVideoEncode::TVideoEncode(TLMSetVideoInfo& Profile, std::string ModelName,
                           const TMediaResManager& Frames, TProgressSink& Progress)
    : TWriteData(nullptr), Profile_(Profile), ModelName_(std::move(ModelName)), Frames_(Frames),
      Progress_(Progress) {}

void TVideoEncode::SetSource(const std::string& SourceFile) {
    SoundFile = fs::path(SourceFile).replace_extension(".mp3").string();
    SubtitleFile = fs::path(SourceFile).replace_extension(".srt").string();
}

void TVideoEncode::CheckInputs(const std::string& Target) const {
    if (Target.empty())
        throw TEncodeError("no device video file name was given");
    if (!Profile_.HasVideoFormat() || !HasGraphicCompress(ModelName_))
        throw TEncodeError(Target + ": model " + ModelName_ + " takes no device video");
    const int k = Profile_.GetKeyFrameInterval();
    if (k < 1)
        throw TEncodeError(Target + ": the base-frame interval is " + std::to_string(k) +
                           " (frame rate " + std::to_string(Profile_.PlaySpeed) +
                           "); the frame rate must be at least 1");
    if (Profile_.VideoWidth < 1 || Profile_.VideoHeight < 1 || Profile_.VideoWidth > 0xFFFF ||
        Profile_.VideoHeight > 0xFFFF)
        throw TEncodeError(Target + ": the frame size " + std::to_string(Profile_.VideoWidth) +
                           " x " + std::to_string(Profile_.VideoHeight) + " is not possible");
    std::error_code ec;
    const fs::path folder = fs::path(Target).parent_path();
    if (!folder.empty() && !fs::is_directory(folder, ec))
        throw TEncodeError(Target + ": the folder " + folder.string() + " does not exist");
    if (fs::is_directory(Target, ec))
        throw TEncodeError(Target + ": a folder of that name is in the way");
}

void TVideoEncode::Write() {
    const std::string target = OutputFile.empty() ? Profile_.VideoFileName : OutputFile;
    CheckInputs(target);
    const fs::path temp = UniqueSibling(fs::absolute(target), ".part");
    TScopedFolder privateWork;
    std::string workFolder = WorkFolder;
    if (workFolder.empty()) {
        privateWork.Path = UniqueSibling(fs::absolute(target), ".work");
        std::error_code ec;
        if (!fs::create_directory(privateWork.Path, ec))
            throw TEncodeError(target + ": cannot create the work folder " +
                               privateWork.Path.string() + " (" + ec.message() + ")");
        workFolder = privateWork.Path.string();
    }

    // Declared in the order they are freed in reverse: the image writer (whose pool waits
    // for its threads) goes first, the stream last.
    std::unique_ptr<TFileOutStream> stream;
    std::unique_ptr<TWriteFileHead> head;
    std::unique_ptr<TWriteChapter> chapter;
    std::unique_ptr<TWriteBaseFrame> baseFrame;
    std::unique_ptr<TWriteSubtitle> subtitle;
    std::unique_ptr<TWriteSound> sound;
    std::unique_ptr<TWriteImage> image;
    auto release = [&] {
        image.reset();
        sound.reset();
        subtitle.reset();
        baseFrame.reset();
        chapter.reset();
        head.reset();
    };
    auto configure = [&](TWriteData& writer) {
        writer.OutputName = target;
        writer.SizeLimit = SizeLimit;
    };

    Progress_.BeginProgress("正在初始化编码...");
    try {
        stream = std::make_unique<TFileOutStream>(temp);
        Stream = stream.get();
        head = std::make_unique<TWriteFileHead>(Stream, Profile_, Frames_);
        chapter = std::make_unique<TWriteChapter>(Stream, Profile_, ModelName_);
        baseFrame = std::make_unique<TWriteBaseFrame>(Stream, Profile_, ModelName_);
        subtitle = std::make_unique<TWriteSubtitle>(Stream, ModelName_, SubtitleFile);
        subtitle->ShowMessage = ShowMessage;
        sound = std::make_unique<TWriteSound>(Stream, *head, SoundFile);
        image = std::make_unique<TWriteImage>(
            Stream, Profile_, ModelName_, Frames_, workFolder, Progress_,
            TWriteImage::TWriters{*head, *chapter, *baseFrame, *subtitle});
        image->Path = Path;
        image->ThreadCount = ThreadCount;
        image->PickOrder = PickOrder;
        for (TWriteData* writer :
             std::initializer_list<TWriteData*>{head.get(), chapter.get(), baseFrame.get(),
                                                subtitle.get(), sound.get(), image.get()})
            configure(*writer);

        head->Execute();
        Progress_.SetProgress(0, "正在进行章节编码......");
        chapter->Execute();
        Progress_.SetProgress(0, "正在进行基准帧编码......");
        baseFrame->Execute();
        Progress_.SetProgress(0, "正在进行字幕编码......");
        subtitle->Execute();
        Progress_.SetProgress(0, "正在进行音频编码......");
        sound->Execute();
        Progress_.SetProgress(0, "正在进行视频编码......");
        image->Run();

        const bool soundConsumed = sound->Consumed();
        LastRunParallel = image->Parallel;
        release();
        stream->Close();
        stream.reset();
        Stream = nullptr;
        std::error_code ec;
        fs::rename(temp, target, ec);
        if (ec)
            throw TEncodeError(target + ": the finished file cannot be put in place (" +
                               ec.message() + ")");
        if (soundConsumed && !SoundFile.empty())
            fs::remove(SoundFile, ec);
        Progress_.EndProgress();
    } catch (const std::exception& e) {
        release();
        stream.reset(); // closes the file (errors swallowed)
        Stream = nullptr;
        std::error_code ec;
        fs::remove(temp, ec);
        Progress_.EndProgress();
        const std::string what = e.what();
        if (what.rfind(target, 0) == 0)
            throw TEncodeError(what);
        throw TEncodeError(target + ": " + what);
    }
}
