#include "wantofresources.h"

#include "consoleview.h"
#include "delivery.h"
#include "logging.h"

#include <QCoreApplication>
#include <QThread>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

namespace {

Delivery *watchedDelivery = nullptr;

void saveWhatWasGoingUp(Delivery &delivery)
{
    try {
        if (const std::optional<QString> path = delivery.saveUnsentReport())
            logUploadFailure(*path);
    } catch (const std::bad_alloc &) {
        // Not even that: the report goes nowhere, as the log has said.
    }
}

// Whatever still waits for the thread must not run, nor any destructor that
// would wait for it.
[[noreturn]] void endNow()
{
    if (watchedDelivery)
        saveWhatWasGoingUp(*watchedDelivery);
    std::fflush(nullptr);
    std::_Exit(1);
}

void threadCouldNotStart(const char *line)
{
    // Qt's own words, in every version since 5.
    if (std::strncmp(line, "QThread::start: Thread creation error", 37) != 0)
        return;
    QCoreApplication *app = QCoreApplication::instance();
    if (app && QThread::currentThread() != app->thread())
        QMetaObject::invokeMethod(app, &endNow, Qt::QueuedConnection);
    else
        endNow();
}

} // namespace

void endWhenAThreadCannotStart(Delivery &delivery)
{
    watchedDelivery = &delivery;
    watchLog(&threadCouldNotStart);
}

int execUntilMemoryRunsOut(Delivery &delivery)
{
    try {
        return QCoreApplication::exec();
    } catch (const std::bad_alloc &) {
        qWarning("out of memory: the program cannot go on");
        saveWhatWasGoingUp(delivery);
        return 1;
    }
}
