// Run: build/<dir>/bin/codec_bench [--benchmark_filter=...]
// Frames per second of the compressors appear as items_per_second.

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>
#include <vector>

extern "C" {
#include <libswscale/swscale.h>
}

#include "codec/uGraphicCompressFactory.h"
#include "codec/uGraphicStretch.h"

namespace {

// A panning gradient with a few moving, textured objects and a little sensor noise:
// close to what a scaled-down video frame looks like.
TBitmap Scene(int W, int H, int Frame) {
    TBitmap Pic(W, H);
    std::mt19937 Rng(uint32_t(Frame) * 7919u + 1);
    const int Pan = Frame * 2;
    for (int Y = 0; Y < H; ++Y) {
        uint8_t* P = Pic.ScanLine(Y);
        for (int X = 0; X < W; ++X, P += 3) {
            const int Noise = int(Rng() % 5) - 2;
            P[0] = uint8_t(std::clamp(((X + Pan) * 255) / (W + 200) + Noise, 0, 255));
            P[1] = uint8_t(std::clamp((Y * 200) / H + 30 + Noise, 0, 255));
            P[2] =
                uint8_t(std::clamp(128 + int(60 * std::sin((X + Y + Pan) * 0.05)) + Noise, 0, 255));
        }
    }
    struct Object {
        int X, Y, R, DX, DY;
        uint8_t B, G, Rd;
    };
    const Object Objects[] = {{W / 5, H / 3, H / 6, 3, 1, 30, 60, 220},
                              {W / 2, H / 2, H / 8, -2, 2, 200, 180, 40},
                              {W * 3 / 4, H / 5, H / 10, 1, -1, 40, 220, 90}};
    for (const Object& O : Objects) {
        const int CX = ((O.X + O.DX * Frame) % W + W) % W;
        const int CY = ((O.Y + O.DY * Frame) % H + H) % H;
        for (int Y = std::max(0, CY - O.R); Y < std::min(H, CY + O.R); ++Y)
            for (int X = std::max(0, CX - O.R); X < std::min(W, CX + O.R); ++X) {
                if ((X - CX) * (X - CX) + (Y - CY) * (Y - CY) > O.R * O.R)
                    continue;
                uint8_t* P = Pic.ScanLine(Y) + X * 3;
                const int Shade = ((X / 4 + Y / 4) % 2) * 20;
                P[0] = uint8_t(std::min(255, O.B + Shade));
                P[1] = uint8_t(std::min(255, O.G + Shade));
                P[2] = uint8_t(std::min(255, O.Rd + Shade));
            }
    }
    return Pic;
}

void OursStretch(benchmark::State& State) {
    const int W = int(State.range(0)), H = int(State.range(1));
    const int NW = int(State.range(2)), NH = int(State.range(3));
    const TBitmap Source = Scene(W, H, 5);
    TGraphicStretch Stretch;
    TBitmap Pic;
    for (auto _ : State) {
        Pic = Source;
        Stretch.Stretch(Pic, uint16_t(NW), uint16_t(NH));
        benchmark::DoNotOptimize(Pic.Data());
    }
    State.SetItemsProcessed(State.iterations());
}

void SwscaleLanczos(benchmark::State& State) {
    const int W = int(State.range(0)), H = int(State.range(1));
    const int NW = int(State.range(2)), NH = int(State.range(3));
    const TBitmap Source = Scene(W, H, 5);
    SwsContext* Ctx = sws_getContext(W, H, AV_PIX_FMT_BGR24, NW, NH, AV_PIX_FMT_BGR24, SWS_LANCZOS,
                                     nullptr, nullptr, nullptr);
    if (!Ctx) {
        State.SkipWithError("sws_getContext failed");
        return;
    }
    TBitmap Dest(NW, NH);
    TBitmap Pic;
    const int SrcStride[1] = {Source.RowStride()};
    const int DstStride[1] = {Dest.RowStride()};
    for (auto _ : State) {
        Pic = Source; // the same copy our scaler pays for
        const uint8_t* Src[1] = {Pic.Data()};
        uint8_t* Dst[1] = {Dest.Data()};
        sws_scale(Ctx, Src, SrcStride, 0, H, Dst, DstStride);
        benchmark::DoNotOptimize(Dest.Data());
    }
    sws_freeContext(Ctx);
    State.SetItemsProcessed(State.iterations());
}

void SizeArgs(benchmark::internal::Benchmark* B) {
    B->Args({320, 240, 144, 112})->Args({640, 480, 320, 240})->Unit(benchmark::kMicrosecond);
}

BENCHMARK(OursStretch)->Apply(SizeArgs);
BENCHMARK(SwscaleLanczos)->Apply(SizeArgs);

// Compression of a moving scene, frame after frame, with the model's default key interval.
void Compress(benchmark::State& State, const char* Model, int W, int H) {
    constexpr int Frames = 60;
    std::vector<TBitmap> Scenes;
    TGraphicStretch Stretch;
    for (int I = 0; I < Frames; ++I) {
        TBitmap Pic = Scene(320, 240, I);
        Stretch.Stretch(Pic, uint16_t(W), uint16_t(H));
        Scenes.push_back(std::move(Pic));
    }
    auto C = CreateGraphicCompress(Model);
    C->SetQuality(80);
    TMemoryOutStream Out;
    C->Stream = &Out;
    int I = 0;
    uint64_t Bytes = 0;
    for (auto _ : State) {
        C->CompressFrame(Scenes[size_t(I)], "");
        I = (I + 1) % Frames;
        if (Out.Size() > (64u << 20)) {
            Bytes += Out.Size();
            Out.Clear();
        }
    }
    Bytes += Out.Size();
    State.SetItemsProcessed(State.iterations());
    State.counters["bytes_per_frame"] =
        benchmark::Counter(double(Bytes) / double(std::max<int64_t>(1, State.iterations())));
}

BENCHMARK_CAPTURE(Compress, LM41_144x112, "LM41", 144, 112)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Compress, LM52_144x112, "LM52", 144, 112)->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(Compress, LM63_320x240, "LM63", 320, 240)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
