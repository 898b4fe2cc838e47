#pragma once
// Switching the current device model.

#include "core/LMSetGUIUnit.h"

#include <memory>
#include <string>

class TPublicConst;

class TLMSetControl {
public:
    // Target: the holder whose model set is switched; null means PublicRoot's, looked up
    // on every call (nothing happens while there is no root).
    explicit TLMSetControl(TPublicConst* Target = nullptr);
    ~TLMSetControl();

    std::unique_ptr<TLMSetGUI> GUI;

    // Makes the named model current (letter case ignored). An unknown name changes
    // nothing; the current class keeps its set, profile and file list; any other model
    // replaces the set whole (fresh profile with class defaults) and resizes the window.
    void SetModel(const std::string& Name);

    TPublicConst* Target() const;

private:
    TPublicConst* Target_;
};
