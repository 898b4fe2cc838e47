#pragma once
// AVI sources made with ffmpeg at test time, and readers for what the tools write.

#include "support/TestSupport.h"

#include <QCoreApplication>
#include <cstdint>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace omm::test {

enum class AviSound { Mp3, Pcm, None };

// A test-pattern AVI: Rate is an ffmpeg rate ("25", "5", "30000/1001").
inline bool makeAvi(const std::filesystem::path& file, const std::string& rate, double seconds,
                    AviSound sound, const std::string& size = "160x120") {
    std::vector<std::string> args = {"-f", "lavfi", "-i", "testsrc=size=" + size + ":rate=" + rate};
    if (sound != AviSound::None)
        args.insert(args.end(), {"-f", "lavfi", "-i", "sine=frequency=440:sample_rate=22050"});
    args.insert(args.end(), {"-t", std::to_string(seconds), "-c:v", "mpeg4", "-q:v", "5"});
    if (sound == AviSound::Mp3)
        args.insert(args.end(), {"-c:a", "libmp3lame", "-b:a", "64k", "-ac", "2"});
    else if (sound == AviSound::Pcm)
        args.insert(args.end(), {"-c:a", "pcm_s16le", "-ac", "2"});
    args.push_back(file.string());
    return ffmpeg(args);
}

// Values ffprobe reports for the first stream of a kind ("a" or "v").
inline std::string probe(const std::filesystem::path& file, const std::string& stream,
                         const std::string& entry) {
    auto r = run("ffprobe", {"-v", "error", "-select_streams", stream + ":0", "-show_entries",
                             "stream=" + entry, "-of", "default=nw=1:nk=1", file.string()});
    std::string out = r.out;
    while (!out.empty() && (out.back() == '\n' || out.back() == '\r'))
        out.pop_back();
    return out;
}

inline double probeDuration(const std::filesystem::path& file) {
    auto r = run("ffprobe", {"-v", "error", "-show_entries", "format=duration", "-of",
                             "default=nw=1:nk=1", file.string()});
    return std::atof(r.out.c_str());
}

inline uint32_t le32(const std::vector<unsigned char>& b, size_t at) {
    return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 |
           uint32_t(b[at + 3]) << 24;
}
inline uint16_t le16(const std::vector<unsigned char>& b, size_t at) {
    return uint16_t(b[at] | b[at + 1] << 8);
}

// The numbered files of a folder, sorted.
inline std::vector<std::string> filesIn(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& e : std::filesystem::directory_iterator(folder, ec))
        names.push_back(e.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace omm::test

// Every test program of this area runs with an application object, so event loops work.
#define OMM_TEST_MAIN_WITH_APP                                                                     \
    int main(int argc, char** argv) {                                                              \
        QCoreApplication app(argc, argv);                                                          \
        ::testing::InitGoogleTest(&argc, argv);                                                    \
        return RUN_ALL_TESTS();                                                                    \
    }
