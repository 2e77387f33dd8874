#include "process.h"

#include "commandline.h"
#include "launchpool.h"
#include "toolpath.h"

#include <QProcessEnvironment>

#include <csignal>
#include <sys/types.h>
#include <unistd.h>

Process::Process(LaunchPool &pool, QObject *parent)
    : QObject(parent), pool(pool), stdOutData(pool.captureMemory()),
      stdErrData(pool.captureMemory())
{
    deadlineTimer.setSingleShot(true);
    killTimer.setSingleShot(true);
    // Coarse timers may fire up to 5% early; a command is stopped only once
    // its time is really up.
    deadlineTimer.setTimerType(Qt::PreciseTimer);
    killTimer.setTimerType(Qt::PreciseTimer);
    connect(&deadlineTimer, &QTimer::timeout, this, &Process::deadlinePassed);
    connect(&killTimer, &QTimer::timeout, this, [this] { signalGroup(SIGKILL); });
}

Process::~Process()
{
    if (counted)
        pool.commandEnded();
    // The program is going away mid-run (its window was closed): take the
    // command and whatever it started along, rather than leave orphans.
    if (task.state() != QProcess::NotRunning) {
        // Its end must not be announced from here: whoever listens may be
        // halfway through its own destruction.
        disconnect(&task, nullptr, this, nullptr);
        signalGroup(SIGKILL);
        task.waitForFinished(1000);
    }
}

void Process::buildDisplayName(const QString &launchPath, const QStringList &args,
                               const std::optional<QString> &comment)
{
    displayName = commandDisplayName(launchPath, args, comment);
}

void Process::start(const QString &launchPath, const QStringList &args,
                    const std::optional<QString> &comment)
{
    Q_ASSERT(displayName.isEmpty() && !finished);
    buildDisplayName(launchPath, args, comment);
    launch(launchPath, args);
}

void Process::startShownAs(const QString &displayName, const QString &launchPath,
                           const QStringList &args)
{
    Q_ASSERT(this->displayName.isEmpty() && !finished);
    this->displayName = displayName;
    launch(launchPath, args);
}

void Process::finishUnstarted(const QString &displayName, const QString &reason)
{
    Q_ASSERT(this->displayName.isEmpty() && !finished);
    this->displayName = displayName;
    closingLine = reason;
    notRun = true;
    // Like every end, announced from the event loop.
    QMetaObject::invokeMethod(this, &Process::finish, Qt::QueuedConnection);
}

void Process::maskSecrets()
{
    Q_ASSERT(displayName.isEmpty() && !finished);
    stdOutData.maskSecrets();
    stdErrData.maskSecrets();
}

void Process::launch(const QString &launchPath, const QStringList &args)
{
    task.setProgram(launchPath);
    task.setArguments(args);
    // No command of the battery reads input; an empty stdin means none can
    // wait for it or take what the user types into the terminal.
    task.setStandardInputFile(QProcess::nullDevice());
    // The tools a shell row names without a directory are the system's, not
    // whatever an empty or odd PATH of the caller would find.
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QStringLiteral("PATH"), toolSearchPath());
    task.setProcessEnvironment(environment);
    // Its own process group, so a deadline or the program's end stops the
    // command together with anything it started (sh -c pipelines). A file
    // size limit ends it as it would anywhere else.
    task.setChildProcessModifier([] {
        ::setpgid(0, 0);
        ::signal(SIGXFSZ, SIG_DFL);
    });

    // Kept past the command's end: the group may outlive its leader.
    connect(&task, &QProcess::started, this, [this] { groupId = task.processId(); });
    connect(&task, &QProcess::readyReadStandardOutput, this, &Process::stdOutNotification);
    connect(&task, &QProcess::readyReadStandardError, this, &Process::stdErrNotification);
    connect(&task, &QProcess::finished, this, &Process::terminatedNotification);
    connect(&task, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            launchFailed();
    });

    pool.launch(*this);
}

bool Process::startNow()
{
    waitingForResources = false;
    launching = true;
    task.start(QIODevice::ReadOnly);
    launching = false;
    if (task.state() != QProcess::NotRunning) {
        counted = true;
        pool.commandStarted();
        startedAt = CommandRecord::Clock::now();
        // A command's time starts when it does, not while it waits.
        deadlineTimer.start(deadline);
    }
    return !waitingForResources;
}

void Process::stdOutNotification()
{
    if (!finished)
        stdOutData.append(task.readAllStandardOutput());
}

void Process::stdErrNotification()
{
    if (!finished)
        stdErrData.append(task.readAllStandardError());
}

void Process::terminatedNotification()
{
    if (finished)
        return;
    // QProcess has read the pipes up to the command's exit; whatever is still
    // buffered is the rest of its output. A left-behind grandchild holding a
    // pipe open cannot block us here.
    stdOutData.append(task.readAllStandardOutput());
    stdErrData.append(task.readAllStandardError());
    finish();
}

void Process::launchFailed()
{
    if (finished || !closingLine.isEmpty())
        return;
    // A start that fails after start() returned was counted as running, and
    // its time had begun: it must not wait for its own end, nor run out of
    // time while it waits.
    if (counted) {
        counted = false;
        pool.commandEnded();
        deadlineTimer.stop();
    }
    // Short of descriptors or processes, the command waits for another to
    // end rather than be lost.
    if (pool.waitsAfterFailure(task.errorString())) {
        waitingForResources = true;
        // A failure reported later, from the event loop, queues itself.
        if (!launching)
            pool.wait(*this);
        return;
    }
    startFailed = true;
    closingLine = QStringLiteral("could not start %1: %2").arg(task.program(), task.errorString());
    // QProcess may report a failed start from inside start() itself (when no
    // descriptors are left); deliver the end from the event loop regardless,
    // so the controller never sees a half-started battery as complete.
    QMetaObject::invokeMethod(this, &Process::finish, Qt::QueuedConnection);
}

void Process::deadlinePassed()
{
    if (finished)
        return;
    stoppedAtDeadline = true;
    signalGroup(SIGTERM);
    killTimer.start(killGrace);
}

void Process::signalGroup(int signal)
{
    if (groupId > 0)
        ::kill(-static_cast<pid_t>(groupId), signal);
}

void Process::finish()
{
    if (finished)
        return;
    finished = true;
    if (startedAt)
        endedAt = CommandRecord::Clock::now();
    if (counted) {
        counted = false;
        pool.commandEnded();
    }
    deadlineTimer.stop();
    killTimer.stop();
    // The command gave way at its deadline, but what it started may not have:
    // nothing of a stopped command is left running.
    if (stoppedAtDeadline)
        signalGroup(SIGKILL);

    stdOutData.finish();
    stdErrData.finish();
    if (stoppedAtDeadline && closingLine.isEmpty())
        closingLine = QStringLiteral("stopped after %1 seconds without finishing")
                          .arg(std::chrono::duration_cast<std::chrono::seconds>(deadline).count());

    emit processTerminated(this);
}

CommandRecord Process::record() const
{
    CommandRecord record;
    record.startedAt = startedAt;
    record.endedAt = endedAt;
    record.stdOutBytes = stdOutData.size();
    record.stdErrBytes = stdErrData.size();
    record.stdOutEscapedBytes = stdOutData.invalidBytes();
    record.stdErrEscapedBytes = stdErrData.invalidBytes();
    record.spilled = stdOutData.isSpooled() || stdErrData.isSpooled();
    if (!finished)
        return record;
    if (notRun || startFailed) {
        record.end = notRun ? CommandRecord::End::NotRun : CommandRecord::End::CouldNotStart;
        record.reason = closingLine;
        return record;
    }
    // On a crash QProcess gives the signal's number as the exit code.
    if (task.exitStatus() == QProcess::CrashExit)
        record.signal = task.exitCode();
    else
        record.exitStatus = task.exitCode();
    if (stoppedAtDeadline)
        record.end = CommandRecord::End::StoppedAtDeadline;
    else
        record.end = record.signal ? CommandRecord::End::Signalled : CommandRecord::End::Exited;
    return record;
}

QByteArray Process::stdErrHead(qsizetype limit) const
{
    QByteArray bytes = stdErrData.head(limit);
    if (!closingLine.isEmpty()) {
        if (!bytes.isEmpty() && !bytes.endsWith('\n'))
            bytes += '\n';
        bytes += closingLine.toUtf8();
    }
    return bytes;
}
