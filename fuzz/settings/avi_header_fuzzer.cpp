// libFuzzer target: any bytes as the start of an AVI file, read by TVideoInfo through a
// file (the reader only takes names). A refused file must leave the reset values and
// a message; an accepted one positive frame duration and size.

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "settings/VideoInfoUnit.h"

namespace {

std::string TempName() {
    static const std::string Name = [] {
        const char* Dir = std::getenv("TMPDIR");
        std::string Path = std::string(Dir && *Dir ? Dir : "/tmp") + "/avi_header_fuzz_" +
                           std::to_string(getpid()) + ".avi";
        return Path;
    }();
    return Name;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    const std::string Name = TempName();
    std::FILE* F = std::fopen(Name.c_str(), "wb");
    if (!F)
        std::abort();
    if (Size && std::fwrite(Data, 1, Size, F) != Size)
        std::abort();
    std::fclose(F);

    TVideoInfo Info;
    const bool Ok = Info.LoadFromFile(Name);
    std::remove(Name.c_str());
    if (Ok) {
        if (Info.MicroSecPerFrame <= 0 || Info.Width <= 0 || Info.Height <= 0 ||
            Info.TotalFrames < 0 || !Info.LastError.empty())
            std::abort();
    } else if (Info.LastError.empty()) {
        std::abort();
    }
    return 0;
}
