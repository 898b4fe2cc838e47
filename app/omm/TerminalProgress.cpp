#include "TerminalProgress.h"

#include <algorithm>
#include <cmath>
#include <unistd.h>

namespace omm::cli {

TerminalProgress::TerminalProgress(FILE* Out, bool Interactive)
    : Out_(Out), Interactive_(Interactive) {
    Redraw_.setInterval(250);
    QObject::connect(&Redraw_, &QTimer::timeout, [this] { Draw(false); });
}

TerminalProgress::~TerminalProgress() {
    if (Active_ && Interactive_)
        ClearLine();
}

bool TerminalProgress::IsTerminal(FILE* Stream) {
    return ::isatty(::fileno(Stream)) == 1;
}

std::string TerminalProgress::FormatDuration(double Seconds) {
    long s = std::max(0L, long(std::lround(Seconds)));
    char text[32];
    if (s >= 3600)
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    else
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    return text;
}

void TerminalProgress::BeginProgress(const std::string& Text) {
    Stage_ = Text;
    Position_ = 0;
    LastQuarter_ = -1;
    Active_ = true;
    Started_ = std::chrono::steady_clock::now();
    if (Interactive_)
        Redraw_.start();
    Draw(true);
}

void TerminalProgress::SetProgress(int Position, const std::string& Text) {
    bool newStage = !Text.empty() && Text != Stage_;
    if (newStage) {
        Stage_ = Text;
        Started_ = std::chrono::steady_clock::now();
        LastQuarter_ = -1;
    }
    if (Position >= 0)
        Position_ = std::min(Position, 100);
    else
        Position_ = Position_ < 100 ? Position_ + 1 : 100;
    Draw(newStage);
}

void TerminalProgress::EndProgress() {
    Redraw_.stop();
    if (Interactive_ && Active_)
        ClearLine();
    Active_ = false;
    Counter = nullptr;
    Units.clear();
    TotalUnits = 0;
}

void TerminalProgress::ShowStatus(const std::string& Text, bool) {
    if (!Text.empty())
        Line(Text);
}

void TerminalProgress::Line(const std::string& Text) {
    if (Interactive_)
        ClearLine();
    std::fprintf(Out_, "%s\n", Text.c_str());
    std::fflush(Out_);
    if (Interactive_ && Active_)
        Draw(true);
}

void TerminalProgress::ClearLine() {
    if (DrawnWidth_ > 0) {
        std::fputs("\r\033[K", Out_);
        std::fflush(Out_);
        DrawnWidth_ = 0;
    }
}

void TerminalProgress::Draw(bool Force) {
    if (!Active_)
        return;
    long done = Position_, total = 100;
    bool counted = false; // in Units rather than percent
    if (Counter) {
        auto [d, t] = Counter();
        if (t > 0) {
            done = std::min(d, t);
            total = t;
            counted = !Units.empty();
        }
    } else if (TotalUnits > 0) {
        done = long(std::lround(double(Position_) * double(TotalUnits) / 100.0));
        total = TotalUnits;
        counted = !Units.empty();
    }
    const int percent = total > 0 ? int(done * 100 / total) : 0;
    const double elapsed =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - Started_).count();
    const double rate = elapsed > 0 ? double(done) / elapsed : 0;
    std::string eta = "--:--";
    if (rate > 0 && done > 0)
        eta = FormatDuration(double(total - done) / rate);

    char figures[160];
    if (!counted)
        std::snprintf(figures, sizeof figures, "%3d%%  %5.1f %%/s  ETA %s", percent, rate,
                      eta.c_str());
    else
        std::snprintf(figures, sizeof figures, "%3d%%  %ld/%ld %s  %.1f %s/s  ETA %s", percent,
                      done, total, Units.c_str(), rate, Units.c_str(), eta.c_str());

    if (Interactive_) {
        constexpr int BarWidth = 24;
        int filled = percent * BarWidth / 100;
        std::string line;
        if (!Label_.empty())
            line.append(Label_).append("  ");
        line.append(Stage_).append(" [");
        line.append(size_t(filled), '#').append(size_t(BarWidth - filled), '.');
        line.append("] ").append(figures);
        std::fprintf(Out_, "\r\033[K%s", line.c_str());
        std::fflush(Out_);
        DrawnWidth_ = line.size();
        return;
    }
    // Plain output: the start of a stage and each quarter of it, nothing in between.
    int quarter = percent / 25;
    if (!Force && quarter == LastQuarter_)
        return;
    if (!Force && Counter == nullptr && !counted && Position_ == 0)
        return;
    LastQuarter_ = quarter;
    std::string line;
    if (!Label_.empty())
        line.append(Label_).append("  ");
    line.append(Stage_);
    if (done > 0) // a stage that just began has no figures worth a line yet
        line.append(" ").append(figures);
    std::fprintf(Out_, "%s\n", line.c_str());
    std::fflush(Out_);
}

} // namespace omm::cli
