// The size estimates that drive the key/delta/full decision must count exactly what the
// delta and full encoders then write.

#include <gtest/gtest.h>

#include <type_traits>
#include <utility>

#include "codec/CodecPictures.h"
#include "codec/uGraphicCompress_LM41.h"
#include "codec/uGraphicCompress_LM52.h"

namespace {

// Opens the protected estimates for the test.
template <class TCodec> class Probe : public TCodec {
public:
    int Delta(const TBitmap& Prev, const TBitmap& Cur) {
        return this->DeltaSize(Prev.ScanLine(0), Cur.ScanLine(0));
    }
    int Full(const TBitmap& Cur) { return this->FullSize(Cur.ScanLine(0)); }
};

template <class TCodec> std::pair<int, int> Tolerance(const TCodec& C) {
    if constexpr (std::is_same_v<TCodec, Probe<TGraphicCompress_LM52>>)
        return {C.DeltaTolerance().Big, C.FullTolerance().Small};
    else
        return {0, 0};
}

template <class TCodec> void CheckEstimates(TCodecKind Kind, int Kind2) {
    Probe<TCodec> C;
    TMemoryOutStream Out;
    C.Stream = &Out;
    TBitmap Prev;
    int Deltas = 0, Fulls = 0;
    for (int I = 0; I < 60; ++I) {
        const TBitmap Cur = Kind2 == 0 ? codectest::MovingBlocks(144, 112, I)
                                       : (I % 4 == 0 ? codectest::Noise(144, 112, uint32_t(I))
                                                     : codectest::MovingBlocks(144, 112, I));
        int DeltaEstimate = -1, FullEstimate = -1;
        if (I > 0) {
            // Estimates taken with the tolerances in force before the frame is decided.
            DeltaEstimate = C.Delta(Prev, Cur);
            FullEstimate = C.Full(Cur);
        }
        const auto Before = Tolerance(C);
        const uint64_t Start = Out.Size();
        C.CompressFrame(Cur, "");
        const auto Record = std::span(Out.Bytes()).subspan(size_t(Start));
        ASSERT_EQ(FrameRecordLength(Kind, Record), Record.size());
        const int Payload = int(Record.size()) - 11;
        const uint8_t Type = Record[8];
        // LM52 tolerances can change between estimate and encoding; where they stay,
        // the counts must agree.
        const bool Same = Before == Tolerance(C);
        if (Type == 1 && Payload > 0) {
            ++Deltas;
            if (Same) {
                EXPECT_EQ(Payload, DeltaEstimate) << "frame " << I;
            }
        } else if (Type == 2) {
            ++Fulls;
            if (Same) {
                EXPECT_EQ(Payload, FullEstimate) << "frame " << I;
            }
        }
        Prev = Cur;
    }
    EXPECT_GT(Deltas, 10);
    if (Kind2 == 1) {
        EXPECT_GT(Fulls, 0);
    }
}

TEST(Estimates, LM41CountsWhatItWrites) {
    CheckEstimates<TGraphicCompress_LM41>(TCodecKind::LM41, 0);
    CheckEstimates<TGraphicCompress_LM41>(TCodecKind::LM41, 1);
}

TEST(Estimates, LM52CountsWhatItWrites) {
    CheckEstimates<TGraphicCompress_LM52>(TCodecKind::LM52, 0);
    CheckEstimates<TGraphicCompress_LM52>(TCodecKind::LM52, 1);
}

} // namespace
