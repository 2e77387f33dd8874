#include "launchpool.h"

#include "process.h"

#include <fcntl.h>
#include <unistd.h>

namespace {

// Whether a start would find the descriptors it needs: its pipes, the
// null device and what QProcess uses to watch the child.
bool descriptorsAvailable()
{
    int pipes[5][2];
    int made = 0;
    while (made < 5 && ::pipe2(pipes[made], O_CLOEXEC) == 0)
        ++made;
    for (int i = 0; i < made; ++i) {
        ::close(pipes[i][0]);
        ::close(pipes[i][1]);
    }
    return made == 5;
}

} // namespace

LaunchPool::LaunchPool(QObject *parent) : QObject(parent) {}

void LaunchPool::launch(Process &process)
{
    // Those already waiting go first.
    if (waiting.empty())
        tryLaunch(process, End::Back);
    else
        waiting.push_back(&process);
}

bool LaunchPool::waitsAfterFailure(const QString &error) const
{
    // Out of descriptors or processes (EMFILE, ENFILE, EAGAIN). Qt's message
    // is the one sign of a failed fork: errno is gone by now.
    const bool shortOfResources =
        error.startsWith(QLatin1String("Resource error")) || !descriptorsAvailable();
    return shortOfResources && running > 0;
}

void LaunchPool::wait(Process &process)
{
    waiting.push_back(&process);
}

void LaunchPool::commandEnded()
{
    --running;
    QMetaObject::invokeMethod(this, &LaunchPool::launchWaiting, Qt::QueuedConnection);
}

bool LaunchPool::hasRoom() const
{
    // With none running, none would free what a start needs: the first
    // always tries.
    return running == 0 || (running < capacity && descriptorsAvailable());
}

bool LaunchPool::tryLaunch(Process &process, End end)
{
    // No attempt that is bound to fail: each would log a warning of Qt's.
    if (hasRoom() && process.startNow())
        return true;
    if (end == End::Front)
        waiting.push_front(&process);
    else
        waiting.push_back(&process);
    return false;
}

void LaunchPool::launchWaiting()
{
    while (!waiting.empty()) {
        const QPointer<Process> next = waiting.front();
        waiting.pop_front();
        if (next && !tryLaunch(*next, End::Front))
            break;
    }
}
