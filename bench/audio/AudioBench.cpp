// Run: build/<config>/bin/audio_bench
// items_per_second is in mixed (or decoded) sound frames; divide by 44100 (or the
// sound's rate) for the real-time factor.
#include "platform/audio/AudioMixer.h"
#include "platform/audio/SwfSoundFormat.h"

#include <benchmark/benchmark.h>
#include <cmath>
#include <random>

using namespace omm::audio;

namespace {

std::shared_ptr<const PcmBuffer> tone(int rate, int channels, double hz, double seconds) {
    auto b = std::make_shared<PcmBuffer>();
    b->format = {rate, channels};
    const auto frames = static_cast<size_t>(rate * seconds);
    for (size_t i = 0; i < frames; ++i)
        for (int c = 0; c < channels; ++c)
            b->samples.push_back(static_cast<int16_t>(
                8000 * std::sin(2 * M_PI * hz * static_cast<double>(i) / rate)));
    return b;
}

// Voices already at the mix format, some with envelopes; a capture converting to the
// recorder's 22050 Hz stereo, as a "Stereo Mix" recording does.
void BM_MixVoices(benchmark::State& state) {
    const int voices = static_cast<int>(state.range(0));
    AudioMixer mixer({AudioMixer::Clock::Manual, false});
    size_t captured = 0;
    mixer.addCapture({22050, 2}, [&](const int16_t*, size_t n) { captured += n; });
    auto sound = tone(44100, 2, 440, 600.0);
    for (int v = 0; v < voices; ++v) {
        VoiceOptions o;
        if (v % 2)
            o.envelope = {{0, 0, 32768}, {44100, 32768, 0}};
        mixer.play(sound, o);
    }
    constexpr size_t Block = 4410;
    for (auto _ : state) {
        mixer.advance(Block);
        benchmark::DoNotOptimize(captured);
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * Block));
}
BENCHMARK(BM_MixVoices)->Arg(1)->Arg(4)->Arg(16);

void BM_DecodeAdpcm(benchmark::State& state) {
    std::mt19937 random(7);
    std::vector<uint8_t> data(2 + 10 * 2050);
    for (auto& b : data)
        b = static_cast<uint8_t>(random());
    data[0] = static_cast<uint8_t>((data[0] & 0x3F) | 0x80); // 4-bit codes
    std::vector<int16_t> out;
    for (auto _ : state) {
        out.clear();
        DecodeSwfAdpcm(data, 1, out);
        benchmark::DoNotOptimize(out.data());
    }
    state.SetItemsProcessed(static_cast<int64_t>(state.iterations() * out.size()));
}
BENCHMARK(BM_DecodeAdpcm);

} // namespace

BENCHMARK_MAIN();
