#pragma once
// Shared fixtures of the container tests: frame bitmaps made once with ffmpeg, the
// three device profiles, a frame list over the bitmaps and a progress sink that records.

#include "container/MediaResManagerUnit.h"
#include "core/uProgressSink.h"
#include "settings/LMSetVideoInfoUnit.h"

#include <QThread>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace omm::test {

// A folder of FrameFixtureCount numbered 320 x 240 bitmaps (000001.bmp, ...) of a
// moving test picture at 10 frames per second, made on first use and kept for the run.
inline constexpr int FrameFixtureCount = 301;
const std::filesystem::path& FrameFolder();
std::filesystem::path FrameFile(int Index); // Index from 0

// A 3-second stereo MP3, made on first use; copy it before a run consumes it.
const std::filesystem::path& Mp3Fixture();

std::unique_ptr<TLMSetVideoInfo> MakeProfile(const std::string& Model);

// Fills Frames with the first Count fixture bitmaps at 100 ms steps, and the profile's
// base-frame list with the times of frames 0, K, 2K, ...
void FillFrames(TMediaResManager& Frames, TLMSetVideoInfo& Profile, int Count);

std::vector<uint8_t> ReadBytes(const std::filesystem::path& Path);
uint32_t U32At(const std::vector<uint8_t>& Bytes, size_t At);
uint16_t U16At(const std::vector<uint8_t>& Bytes, size_t At);

// Records every call, and whether it came from the thread that created the sink.
class TRecordingSink : public TProgressSink {
public:
    struct TCall {
        std::string Kind; // "begin", "set", "end", "status"
        int Position = 0;
        std::string Text;
    };
    void BeginProgress(const std::string& Text) override { Add({"begin", 0, Text}); }
    void SetProgress(int Position, const std::string& Text) override {
        Add({"set", Position, Text});
    }
    void EndProgress() override { Add({"end", 0, {}}); }
    void ShowStatus(const std::string& Text, bool) override { Add({"status", 0, Text}); }

    std::vector<TCall> Calls() const {
        std::lock_guard<std::mutex> g(Lock_);
        return Calls_;
    }
    bool AllOnOwnerThread() const {
        std::lock_guard<std::mutex> g(Lock_);
        return AllOnOwner_;
    }
    int Steps() const; // calls of SetProgress with a negative position

private:
    void Add(TCall Call) {
        std::lock_guard<std::mutex> g(Lock_);
        if (QThread::currentThread() != Owner_)
            AllOnOwner_ = false;
        Calls_.push_back(std::move(Call));
    }
    mutable std::mutex Lock_;
    std::vector<TCall> Calls_;
    QThread* Owner_ = QThread::currentThread();
    bool AllOnOwner_ = true;
};

} // namespace omm::test
