// Writes a seed corpus for the movie fuzzer: small movies that reach every part of the
// reader, the timeline and the renderer, in all three compressions.
//   swf_fuzz_seeds DIR

#include "swf/SwfTestWriter.h"

#include <cstdio>
#include <functional>
#include <string>

using namespace omm::swftest;

namespace {

constexpr uint32_t Red = 0xFF0000FF, Blue = 0x0000FFFF;

void Shapes(SwfTestWriter& w) {
    ShapeBuilder s;
    Fill linear{Fill::Linear};
    linear.stops = {{0, Red}, {255, Blue}};
    linear.matrix = Matrix::Scale(0.05, 0.05, 400, 400);
    Fill radial{Fill::Radial};
    radial.stops = {{0, 0x00FF00FF}, {128, Red}, {255, 0x00000080}};
    s.fills = {Fill::Color(Red), linear, radial};
    s.lines = {{40, 0x000000FF}};
    s.Rect(0, 0, 800, 800, 1, 1);
    s.Rect(200, 200, 400, 400, 2);
    s.MoveTo(100, 100);
    s.Style(0, 3, 1);
    s.CurveTo(500, 0, 700, 300);
    s.LineTo(100, 100);
    uint16_t id = w.DefineShape(s, 3);
    ColorTransform cx;
    cx.mult[3] = 0.5;
    cx.add[0] = 40;
    w.Place(id, 1, Matrix{1.5, 0.5, 0.2, -0.3, 100, 50}, &cx);
    uint16_t mask = w.Rect(0, 0, 500, 500, Red, 1);
    w.Place(mask, 2, {}, nullptr, -1, 5);
    w.Place(w.Rect(0, 0, 900, 900, Blue, 2), 3);
    w.ShowFrame();
}

void Bitmaps(SwfTestWriter& w) {
    std::vector<uint32_t> pixels;
    for (int i = 0; i < 16; ++i)
        pixels.push_back(0xFF000000u | (i * 0x0F0F0Fu));
    uint16_t a = w.BitsLossless(4, 4, pixels);
    uint16_t b = w.BitsLossless(4, 4, pixels, true);
    int depth = 1;
    for (uint16_t id : {a, b}) {
        for (bool repeat : {false, true}) {
            ShapeBuilder s;
            Fill f{Fill::Bitmap};
            f.bitmapId = id;
            f.repeat = repeat;
            f.matrix = Matrix::Scale(20, 20, 0, 0);
            s.fills = {f};
            s.Rect(0, 0, 200 * depth, 200, 1);
            w.Place(w.DefineShape(s), static_cast<uint16_t>(depth++));
        }
    }
    w.ShowFrame();
}

void Text(SwfTestWriter& w) {
    uint16_t font = w.Font("Seed", "ABC");
    uint16_t device = w.Font("Sans", "XYZ", false);
    w.Place(w.Text(font, "CAB", "ABC", 20, 300, 240, Red, 200), 1);
    w.Place(w.Text(device, "XYZ", "XYZ", 20, 600, 240, Blue, 200), 2);
    w.Place(w.EditText("<b>Hello</b>&amp;", 0, 700, 2000, 400, 240, Red, font, true, true), 3);
    w.ShowFrame();
}

void SpritesAndActions(SwfTestWriter& w) {
    uint16_t rect = w.Rect(0, 0, 200, 200, Red);
    uint16_t morph = w.MorphRect(0, 0, 100, 100, Red, 300, 300, 200, 200, Blue);
    uint16_t sprite = w.BeginSprite();
    w.Place(rect, 1);
    w.Place(morph, 2, {}, nullptr, 0);
    w.ShowFrame();
    w.Move(2, Matrix::Translate(40, 40), 30000);
    w.DoAction(act::Join({act::PrevFrame(), act::Play()}));
    w.ShowFrame();
    w.EndSprite();
    w.Place(sprite, 1, {}, nullptr, -1, 0, "clip");
    w.Label("start");
    w.ShowFrame();
    w.DoAction(act::Join(
        {act::SetTarget("clip"), act::Stop(), act::SetTarget(""), act::GotoFrame2(1.0, true)}));
    w.ShowFrame();
    w.DoAction(act::Join({act::GotoLabel("start"), act::Jump(0), act::NextFrame()}));
    w.ShowFrame();
}

void Sound(SwfTestWriter& w) {
    uint16_t sound = w.DefineSound(3, 1, true, false, 4, {1, 0, 2, 0, 3, 0, 4, 0});
    w.SoundStreamHead(3, 1, true, false, 2);
    w.StartSound(sound);
    w.SoundStreamBlock({0, 1, 0, 1});
    w.ShowFrame();
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: swf_fuzz_seeds DIR\n");
        return 2;
    }
    std::string dir = argv[1];
    const std::pair<const char*, std::function<void(SwfTestWriter&)>> movies[] = {
        {"shapes", Shapes},
        {"bitmaps", Bitmaps},
        {"text", Text},
        {"sprites", SpritesAndActions},
        {"sound", Sound}};
    const std::pair<const char*, SwfTestWriter::Compression> kinds[] = {
        {"fws", SwfTestWriter::Compression::None},
        {"cws", SwfTestWriter::Compression::Zlib},
        {"zws", SwfTestWriter::Compression::Lzma}};
    int written = 0;
    for (const auto& [name, build] : movies) {
        SwfTestWriter w(48, 48, 12);
        build(w);
        for (const auto& [kind, compression] : kinds) {
            w.Save(dir + "/" + name + "_" + kind + ".swf", compression);
            ++written;
        }
    }
    std::printf("%d seed movies written to %s\n", written, dir.c_str());
    return 0;
}
