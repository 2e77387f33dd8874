#pragma once

#include <QString>
#include <QtGlobal>

#include <chrono>
#include <optional>

// What one command of a run did, beside the text of its result block: when it
// started and ended, how it ended, and how much it printed. A plain value: the
// command fills it in, whoever shows the run reads it.
struct CommandRecord
{
    using Clock = std::chrono::steady_clock;

    enum class End
    {
        // Not ended yet.
        Running,
        // It exited by itself, with exitStatus.
        Exited,
        // A signal that the runner did not send ended it.
        Signalled,
        // It was still running at its deadline and the runner stopped it; signal
        // says with what, when it ended by it.
        StoppedAtDeadline,
        // It could not be started; reason says why.
        CouldNotStart,
        // It was never to be started (a FIFO among the agent's logs); reason says why.
        NotRun,
    };

    End end = End::Running;
    // When it was started (after any wait for descriptors) and when it ended;
    // absent for a command that never started or has not ended.
    std::optional<Clock::time_point> startedAt;
    std::optional<Clock::time_point> endedAt;
    std::optional<int> exitStatus;
    std::optional<int> signal;
    // Why it could not start or was not run: the closing line of its block.
    QString reason;
    // The bytes it printed on each stream, and those that are not UTF-8 and so
    // are shown as \xHH in its block.
    qint64 stdOutBytes = 0;
    qint64 stdErrBytes = 0;
    qint64 stdOutEscapedBytes = 0;
    qint64 stdErrEscapedBytes = 0;
    // Some of its output went to a spool file on disk.
    bool spilled = false;
};
