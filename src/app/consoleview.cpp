#include "consoleview.h"

#include "delivery.h"
#include "maincontroller.h"

#include <QIODevice>

#include <cstdio>

ConsoleView::ConsoleView(MainController &controller, QIODevice *console) : console(console)
{
    connect(&controller, &MainController::outputFileDone, this,
            [this](const QString &path) { write("outputFile=" + path.toUtf8() + '\n'); });
    connect(&controller, &MainController::reportNotWritten, this, &ConsoleView::reportNotWritten);
    connect(&controller, &MainController::deliveredWithoutUpload, this,
            [this] { emit exitRequested(notWritten ? 1 : 0); });
    connect(&controller, &MainController::uploadSucceeded, this, [this](const QString &link) {
        write("url=" + link.toUtf8() + '\n');
        emit exitRequested(notWritten ? 1 : 0);
    });
    connect(&controller, &MainController::uploadFailed, this,
            [this](const QString &, const QString &savedCopyPath) { uploadFailed(savedCopyPath); });
}

void ConsoleView::write(const QByteArray &bytes)
{
    if (console) {
        console->write(bytes);
        return;
    }
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

// Why the report did not go where asked is logged already; this says where it
// went instead.
void ConsoleView::reportNotWritten(const QString &savedCopyPath)
{
    notWritten = true;
    if (savedCopyPath == desktopCopyPath())
        qWarning("saved the report to Desktop instead");
    else if (!savedCopyPath.isEmpty())
        qWarning("saved the report to %s instead", qUtf8Printable(savedCopyPath));
}

void ConsoleView::uploadFailed(const QString &savedCopyPath)
{
    if (savedCopyPath.isEmpty())
        qWarning("could not send log, and could not save it anywhere");
    else if (savedCopyPath == desktopCopyPath())
        qWarning("could not send log, saved to Desktop");
    else
        qWarning("could not send log, saved to %s", qUtf8Printable(savedCopyPath));
    emit exitRequested(1);
}
