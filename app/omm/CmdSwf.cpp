// omm swf FILE.swf: what a Flash movie holds (header and tag counts), its frames as
// PNG pictures drawn by our own player, and its whole mixed sound as a WAV file.

#include "CommandRegistry.h"
#include "platform/audio/SwfSoundRender.h"
#include "platform/swf/SwfMovie.h"
#include "platform/swf/SwfPlayer.h"

#include <QDir>
#include <QFile>
#include <QImage>

#include <cstdio>
#include <filesystem>
#include <iostream>

namespace omm::cli {
namespace {

using namespace omm::swf;

const char* CompressionName(SwfCompression c) {
    switch (c) {
    case SwfCompression::Zlib:
        return "zlib";
    case SwfCompression::Lzma:
        return "LZMA";
    default:
        return "none";
    }
}

void PrintInfo(const SwfMovie& movie) {
    const SwfHeader& h = movie.Header();
    char rate[32];
    std::snprintf(rate, sizeof rate, "%.2f", h.FrameRate());
    char background[16];
    std::snprintf(background, sizeof background, "#%06X", movie.BackgroundColor());
    std::cout << "File: " << movie.Name() << "\n"
              << "Signature: " << std::string(h.signature, 3)
              << " (compression: " << CompressionName(h.compression) << ")\n"
              << "Version: " << int(h.version) << "\n"
              << "Length: " << h.fileLength << " bytes uncompressed\n"
              << "Stage: " << h.stage.Width() / 20.0 << "x" << h.stage.Height() / 20.0
              << " pixels\n"
              << "Frame rate: " << rate << " frames per second\n"
              << "Frames: " << movie.FrameCount() << " (header: " << h.declaredFrames << ")\n"
              << "Background: " << background << "\n"
              << "Tags:\n";
    uint64_t total = 0;
    for (const auto& [code, count] : movie.TagStatistics()) {
        char line[96];
        std::snprintf(line, sizeof line, "  %-30s %6u %8u\n", TagName(code).c_str(), unsigned(code),
                      count);
        std::cout << line;
        total += count;
    }
    std::cout << "  " << total << " tags in all\n";
    if (!movie.Warning().empty())
        std::cout << "Warning: " << movie.Warning() << "\n";
}

bool ParseRange(const std::string& text, int& first, int& last) {
    auto dash = text.find('-');
    try {
        size_t used = 0;
        if (dash == std::string::npos) {
            first = last = std::stoi(text, &used);
            return used == text.size() && first >= 0;
        }
        std::string a = text.substr(0, dash), b = text.substr(dash + 1);
        first = std::stoi(a, &used);
        if (used != a.size())
            return false;
        last = std::stoi(b, &used);
        return used == b.size() && first >= 0 && last >= first;
    } catch (...) {
        return false;
    }
}

// Writes one picture under a temporary name and renames it into place, so an
// interrupted run never leaves a half-written PNG with a good name.
bool SavePng(const QImage& image, const std::filesystem::path& target, std::string& error) {
    std::filesystem::path temp = target;
    temp += ".part";
    if (!image.save(QString::fromStdString(temp.string()), "PNG")) {
        QFile::remove(QString::fromStdString(temp.string()));
        error = target.string() + ": cannot write the picture";
        return false;
    }
    std::error_code ec;
    std::filesystem::rename(temp, target, ec);
    if (ec) {
        std::filesystem::remove(temp, ec);
        error = target.string() + ": cannot write the picture";
        return false;
    }
    return true;
}

int WriteFrames(const std::shared_ptr<const SwfMovie>& movie, int first, int last,
                const std::string& folder) {
    int total = static_cast<int>(movie->FrameCount());
    if (total == 0) {
        std::cerr << "omm: " << movie->Name() << ": the movie has no frames\n";
        return ExitFailed;
    }
    if (first >= total) {
        std::cerr << "omm: " << movie->Name() << ": frame " << first
                  << " does not exist (the movie has " << total << " frames, numbered from 0)\n";
        return ExitFailed;
    }
    last = std::min(last, total - 1);
    if (!QDir().mkpath(QString::fromStdString(folder))) {
        std::cerr << "omm: " << folder << ": cannot create the folder\n";
        return ExitFailed;
    }
    SwfPlayer player;
    player.SetAutoPlay(false);
    player.SetLoop(false);
    player.SetMovieData(movie, QString::fromStdString(movie->Name()));
    for (int frame = first; frame <= last; ++frame) {
        player.SetFrameNum(frame);
        char name[32];
        std::snprintf(name, sizeof name, "frame_%06d.png", frame);
        std::string error;
        if (!SavePng(player.Picture().convertToFormat(QImage::Format_RGB32),
                     std::filesystem::path(folder) / name, error)) {
            std::cerr << "omm: " << error << "\n";
            return ExitFailed;
        }
    }
    std::cout << "Wrote " << (last - first + 1) << " frames (" << first << "-" << last << ") to "
              << folder << "\n";
    return ExitOk;
}

int RunSwf(const std::vector<std::string>& args) {
    std::string file, frames, outDir, audio;
    for (size_t i = 0; i < args.size();) {
        if (takeOption(args, i, "--frames", frames) || takeOption(args, i, "-o", outDir) ||
            takeOption(args, i, "--output", outDir) || takeOption(args, i, "--audio", audio))
            continue;
        if (args[i].rfind("-", 0) == 0 && args[i] != "-")
            throw UsageError{"unknown option " + args[i] + " for swf"};
        if (!file.empty())
            throw UsageError{"swf takes one movie"};
        file = args[i++];
    }
    if (file.empty())
        throw UsageError{
            "swf needs a movie (omm swf FILE.swf [--frames A-B -o DIR] [--audio OUT.wav])"};
    int first = 0, last = 0;
    if (!frames.empty() && !ParseRange(frames, first, last))
        throw UsageError{"--frames takes A-B with 0 <= A <= B (frames are numbered from 0), not '" +
                         frames + "'"};
    if (!frames.empty() && outDir.empty())
        throw UsageError{"--frames needs -o DIR"};
    if (frames.empty() && !outDir.empty())
        throw UsageError{"-o is used with --frames"};

    std::string error;
    auto movie = SwfMovie::Load(file, error);
    if (!movie) {
        std::cerr << "omm: " << error << "\n";
        return ExitFailed;
    }
    if (frames.empty() && audio.empty()) {
        PrintInfo(*movie);
        return ExitOk;
    }
    if (!movie->Warning().empty())
        std::cerr << "omm: " << file << ": " << movie->Warning() << "\n";
    if (!frames.empty()) {
        int status = WriteFrames(movie, first, last, outDir);
        if (status != ExitOk)
            return status;
    }
    if (!audio.empty()) {
        if (!RenderMovieSound(file, audio, error)) {
            std::cerr << "omm: " << error << "\n";
            return ExitFailed;
        }
        std::cout << "Wrote the movie's sound to " << audio << "\n";
    }
    return ExitOk;
}

const OmmCommand swfCommand{
    {"swf",
     "swf FILE.swf [--frames A-B -o DIR] [--audio OUT.wav]  show a Flash movie's header and "
     "tags, or draw its frames as PNG",
     RunSwf}};

} // namespace
} // namespace omm::cli
