#pragma once
// The one interface through which long operations report what they do. The GUI's
// status bar and the command line's progress bar implement it; engine classes take a
// reference to it and never know which one they talk to. All calls come from the thread
// that owns the sink (the GUI or main thread).

#include <string>

class TProgressSink {
public:
    virtual ~TProgressSink() = default;

    // Starts a progress display with Text as its caption (position 0 of 100).
    virtual void BeginProgress(const std::string& Text) = 0;
    // Position >= 0 sets the bar; a negative Position advances it by one step (capped at
    // 100). A non-empty Text replaces the caption.
    virtual void SetProgress(int Position, const std::string& Text) = 0;
    // Ends the progress display.
    virtual void EndProgress() = 0;
    // A status message of the sampling side.
    virtual void ShowStatus(const std::string& Text, bool AutoRestore) = 0;
};

// A sink that shows nothing; for callers and tests that do not watch progress.
class TNullProgressSink : public TProgressSink {
public:
    void BeginProgress(const std::string&) override {}
    void SetProgress(int, const std::string&) override {}
    void EndProgress() override {}
    void ShowStatus(const std::string&, bool) override {}
};
