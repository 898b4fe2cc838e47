#include "codec/uThreadTask.h"

#include <exception>

namespace {

// Runs one step of the thread body; an error is recorded on the task, never let out of
// the thread (that would end the process).
template <typename Step> bool Guarded(TThreadTask& Task, Step&& step) {
    try {
        step();
        return true;
    } catch (const std::exception& e) {
        Task.Failed = 1;
        if (Task.FailureText.empty())
            Task.FailureText = e.what();
    } catch (...) {
        Task.Failed = 1;
        if (Task.FailureText.empty())
            Task.FailureText = "unknown error";
    }
    return false;
}

} // namespace

void TThreadTask::run() {
    // A failing DoWork is reported through Failed rather than dropped: a task that
    // stopped half-way must not pass for a finished one.
    if (Guarded(*this, [this] { BeforeWork(); })) {
        Guarded(*this, [this] { DoWork(); });
        Guarded(*this, [this] { AfterWork(); });
    }
    MarkEnded();
}

void TThreadTask::MarkEnded() {
    if (!RunningList)
        return;
    std::lock_guard<std::mutex> guard(RunningList->Lock);
    for (auto& record : RunningList->Records) {
        if (record.ThreadHandle == this) {
            record.Running = 0;
            record.Failed = Failed;
            record.FailureText = FailureText;
            break;
        }
    }
}
