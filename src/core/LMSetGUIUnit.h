#pragma once
// The window side of a model switch. The engine works out the preview sizes before and
// after the switch and the new window geometry; the main window carries them out through
// TMainWindowPort, which the GUI implements. Without a port only the sizes are computed.

#include <string>

class TLMSetControl;

struct TWindowRect {
    int Left = 0;
    int Top = 0;
    int Width = 0;
    int Height = 0;
};

class TMainWindowPort {
public:
    virtual ~TMainWindowPort() = default;
    virtual TWindowRect WindowRect() const = 0;
    virtual void SetWindowRect(const TWindowRect& Rect) = 0;
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    virtual bool WindowVisible() const = 0;
    virtual bool FlashCanFocus() const = 0;
    virtual bool FlashVisible() const = 0;
    // Hides the Flash control, shows it again, repaints and focuses it.
    virtual void ReshowFlash() = 0;
    virtual void SetCaption(const std::string& Caption) = 0;
    // Binds the Flash wrapper to the window's Flash control.
    virtual void BindFlash() = 0;
};

class TLMSetGUI {
public:
    explicit TLMSetGUI(TLMSetControl& Control) : Control_(Control) {}

    int OldWidth = 240;
    int OldHeight = 120;
    int NewWidth = 240;
    int NewHeight = 120;
    TMainWindowPort* Window = nullptr; // not owned

    // The current set's preview size into NewWidth/NewHeight (AsNew) or OldWidth/OldHeight.
    void CalcScreenSize(bool AsNew);
    // Grows the window by the preview size change and centres it; then RefreshFlash.
    void ApplyScreenChange();
    // Start-up: caption Title + " " + Version, Flash binding, LoadSettings.
    void InitMainWindow();
    void RefreshFlash();

private:
    TLMSetControl& Control_;
};
