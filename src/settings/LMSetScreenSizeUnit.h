#pragma once
// The device screen of a model and the scale at which the main window previews it.

#include <cmath>

class TLMSetScreenSize {
public:
    TLMSetScreenSize() = default;
    virtual ~TLMSetScreenSize() = default;

    int Width = 240;
    int Height = 120;
    float Scale = 2.0f;

    // The preview (and largest sampling area): each side times Scale, rounded to nearest.
    int ScaledWidth() const { return int(std::lround(double(Width) * double(Scale))); }
    int ScaledHeight() const { return int(std::lround(double(Height) * double(Scale))); }
};

class TLMSetSCreenSize_LM75 : public TLMSetScreenSize {
public:
    TLMSetSCreenSize_LM75() {
        Width = 320;
        Height = 240;
        Scale = 1.5f;
    }
};
