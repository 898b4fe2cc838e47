// omm convert: AVI files to device videos, one after the other like the batch of the
// file list. For each file: its sound goes to the ".mp3" beside it (unless one is there),
// its frames are extracted through vdub, and the device video is written beside it.
// A source without a sound track becomes a silent video (with a warning); a source whose
// sound track cannot be extracted fails.

#include "CliSettings.h"
#include "CommandRegistry.h"
#include "TerminalProgress.h"

#include "acquire/OAVITranslateControlUnit.h"
#include "acquire/VideoControlUnit.h"
#include "container/MediaResManagerUnit.h"
#include "core/PublicUnit.h"
#include "settings/LMSetConstUnit.h"
#include "settings/SettingsLocationUnit.h"
#include "settings/SystemParameterUnit.h"
#include "sound/uDistillSound.h"

#include <QEventLoop>

#include <cstdio>
#include <filesystem>
#include <future>
#include <iostream>

namespace omm::cli {
namespace {

namespace fs = std::filesystem;

struct ConvertOptions {
    std::string model;
    std::string configFile;
    int quality = -1; // -1: from the settings
    int fps = -1;
    bool subtitles = false;
    std::vector<std::string> files;
};

int parseNumber(const std::string& option, const std::string& text, int low, int high) {
    size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size() || value < low || value > high)
        throw UsageError{"option " + option + " takes a whole number from " + std::to_string(low) +
                         " to " + std::to_string(high) + " (got '" + text + "')"};
    return value;
}

ConvertOptions parseArguments(const std::vector<std::string>& args) {
    ConvertOptions o;
    bool filesOnly = false;
    for (size_t i = 0; i < args.size();) {
        std::string value;
        if (filesOnly || args[i].empty() || args[i][0] != '-' || args[i] == "-") {
            o.files.push_back(args[i++]);
        } else if (args[i] == "--") {
            filesOnly = true;
            ++i;
        } else if (takeOption(args, i, "--model", value)) {
            if (!CreateModelSet(value))
                throw UsageError{"unknown model '" + value + "'"};
            o.model = value;
        } else if (takeOption(args, i, "--quality", value)) {
            o.quality = parseNumber("--quality", value, 1, 100);
        } else if (takeOption(args, i, "--fps", value)) {
            o.fps = parseNumber("--fps", value, 1, 30);
        } else if (takeConfigOption(args, i, o.configFile)) {
        } else if (args[i] == "--subtitles") {
            o.subtitles = true;
            ++i;
        } else {
            throw UsageError{"convert: unknown option '" + args[i] + "'"};
        }
    }
    if (o.files.empty())
        throw UsageError{"convert needs at least one AVI file"};
    return o;
}

std::string absolute(const std::string& file) {
    std::error_code ec;
    fs::path p = fs::absolute(file, ec);
    return ec ? file : p.lexically_normal().string();
}

std::string sizeText(uintmax_t bytes) {
    char text[32];
    if (bytes >= 1024 * 1024)
        std::snprintf(text, sizeof text, "%.1f MB", double(bytes) / (1024.0 * 1024.0));
    else
        std::snprintf(text, sizeof text, "%.1f KB", double(bytes) / 1024.0);
    return text;
}

// Counts the bitmaps vdub has written so far, for the extraction's rate and time left.
long countFrames(const std::string& folder) {
    long n = 0;
    std::error_code ec;
    for (fs::recursive_directory_iterator it(folder, ec), end; !ec && it != end; it.increment(ec))
        if (it->path().extension() == ".bmp")
            ++n;
    return n;
}

class Converter {
public:
    Converter(TPublic& root, TerminalProgress& progress)
        : Root_(root), Progress_(progress), Video_(ProgramFolder()),
          Control_(Video_, *root.PublicConst->SystemParameter, Frames_, progress,
                   [&root] { return root.PublicConst->LMSet.get(); }) {
        Control_.ShowMessage = [this](const std::string& text, const std::string& caption) {
            Progress_.Line("omm: warning: " + caption + ": " + text);
        };
    }

    // Converts entry Index of the profile's list; false with the reason on stderr.
    bool ConvertEntry(int Index, size_t Count) {
        TLMSetVideoInfo& profile = *Root_.PublicConst->LMSet->VideoInfo;
        profile.FileIndex = Index;
        const std::string source = profile.FileList[size_t(Index)].FileName;
        char position[48];
        std::snprintf(position, sizeof position, "[%d/%zu] ", Index + 1, Count);
        Progress_.SetLabel(std::string(position).append(fs::path(source).filename().string()));
        std::error_code ec;
        if (!fs::is_regular_file(source, ec))
            return Fail(source + ": the file does not exist");
        return RunPipeline(source, profile);
    }

private:
    bool Fail(const std::string& reason) {
        Progress_.Line("omm: " + reason);
        return false;
    }

    struct SoundResult {
        bool ok = true;
        bool noSoundTrack = false;
        std::string error;
    };

    // The sound is extracted on a worker while vdub extracts the frames: the two use
    // different cores and neither needs the other's result until the encoding.
    static SoundResult ExtractSound(const std::string& source, TSoundInfo format) {
        SoundResult result;
        const std::string mp3 = TSystemParameter::ChangeExt(source, ".mp3");
        std::error_code ec;
        if (fs::exists(mp3, ec))
            return result;
        TDistillSound distill(ProgramFolder());
        distill.SoundInfo = format;
        result.ok = distill.DistillToMP3(source);
        result.noSoundTrack = distill.NoSoundTrack;
        result.error = distill.LastError;
        return result;
    }

    // False when the file must fail because of its sound (the reason is printed).
    bool TakeSound(const std::string& source, std::future<SoundResult>& pending) {
        SoundResult sound = pending.get();
        if (sound.ok)
            return true;
        if (sound.noSoundTrack) {
            Progress_.Line("omm: warning: " + source +
                           ": the video has no sound track; converting it without sound");
            return true;
        }
        return Fail(sound.error.empty() ? source + ": its sound cannot be extracted" : sound.error);
    }

    bool RunPipeline(const std::string& source, TLMSetVideoInfo& profile) {
        std::future<SoundResult> sound =
            std::async(std::launch::async, ExtractSound, source, profile.SoundInfo);
        QEventLoop loop;
        bool finished = false;
        std::string failure;
        Control_.OnMediaFinished = [&] {
            finished = true;
            loop.quit();
        };
        Control_.OnFailed = [&](const std::string& why) {
            failure = why;
            loop.quit();
        };
        const std::string images = ExtractFileDir(source) + ExtractFileStem(source) + "/Image";
        Progress_.Units = "frames";
        Progress_.Counter = [&, images]() -> std::pair<long, long> {
            return {countFrames(images),
                    long(Root_.PublicConst->SystemParameter->VideoInfo->TotalFrames)};
        };
        if (!Control_.Start()) {
            Progress_.Counter = nullptr;
            sound.wait();
            return Fail(Control_.LastError);
        }
        loop.exec();
        Progress_.Counter = nullptr;
        if (!finished) {
            sound.wait();
            return Fail(failure.empty() ? source + ": the frame extraction did not finish"
                                        : failure);
        }
        if (!TakeSound(source, sound)) {
            Control_.Abandon();
            return false;
        }
        const size_t frames = Frames_.Count();
        const int duration = Frames_.Duration;
        try {
            Progress_.Units = "frames";
            Progress_.TotalUnits = long(frames);
            Control_.Stop();
        } catch (const std::exception& e) {
            return Fail(e.what());
        }
        const std::string output = profile.VideoFileName;
        std::error_code ec;
        uintmax_t size = fs::file_size(output, ec);
        if (ec)
            return Fail(output + ": the device video was not written");
        char summary[128];
        std::snprintf(summary, sizeof summary, ": %zu frames, %.1f s, %s", frames,
                      double(duration) / 1000.0, sizeText(size).c_str());
        std::cout << source << " -> " << output << summary << std::endl;
        return true;
    }

    TPublic& Root_;
    TerminalProgress& Progress_;
    TMediaResManager Frames_;
    TVideoControl Video_;
    TOAVITranslateControl Control_;
};

int runConvert(const std::vector<std::string>& args) {
    ConvertOptions o = parseArguments(args);
    TPublic& root = openRoot(o.configFile, o.model);
    TLMSetConst& set = *root.PublicConst->LMSet;
    if (!set.HasVideoFormat())
        return usageError("the model " + set.ModelName +
                          " takes no device video; choose --model LM63, LM52 or LM41");
    TLMSetVideoInfo& profile = *set.VideoInfo;
    if (o.quality > 0)
        profile.CompressGrade = o.quality;
    if (o.fps > 0)
        profile.PlaySpeed = o.fps;
    if (o.subtitles)
        profile.Srt = true;
    profile.FileList.clear();
    for (const auto& f : o.files)
        profile.FileList.push_back(TMediaFileItem::ForFile(absolute(f)));

    TerminalProgress progress;
    Converter converter(root, progress);
    int failed = 0;
    const size_t count = profile.FileList.size();
    for (size_t i = 0; i < count; ++i)
        if (!converter.ConvertEntry(int(i), count))
            ++failed;
    if (count > 1)
        std::cout << (count - size_t(failed)) << " of " << count << " files converted" << std::endl;
    return failed == 0 ? ExitOk : ExitFailed;
}

const OmmCommand command(
    {"convert",
     "convert   [--model LM63|LM52|LM41] [--quality N] [--fps N] [--subtitles] [--config FILE] "
     "FILE.avi...  AVI files to device videos beside them",
     runConvert});

} // namespace
} // namespace omm::cli
