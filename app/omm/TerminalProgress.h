#pragma once
// The command line's progress display. On a terminal: one line redrawn in place with the
// stage, a bar, the percentage, the rate and the time left. Otherwise (a log, a pipe):
// plain lines, one when a stage starts and one per quarter of it.

#include "core/uProgressSink.h"

#include <QTimer>

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>

namespace omm::cli {

class TerminalProgress : public TProgressSink {
public:
    // Out: where to draw (stderr by default). Interactive: redraw in place.
    explicit TerminalProgress(FILE* Out = stderr, bool Interactive = IsTerminal(stderr));
    ~TerminalProgress() override;

    void BeginProgress(const std::string& Text) override;
    void SetProgress(int Position, const std::string& Text) override;
    void EndProgress() override;
    void ShowStatus(const std::string& Text, bool AutoRestore) override;

    // Prefix of every line, e.g. "[2/5] clip.avi".
    void SetLabel(const std::string& Label) { Label_ = Label; }
    // When set, the display asks it for (done, total) units instead of trusting the
    // position, e.g. frames written so far by an external program.
    std::function<std::pair<long, long>()> Counter;
    // Name of the units the rate is given in ("frames"); empty: percent.
    std::string Units;
    // Total units of the stage for the rate of percentage-driven stages (0: percent).
    long TotalUnits = 0;

    // A line of its own (clears the bar first on a terminal).
    void Line(const std::string& Text);

    static bool IsTerminal(FILE* Stream);
    // "1:05" or "1:02:03".
    static std::string FormatDuration(double Seconds);

private:
    void Draw(bool Force);
    void ClearLine();

    FILE* Out_;
    bool Interactive_;
    bool Active_ = false;
    std::string Label_;
    std::string Stage_;
    int Position_ = 0;
    int LastQuarter_ = -1;
    std::chrono::steady_clock::time_point Started_;
    QTimer Redraw_;
    size_t DrawnWidth_ = 0;
};

} // namespace omm::cli
