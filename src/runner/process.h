#pragma once

#include "capturedstream.h"
#include "commandrecord.h"

#include <QObject>
#include <QProcess>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <optional>

class LaunchPool;

// One command of the battery: runs it with both output streams on pipes,
// collects what it prints while it runs, for the report to write. Its pool
// admits it and holds what its output shares with the others.
class Process : public QObject
{
    Q_OBJECT

public:
    // A command that has not ended by then is stopped, so one stalled trace or
    // transfer can never hold back the whole report. The slowest normal row, a
    // trace of 30 hops at 2 s per probe, stays well below it.
    static constexpr std::chrono::milliseconds defaultDeadline = std::chrono::seconds(300);
    static constexpr std::chrono::milliseconds killGrace = std::chrono::seconds(5);

    // The pool must outlive the command.
    explicit Process(LaunchPool &pool, QObject *parent = nullptr);
    ~Process() override;

    void start(const QString &launchPath, const QStringList &args,
               const std::optional<QString> &comment = std::nullopt);
    void buildDisplayName(const QString &launchPath, const QStringList &args,
                          const std::optional<QString> &comment);
    // Runs a command that the report names differently from its arguments.
    void startShownAs(const QString &displayName, const QString &launchPath,
                      const QStringList &args);
    // Starts nothing: ends from the event loop, its block closed by reason.
    void finishUnstarted(const QString &displayName, const QString &reason);
    // Its output holds other programs' command lines: what looks like a
    // password or token there is masked in both streams. Call before starting.
    void maskSecrets();
    bool isFinished() const { return finished; }

    // What the findings read: the name the report gives the command, the first
    // limit bytes of each stream (standard error ends with the runner's own
    // line, as in the block) and whether the command could not start at all.
    const QString &name() const { return displayName; }
    QByteArray stdOutHead(qsizetype limit) const { return stdOutData.head(limit); }
    QByteArray stdErrHead(qsizetype limit) const;
    // What its block is made of once it has ended: both streams whole, and
    // the runner's own line that closes standard error (why it did not run or
    // was stopped), if any.
    const CapturedStream &stdOutStream() const { return stdOutData; }
    const CapturedStream &stdErrStream() const { return stdErrData; }
    const QString &closingNote() const { return closingLine; }
    // When it started and ended, how, and how much it printed.
    CommandRecord record() const;

    // Test seam: shortens the deadline; call before start().
    void setDeadline(std::chrono::milliseconds deadline) { this->deadline = deadline; }

signals:
    // Emitted exactly once per started command, from the event loop, after
    // isFinished() has become true.
    void processTerminated(Process *process);

private:
    friend class LaunchPool;
    void launch(const QString &launchPath, const QStringList &args);
    // Starts the command now, as its pool admits it; false when the start
    // failed for want of descriptors or processes and it must wait in line.
    bool startNow();
    void stdOutNotification();
    void stdErrNotification();
    void terminatedNotification();
    void launchFailed();
    void deadlinePassed();
    void signalGroup(int signal);
    void finish();

    LaunchPool &pool;
    QProcess task;
    CapturedStream stdOutData;
    CapturedStream stdErrData;
    QString displayName;
    bool finished = false;
    bool startFailed = false;

    std::chrono::milliseconds deadline = defaultDeadline;
    QTimer deadlineTimer;
    QTimer killTimer;
    bool stoppedAtDeadline = false;
    qint64 groupId = 0;
    // Counted among the running commands.
    bool counted = false;
    bool waitingForResources = false;
    // Inside task.start(), where the pool puts a failure in line itself.
    bool launching = false;
    // Why the command did not run or did not end; ends its block.
    QString closingLine;
    // For record(): set once it runs and once it has ended.
    std::optional<CommandRecord::Clock::time_point> startedAt;
    std::optional<CommandRecord::Clock::time_point> endedAt;
    bool notRun = false;
};
