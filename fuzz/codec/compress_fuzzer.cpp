// libFuzzer target: the delta codecs (LM41, LM52) checked by decoding what they write.
// The input gives the codec, the frame size (up to 255 x 255, so the largest block
// numbers and the refused sizes are reached), the quality, a first picture and the
// pixel edits that turn each picture into the next. Every record must decode; the
// lossless parts must show exactly what was encoded:
//   LM41  key and full frames show every pixel's grey level (the odd last pixel keeps
//         what was shown), delta frames change exactly the pixels whose level changed
//         against the previous source picture, unchanged frames change nothing;
//   LM52  key frames show every pixel's colour word; full frames show runs that keep the
//         colour of their first pixel while the following pixels stay similar to it;
//         delta frames change exactly the pixels that are not similar to the previous
//         source picture; all under the tolerances in use for that frame.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <span>
#include <vector>

#include "codec/uGraphicCompress_LM41.h"
#include "codec/uGraphicCompress_LM52.h"
#include "codec/uGraphicDecode.h"

namespace {

struct TInput {
    const uint8_t* Data;
    size_t Size;
    size_t Pos = 0;
    uint8_t Next() { return Pos < Size ? Data[Pos++] : 0; }
    bool More() const { return Pos < Size; }
};

uint8_t Widen5(unsigned V) {
    return uint8_t((V << 3) | (V >> 2));
}

[[noreturn]] void Fail() {
    std::abort();
}

void CheckLM41(const TBitmap& Shown, TBitmap& Expected, const TBitmap* PrevSource,
               const TBitmap& Source, const TDecodedFrame& Frame) {
    const int Count = Source.Width() * Source.Height();
    for (int N = 0; N < Count; ++N) {
        const uint8_t* S = Source.Data() + size_t(N) * 3;
        const uint8_t Level = TGraphicCompress_LM41::GreyLevel(S[0], S[1], S[2]);
        bool Set = false;
        if (Frame.Type == TFrameType::Key || Frame.Type == TFrameType::Full) {
            Set = !(Count % 2 == 1 && N == Count - 1);
        } else if (!Frame.Unchanged) {
            const uint8_t* P = PrevSource->Data() + size_t(N) * 3;
            Set = TGraphicCompress_LM41::GreyLevel(P[0], P[1], P[2]) != Level;
        }
        uint8_t* E = Expected.Data() + size_t(N) * 3;
        if (Set)
            E[0] = E[1] = E[2] = uint8_t(Level * 17);
    }
    if (!(Shown == Expected))
        Fail();
}

void PutWord(uint8_t* P, uint16_t Word) {
    P[0] = Widen5(Word & 31);
    P[1] = Widen5((Word >> 6) & 31);
    P[2] = Widen5(Word >> 11);
}

uint16_t WordOf(const uint8_t* P) {
    return TGraphicCompress_LM52::ColourWord(P[0], P[1], P[2]);
}

void CheckLM52(const TBitmap& Shown, TBitmap& Expected, const TBitmap* PrevSource,
               const TBitmap& Source, const TDecodedFrame& Frame,
               TGraphicCompress_LM52::TTolerance Tolerance) {
    const size_t Count = size_t(Source.Width()) * size_t(Source.Height());
    const uint8_t* Reference = Source.Data();
    for (size_t N = 0; N < Count; ++N) {
        const uint8_t* S = Source.Data() + N * 3;
        uint8_t* E = Expected.Data() + N * 3;
        if (Frame.Type == TFrameType::Key) {
            PutWord(E, WordOf(S));
        } else if (Frame.Type == TFrameType::Full) {
            if (!TGraphicCompress_LM52::Similar(S, Reference, Tolerance))
                Reference = S;
            PutWord(E, WordOf(Reference));
        } else if (!Frame.Unchanged) {
            if (!TGraphicCompress_LM52::Similar(PrevSource->Data() + N * 3, S, Tolerance))
                PutWord(E, WordOf(S));
        }
    }
    if (!(Shown == Expected))
        Fail();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* Data, size_t Size) {
    if (Size < 5)
        return 0;
    TInput In{Data, Size};
    const bool LM41 = In.Next() % 2 == 0;
    const int W = 1 + In.Next() % 255;
    const int H = 1 + In.Next() % 255;
    const int Quality = 1 + In.Next() % 100;
    const int Frames = 1 + In.Next() % 6;
    const int Count = W * H;

    // First picture: the following bytes, repeated to fill it.
    std::vector<TBitmap> Pictures;
    Pictures.emplace_back(W, H);
    {
        const size_t Start = In.Pos;
        const size_t Avail = Size - Start;
        const size_t Take = std::min(Avail, Pictures[0].DataSize());
        for (size_t I = 0; I < Pictures[0].DataSize(); ++I)
            Pictures[0].Data()[I] = Avail ? Data[Start + I % Avail] : 0;
        In.Pos += Take;
    }
    // Later pictures: edits of single channel bytes at pixel indices.
    for (int F = 1; F < Frames; ++F) {
        TBitmap Next = Pictures.back();
        const int Edits = In.Next();
        for (int E = 0; E < Edits && In.More(); ++E) {
            const int N = ((In.Next() << 8) | In.Next()) % Count;
            const int Channel = In.Next() % 3;
            Next.Data()[size_t(N) * 3 + size_t(Channel)] = In.Next();
        }
        Pictures.push_back(std::move(Next));
    }

    TMemoryOutStream Out;
    std::unique_ptr<TGraphicCompress> Compressor;
    if (LM41)
        Compressor = std::make_unique<TGraphicCompress_LM41>();
    else
        Compressor = std::make_unique<TGraphicCompress_LM52>();
    Compressor->SetQuality(Quality);
    Compressor->Stream = &Out;
    std::vector<TGraphicCompress_LM52::TTolerance> Tolerances;
    try {
        for (const TBitmap& P : Pictures) {
            Compressor->CompressFrame(P, "fuzz.bmp");
            // The tolerances were adapted before the frame was encoded: these are its own.
            if (!LM41)
                Tolerances.push_back(
                    static_cast<TGraphicCompress_LM52&>(*Compressor).DeltaTolerance());
        }
    } catch (const TCodecError&) {
        if (Count <= TGraphicCompress::MaxFramePixels)
            Fail(); // only frames the delta records cannot address are refused
        if (Out.Size() != 0)
            Fail(); // and nothing is written for them
        return 0;
    }
    if (Count > TGraphicCompress::MaxFramePixels)
        Fail();

    const std::vector<uint8_t>& Bytes = Out.Bytes();
    TGraphicDecoder Decoder(LM41 ? TCodecKind::LM41 : TCodecKind::LM52, W, H);
    TBitmap Expected(W, H);
    size_t Pos = 0;
    for (size_t F = 0; F < Pictures.size(); ++F) {
        size_t Length = 0;
        try {
            Length = Decoder.DecodeNext(std::span<const uint8_t>(Bytes).subspan(Pos));
        } catch (const TDecodeError&) {
            Fail(); // the decoder refuses what the encoder wrote
        }
        if (Length == 0)
            Fail();
        const TDecodedFrame& Frame = Decoder.LastFrame();
        if ((F % Compressor->KeyInterval == 0) != (Frame.Type == TFrameType::Key))
            Fail();
        if (LM41)
            CheckLM41(Decoder.Current(), Expected, F ? &Pictures[F - 1] : nullptr, Pictures[F],
                      Frame);
        else
            CheckLM52(Decoder.Current(), Expected, F ? &Pictures[F - 1] : nullptr, Pictures[F],
                      Frame, Tolerances[F]);
        Pos += Length;
    }
    if (Pos != Bytes.size())
        Fail(); // record lengths chain to the end of what was written
    return 0;
}
