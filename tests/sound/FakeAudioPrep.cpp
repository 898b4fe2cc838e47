// Test stand-in for libAudioPrep.so: ConvertWave writes a WAV too short to use, ConvertMP3
// writes one second of a 16-bit stereo 22050 Hz tone and leaves a marker beside it.

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

void putLe(std::vector<unsigned char>& b, uint32_t v, int bytes) {
    for (int i = 0; i < bytes; ++i)
        b.push_back(static_cast<unsigned char>(v >> (8 * i)));
}

bool writeWav(const char* path, int frames) {
    const int rate = 22050, channels = 2;
    std::vector<unsigned char> b;
    const uint32_t data = uint32_t(frames * channels * 2);
    b.insert(b.end(), {'R', 'I', 'F', 'F'});
    putLe(b, 36 + data, 4);
    b.insert(b.end(), {'W', 'A', 'V', 'E', 'f', 'm', 't', ' '});
    putLe(b, 16, 4);
    putLe(b, 1, 2);
    putLe(b, channels, 2);
    putLe(b, rate, 4);
    putLe(b, rate * channels * 2, 4);
    putLe(b, channels * 2, 2);
    putLe(b, 16, 2);
    b.insert(b.end(), {'d', 'a', 't', 'a'});
    putLe(b, data, 4);
    for (int i = 0; i < frames; ++i) {
        auto v = int16_t(8000 * std::sin(i * 2 * 3.14159265 * 440 / rate));
        putLe(b, uint16_t(v), 2);
        putLe(b, uint16_t(v), 2);
    }
    FILE* f = std::fopen(path, "wb");
    if (!f)
        return false;
    bool ok = std::fwrite(b.data(), 1, b.size(), f) == b.size();
    return (std::fclose(f) == 0) && ok;
}

} // namespace

extern "C" __attribute__((visibility("default"))) const char* ConvertWave(const char*,
                                                                          const char* wav) {
    return writeWav(wav, 100) ? wav : wav + std::strlen(wav);
}

extern "C" __attribute__((visibility("default"))) const char*
ConvertMP3(const char*, const char* wav, int, int) {
    std::string marker = std::string(wav) + ".second-route";
    if (FILE* f = std::fopen(marker.c_str(), "wb"))
        std::fclose(f);
    return writeWav(wav, 22050) ? wav : wav + std::strlen(wav);
}
