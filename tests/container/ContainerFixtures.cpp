#include "ContainerFixtures.h"

#include "support/TestSupport.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <iterator>
#include <unistd.h>

namespace omm::test {

static std::string FrameName(int Index) {
    char name[32];
    std::snprintf(name, sizeof name, "%06d.bmp", Index + 1);
    return name;
}

// Fixtures are kept beside the test program between runs (CTest starts one process per
// test); each is made under a private name and renamed into place, so processes running
// side by side never see half a fixture.
static std::filesystem::path
MakeOnce(const std::string& Name, const std::string& LastFile,
         const std::function<void(const std::filesystem::path&)>& Make) {
    namespace fs = std::filesystem;
    const fs::path base = OMM_CONTAINER_FIXTURES;
    const fs::path target = base / Name;
    std::error_code ec;
    if (fs::exists(target / LastFile, ec))
        return target;
    fs::create_directories(base, ec);
    const fs::path partial = base / (Name + ".part-" + std::to_string(::getpid()));
    fs::remove_all(partial, ec);
    Make(partial);
    if (!fs::exists(partial / LastFile, ec))
        return partial; // the maker failed the test already; never keep half a fixture
    fs::rename(partial, target, ec);
    if (ec) // another process was first
        fs::remove_all(partial, ec);
    return target;
}

const std::filesystem::path& FrameFolder() {
    static const std::filesystem::path folder =
        MakeOnce("frames-" + std::to_string(FrameFixtureCount), FrameName(FrameFixtureCount - 1),
                 [](const auto& path) {
                     std::filesystem::create_directories(path);
                     ffmpeg({"-f", "lavfi", "-i", "testsrc=size=320x240:rate=10", "-frames:v",
                             std::to_string(FrameFixtureCount), (path / "%06d.bmp").string()});
                 });
    return folder;
}

std::filesystem::path FrameFile(int Index) {
    return FrameFolder() / FrameName(Index);
}

const std::filesystem::path& Mp3Fixture() {
    static const std::filesystem::path file = [] {
        const auto folder = MakeOnce("sine", "sine.mp3", [](const auto& path) {
            std::filesystem::create_directories(path);
            ffmpeg({"-f", "lavfi", "-i", "sine=frequency=440:duration=3", "-ac", "2", "-ar",
                    "22050", "-b:a", "48k", (path / "sine.mp3").string()});
        });
        return folder / "sine.mp3";
    }();
    return file;
}

std::unique_ptr<TLMSetVideoInfo> MakeProfile(const std::string& Model) {
    if (Model == "LM41")
        return std::make_unique<TLMSetVideoInfo_LM41>();
    if (Model == "LM52")
        return std::make_unique<TLMSetVideoInfo_LM52>();
    if (Model == "LM63")
        return std::make_unique<TLMSetVideoInfo_LM52A>();
    return std::make_unique<TLMSetVideoInfo>();
}

void FillFrames(TMediaResManager& Frames, TLMSetVideoInfo& Profile, int Count) {
    Frames.Clear();
    for (int i = 0; i < Count; ++i)
        Frames.AddFile(FrameFile(i).string(), i * 100);
    Frames.Duration = Count * 100;
    Profile.BaseFrames.clear();
    const int k = Profile.GetKeyFrameInterval();
    for (int i = 0; k > 0 && i < Count; i += k)
        Profile.BaseFrames.push_back(static_cast<uint32_t>(i * 100));
}

std::vector<uint8_t> ReadBytes(const std::filesystem::path& Path) {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

uint32_t U32At(const std::vector<uint8_t>& b, size_t at) {
    return uint32_t(b.at(at)) | uint32_t(b.at(at + 1)) << 8 | uint32_t(b.at(at + 2)) << 16 |
           uint32_t(b.at(at + 3)) << 24;
}

uint16_t U16At(const std::vector<uint8_t>& b, size_t at) {
    return uint16_t(b.at(at) | b.at(at + 1) << 8);
}

int TRecordingSink::Steps() const {
    int n = 0;
    for (const TCall& c : Calls())
        if (c.Kind == "set" && c.Position < 0)
            ++n;
    return n;
}

} // namespace omm::test
