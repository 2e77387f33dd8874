#pragma once

#include "capturedstream.h"

#include <QObject>
#include <QPointer>
#include <QString>

#include <deque>
#include <limits>

class Process;

// Admits the commands that run side by side: each starts at once while the
// machine has descriptors and processes to spare, and otherwise waits in line,
// in the order the commands were started, until a running one ends. Holds the
// memory that their captured output shares, too. Every command of the pool
// must go before it; everything runs on the main thread.
class LaunchPool : public QObject
{
    Q_OBJECT

public:
    explicit LaunchPool(QObject *parent = nullptr);

    // Test seam: no more than this many commands run at once, as if the
    // descriptors for more were missing.
    void setCapacity(int commands) { capacity = commands; }

    CaptureMemory &captureMemory() { return memory; }

    // What its commands call. launch starts the command or puts it in line.
    void launch(Process &process);
    // Whether a command whose start failed with error waits for a running one
    // to end, rather than end itself: when the machine is short of descriptors
    // or processes, and some command runs that would free them.
    bool waitsAfterFailure(const QString &error) const;
    // Puts a command whose start failed at the end of the line.
    void wait(Process &process);
    void commandStarted() { ++running; }
    // The command's descriptors and process are free again: the line moves.
    void commandEnded();

private:
    enum class End
    {
        Front,
        Back
    };
    bool hasRoom() const;
    // Starts the command, or puts it in line at end; true unless put in line.
    bool tryLaunch(Process &process, End end);
    void launchWaiting();

    // Commands that could not start yet, first in line first.
    std::deque<QPointer<Process>> waiting;
    int running = 0;
    int capacity = std::numeric_limits<int>::max();
    CaptureMemory memory;
};
