// One encode run in its own process, so its time and peak memory are its own:
//   container_encode_bench --model LM41|LM52|LM63 --frames N --path auto|sequential|parallel
//                          --source DIR [--output FILE] [--threads N] [--keep 1]
// DIR holds numbered bitmaps (000001.bmp, ...); frame i uses bitmap i modulo their
// number, so long videos need no long fixtures. Prints one line: model, frames, path,
// seconds, CPU seconds, frames per second, peak resident memory in KiB, output size.

#include "container/MediaResManagerUnit.h"
#include "container/uVideoEncode.h"
#include "core/uProgressSink.h"
#include "settings/LMSetVideoInfoUnit.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iostream>
#include <sys/resource.h>
#include <vector>

namespace fs = std::filesystem;

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    std::string model = "LM41", pathName = "auto", source, output;
    int frames = 1000, threads = 3;
    bool keep = false;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string key = argv[i], value = argv[i + 1];
        if (key == "--model")
            model = value;
        else if (key == "--frames")
            frames = std::stoi(value);
        else if (key == "--path")
            pathName = value;
        else if (key == "--source")
            source = value;
        else if (key == "--output")
            output = value;
        else if (key == "--threads")
            threads = std::stoi(value);
        else if (key == "--keep")
            keep = value == "1";
        else {
            std::cerr << "unknown option " << key << "\n";
            return 2;
        }
    }
    std::vector<std::string> bitmaps;
    for (const auto& entry : fs::directory_iterator(source))
        if (entry.path().extension() == ".bmp")
            bitmaps.push_back(entry.path().string());
    std::sort(bitmaps.begin(), bitmaps.end());
    if (bitmaps.empty()) {
        std::cerr << "no bitmaps in " << source << "\n";
        return 2;
    }

    std::unique_ptr<TLMSetVideoInfo> profile;
    if (model == "LM41")
        profile = std::make_unique<TLMSetVideoInfo_LM41>();
    else if (model == "LM52")
        profile = std::make_unique<TLMSetVideoInfo_LM52>();
    else
        profile = std::make_unique<TLMSetVideoInfo_LM52A>();
    TMediaResManager list;
    for (int i = 0; i < frames; ++i)
        list.AddFile(bitmaps[size_t(i) % bitmaps.size()], i * 100);
    list.Duration = frames * 100;
    const int k = profile->GetKeyFrameInterval();
    for (int i = 0; i < frames; i += k)
        profile->BaseFrames.push_back(uint32_t(i * 100));
    if (output.empty())
        output = (fs::temp_directory_path() /
                  ("omm-bench-" + std::to_string(::getpid()) + (model == "LM63" ? ".ovi" : ".omv")))
                     .string();
    profile->VideoFileName = output;

    TNullProgressSink sink;
    TVideoEncode encode(*profile, model, list, sink);
    encode.ThreadCount = threads;
    encode.Path = pathName == "sequential" ? TEncodePath::Sequential
                  : pathName == "parallel" ? TEncodePath::Parallel
                                           : TEncodePath::Auto;
    const auto start = std::chrono::steady_clock::now();
    try {
        encode.Execute();
    } catch (const std::exception& e) {
        std::cerr << e.what() << "\n";
        return 1;
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    const auto size = fs::file_size(output);
    // CPU time beside wall time: on a busy machine the ratio shows how much parallelism
    // the run actually got.
    const double cpu = double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                       double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    std::printf("%s frames=%d path=%s seconds=%.3f cpu_seconds=%.3f fps=%.1f "
                "peak_rss_kib=%ld size=%llu\n",
                model.c_str(), frames, encode.LastRunParallel ? "parallel" : "sequential", seconds,
                cpu, frames / seconds, usage.ru_maxrss, static_cast<unsigned long long>(size));
    if (!keep)
        fs::remove(output);
    return 0;
}
