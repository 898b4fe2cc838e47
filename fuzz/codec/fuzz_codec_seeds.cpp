// Writes a starting corpus for the codec fuzzers into three folders below the given
// one: bmp/ (bitmap files of 24 bits per pixel in odd and even widths), record/ (frame
// streams of each codec: key, delta, full and unchanged records, with their end mark)
// and compress/ (inputs of compress_fuzzer).

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "FuzzRecordInput.h"
#include "codec/uGraphicCompressFactory.h"
#include "codec/uGraphicCompress_LM52A.h"

namespace fs = std::filesystem;

namespace {

void Save(const fs::path& Name, const std::vector<uint8_t>& Bytes) {
    std::ofstream Out(Name, std::ios::binary);
    Out.write(reinterpret_cast<const char*>(Bytes.data()), std::streamsize(Bytes.size()));
    if (!Out)
        throw std::runtime_error(Name.string() + ": cannot be written");
}

TBitmap Picture(int W, int H, int Frame) {
    TBitmap B(W, H);
    for (int Y = 0; Y < H; ++Y)
        for (int X = 0; X < W; ++X) {
            uint8_t* P = B.ScanLine(Y) + X * 3;
            const bool Box = X >= Frame && X < Frame + W / 3 && Y >= H / 4 && Y < H / 2;
            P[0] = Box ? 250 : uint8_t(X * 255 / W);
            P[1] = Box ? 20 : uint8_t(Y * 255 / H);
            P[2] = Box ? 40 : uint8_t((X + Y) * 4);
        }
    return B;
}

std::vector<uint8_t> Stream(const char* Model, TCodecKind Kind, int W, int H, int Frames) {
    auto Compressor = CreateGraphicCompress(Model);
    Compressor->SetQuality(80);
    TMemoryOutStream Out;
    Compressor->Stream = &Out;
    TBitmap Last;
    for (int F = 0; F < Frames; ++F) {
        // Frame 2 repeats frame 1, so an unchanged record is among them.
        if (F != 2)
            Last = Picture(W, H, F * 2);
        Compressor->CompressFrame(Last, "");
    }
    if (Kind == TCodecKind::LM63)
        Out.WriteU32(0);
    else
        Out.WriteU16(0x05FF);
    std::vector<uint8_t> Bytes(fuzzcodec::PrefixSize);
    fuzzcodec::WritePrefix(Bytes.data(), Kind, W, H);
    Bytes.insert(Bytes.end(), Out.Bytes().begin(), Out.Bytes().end());
    return Bytes;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS-FOLDER\n", argv[0]);
        return 2;
    }
    try {
        const fs::path Root(argv[1]);
        for (const char* Sub : {"bmp", "record", "compress"})
            fs::create_directories(Root / Sub);

        const int Sizes[][2] = {{8, 6}, {7, 5}, {17, 3}};
        for (const auto& S : Sizes) {
            const TBitmap B = Picture(S[0], S[1], 1);
            Save(Root / "bmp" /
                     ("seed_" + std::to_string(S[0]) + "x" + std::to_string(S[1]) + ".bmp"),
                 B.SaveToBytes());
        }

        Save(Root / "record" / "lm41.bin", Stream("LM41", TCodecKind::LM41, 40, 30, 5));
        Save(Root / "record" / "lm52.bin", Stream("LM52", TCodecKind::LM52, 40, 30, 5));
        Save(Root / "record" / "lm52_wide.bin", Stream("LM52", TCodecKind::LM52, 160, 100, 3));
        Save(Root / "record" / "lm63.bin", Stream("LM63", TCodecKind::LM63, 16, 16, 2));

        // compress_fuzzer: codec, width - 1, height - 1, quality - 1, frames - 1, the first
        // picture, then per frame an edit count and (index hi, index lo, channel, value).
        for (uint8_t Codec : {0, 1}) {
            std::vector<uint8_t> In = {Codec, 39, 29, 79, 3};
            const TBitmap First = Picture(40, 30, 0);
            In.insert(In.end(), First.Data(), First.Data() + First.DataSize());
            const uint8_t Edits[][4] = {{0, 10, 0, 255}, {1, 44, 1, 0}, {2, 0, 2, 128}};
            for (int F = 1; F < 4; ++F) {
                In.push_back(uint8_t(F));
                for (int E = 0; E < F; ++E)
                    In.insert(In.end(), Edits[E], Edits[E] + 4);
            }
            Save(Root / "compress" / ("seed_" + std::to_string(Codec) + ".bin"), In);
        }
    } catch (const std::exception& E) {
        std::fprintf(stderr, "%s\n", E.what());
        return 1;
    }
    return 0;
}
