#include "container/uWriteSound.h"

#include "container/uOaviFormat.h"
#include "container/uWriteFileHead.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <vector>

TWriteSound::TWriteSound(TOutStream* Stream, TWriteFileHead& Head, std::string SoundFile)
    : TWriteData(Stream), Head_(Head), SoundFile_(std::move(SoundFile)) {}

void TWriteSound::Write() {
    TOutStream& out = Out();
    Head_.PatchSoundOffset(Offset32(out.Size()));
    SeekEnd();
    std::error_code ec;
    if (SoundFile_.empty() || !std::filesystem::is_regular_file(SoundFile_, ec))
        return; // no sound: the video is silent
    const uint64_t length = std::filesystem::file_size(SoundFile_, ec);
    if (ec)
        throw TEncodeError(SoundFile_ + ": the sound file cannot be read (" + ec.message() + ")");
    // Refuse before copying anything: the file could never be described.
    Offset32(out.Size() + length);

    std::unique_ptr<std::FILE, int (*)(std::FILE*)> in(std::fopen(SoundFile_.c_str(), "rb"),
                                                       &std::fclose);
    if (!in)
        throw TEncodeError(SoundFile_ + ": the sound file cannot be opened");
    std::vector<char> buffer(1 << 16);
    for (;;) {
        const size_t n = std::fread(buffer.data(), 1, buffer.size(), in.get());
        if (n > 0) {
            out.Write(buffer.data(), n);
        }
        if (n < buffer.size()) {
            if (std::ferror(in.get()))
                throw TEncodeError(SoundFile_ + ": reading the sound file failed");
            break;
        }
    }
    Offset32(out.Size());
    Consumed_ = true;
}
