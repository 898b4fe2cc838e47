#pragma once
// Scales a frame to the device's frame size with a separable Lanczos filter of radius 3
// and integer weights (a horizontal pass into a work picture of the source height, then
// a vertical pass), leaving it in 24 bits per pixel.
//
// Weights are L(x) * 256 (reduced pictures: L(x * s) * s * 256), computed in single
// precision and rounded half to even; zero weights are skipped; source indices outside
// the line are mirrored (-j, 2n - 1 - j). Each channel is sum / total, truncated, or
// sum >> 8 when the weights cancel, clamped to 0..255.
//
// A source of width or height 1 has no scale factor; such a line is replicated (every
// destination pixel takes the single source pixel). Mirrored indices that would still
// fall outside a very short line are clamped to it.
//
// An instance keeps the weight tables of the last size pairs it was used with, so
// scaling a run of same-sized frames builds them once. Instances are not shared between
// threads.

#include <cstdint>
#include <vector>

#include "codec/uBitmap.h"

class TGraphicStretch {
public:
    struct TContributor {
        int Pixel;  // index into the source line
        int Weight; // integer weight, 256 = 1.0
    };
    // sum / total for one destination index, by multiplication where that is exact.
    struct TDivider {
        int32_t Total = 0;
        bool Fast = false;  // Total > 0 and every sum stays below 2^23
        uint64_t Magic = 0; // ceil(2^40 / Total) when Fast
    };
    // Contributors of every destination index of one axis.
    struct TAxisWeights {
        int SourceLength = 0;
        int DestLength = 0;
        std::vector<int> Start; // DestLength + 1 offsets into List
        std::vector<TContributor> List;
        std::vector<TDivider> Divide; // per destination index
        // Every destination index takes its own source index alone at 256: the pass
        // along this axis would reproduce its input exactly, so it is left out.
        bool Identity = false;

        // The same weights as dense windows over the source line extended on both sides
        // with its mirrored pixels (PadLeft before, PadRight after): destination i reads
        // Taps values from extended position First[i] on. Zero weights fill the gaps, so
        // the sums are those of the contributor lists.
        int Taps = 0;
        int PadLeft = 0;
        int PadRight = 0;
        std::vector<int> First;
        std::vector<int16_t> Dense;      // DestLength x Taps
        std::vector<int> ExtendedSource; // source index of every extended position
    };

    // Converts Picture to 24 bits per pixel and scales it to NewWidth x NewHeight.
    void Stretch(TBitmap& Picture, uint16_t NewWidth, uint16_t NewHeight);

    // The weight table of one axis (exposed for tests and benchmarks).
    static TAxisWeights BuildWeights(int SourceLength, int DestLength);

    // The filter kernel, single precision.
    static float Lanczos3(float X);
    // A weight rounded to the nearest integer, halves to even.
    static int RoundWeight(float Weight);

private:
    const TAxisWeights& Weights(TAxisWeights& Cache, int SourceLength, int DestLength);

    TAxisWeights Horizontal_, Vertical_;
    TBitmap Work_;
    TBitmap Dest_;
    std::vector<int32_t> Sums_;
    std::vector<int16_t> Channels_; // the three channel arrays of the line being filtered
};
