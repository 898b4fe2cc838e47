// Drawing speed of the Flash player: one frame of a busy 240x120 and 550x400 movie
// (shapes with solid, gradient and bitmap fills, outlines, curves, glyph text and
// sprites, everything moving each frame). The goal is at least ten times the movie's
// frame rate on one core; the "x_rate" counter is frames drawn per second divided by
// the movie's own rate.

#include "platform/swf/SwfMovie.h"
#include "platform/swf/SwfPlayer.h"
#include "swf/SwfTestWriter.h"

#include <QGuiApplication>
#include <QImage>

#include <benchmark/benchmark.h>

#include <cmath>

using namespace omm::swftest;

namespace {

constexpr double MovieRate = 12;

// A movie of `shapes` characters spread over the stage that move a little on each of
// its 24 frames.
std::shared_ptr<const omm::swf::SwfMovie> BusyMovie(int width, int height, int shapes) {
    SwfTestWriter w(width, height, MovieRate);
    w.Background(0xF0F0F0);
    std::vector<uint32_t> pixels(16 * 16);
    for (int i = 0; i < 256; ++i)
        pixels[static_cast<size_t>(i)] = 0xFF000000u | static_cast<uint32_t>((i * 997) & 0xFFFFFF);
    uint16_t bitmap = w.BitsLossless(16, 16, pixels);
    uint16_t font = w.Font("Boxes", "ABCDEFGH");
    std::vector<uint16_t> ids;
    for (int i = 0; i < 8; ++i) {
        ShapeBuilder s;
        uint32_t colour = 0x20000000u * static_cast<uint32_t>(i + 1) | 0x00804000u | 0xC0u;
        if (i % 4 == 1) {
            Fill g{Fill::Linear};
            g.stops = {{0, colour}, {255, 0x0000FFFF}};
            g.matrix = Matrix::Scale(0.02, 0.02);
            s.fills = {g};
        } else if (i % 4 == 2) {
            Fill g{Fill::Radial};
            g.stops = {{0, 0xFFFFFFFF}, {255, colour}};
            g.matrix = Matrix::Scale(0.02, 0.02);
            s.fills = {g};
        } else if (i % 4 == 3) {
            Fill b{Fill::Bitmap};
            b.bitmapId = bitmap;
            b.repeat = true;
            b.matrix = Matrix::Scale(20, 20, -300, -300);
            s.fills = {b};
        } else {
            s.fills = {Fill::Color(colour)};
        }
        s.lines = {{30, 0x202020FF}};
        // A rounded blob of curves and straight edges, about 30 pixels wide.
        s.MoveTo(-300, 0);
        s.Style(0, 1, 1);
        s.CurveTo(-300, -300, 0, -300);
        s.CurveTo(300, -300, 300, 0);
        s.LineTo(200, 300);
        s.LineTo(-200, 300);
        s.LineTo(-300, 0);
        ids.push_back(w.DefineShape(s));
    }
    ids.push_back(w.Text(font, "ABCDEFGH", "ABCDEFGH", -400, 100, 200, 0x000000FF, 110));
    uint16_t sprite = w.BeginSprite();
    w.Place(ids[0], 1);
    w.Place(ids[2], 2, Matrix::Translate(200, 0));
    w.ShowFrame();
    w.EndSprite();
    ids.push_back(sprite);

    auto place = [&](int frame, int i) {
        double angle = 0.05 * frame + i;
        double scale = 0.6 + 0.4 * std::abs(std::sin(angle));
        int32_t x = static_cast<int32_t>((i * 7919 % width) * Twips + 200 * std::cos(angle));
        int32_t y = static_cast<int32_t>((i * 104729 % height) * Twips + 200 * std::sin(angle));
        return Matrix{scale * std::cos(angle),
                      scale * std::cos(angle),
                      scale * std::sin(angle),
                      -scale * std::sin(angle),
                      x,
                      y};
    };
    for (int i = 0; i < shapes; ++i)
        w.Place(ids[static_cast<size_t>(i) % ids.size()], static_cast<uint16_t>(i + 1),
                place(0, i));
    w.ShowFrame();
    for (int frame = 1; frame < 24; ++frame) {
        for (int i = 0; i < shapes; ++i)
            w.Move(static_cast<uint16_t>(i + 1), place(frame, i));
        w.ShowFrame();
    }
    std::string error;
    return omm::swf::SwfMovie::FromBytes(w.Bytes(), "busy.swf", error);
}

void RenderFrames(benchmark::State& state, int width, int height) {
    auto movie = BusyMovie(width, height, static_cast<int>(state.range(0)));
    omm::swf::SwfPlayer player;
    player.SetAutoPlay(true);
    player.SetMovieData(movie, "busy.swf");
    QImage target(width, height, QImage::Format_ARGB32_Premultiplied);
    for (auto _ : state) {
        player.AdvanceFrame();
        player.Paint(target, {});
        benchmark::DoNotOptimize(target.constBits());
    }
    state.counters["fps"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
    state.counters["x_rate"] = benchmark::Counter(
        static_cast<double>(state.iterations()) / MovieRate, benchmark::Counter::kIsRate);
}

void BM_Render240x120(benchmark::State& state) {
    RenderFrames(state, 240, 120);
}
void BM_Render550x400(benchmark::State& state) {
    RenderFrames(state, 550, 400);
}

} // namespace

// Qt may hand parts of a bitmap fill to helper threads: the process's CPU time counts
// them too, so the rates are what one core achieves.
BENCHMARK(BM_Render240x120)->Arg(100)->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime();
BENCHMARK(BM_Render550x400)
    ->Arg(100)
    ->Arg(400)
    ->Unit(benchmark::kMillisecond)
    ->MeasureProcessCPUTime();

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
