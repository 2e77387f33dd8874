#include "consoleview.h"

#include "buildconfig.h"
#include "delivery.h"
#include "findingsjson.h"
#include "maincontroller.h"
#include "statusline.h"
#include "utf8escape.h"

#include <QDebug>
#include <QIODevice>

#include <cstdio>

ConsoleView::ConsoleView(MainController &controller, QIODevice *console)
    : controller(controller), console(console)
{
    connect(&controller, &MainController::toolsMissing, this,
            [](const std::vector<BatteryTool> &tools) {
                for (const BatteryTool &tool : tools)
                    qWarning().noquote() << missingToolNotice(tool);
            });
    connect(&controller, &MainController::progressChanged, this, [this](int finished, int total) {
        if (!testsEnded)
            showStatusLine(QStringLiteral("Finished %1 out of %2 tests").arg(finished).arg(total));
    });
    // The report may follow on standard output: the line goes first.
    connect(&controller, &MainController::allTestsFinished, this, [this] {
        testsEnded = true;
        clearStatusLine();
    });
    connect(&controller, &MainController::findingsFound, this,
            [this](const std::vector<Finding> &findings) { runFindings = findings; });
    Delivery &delivery = controller.delivery();
    connect(&delivery, &Delivery::outputFileDone, this,
            [this](const QString &path) { write("outputFile=" + fileNameToBytes(path) + '\n'); });
    connect(&delivery, &Delivery::reportNotWritten, this, &ConsoleView::reportNotWritten);
    connect(&delivery, &Delivery::deliveredWithoutUpload, this,
            [this] { finish(notWritten ? 1 : 0); });
    connect(&controller, &MainController::uploadStarted, this,
            [] { showStatusLine(QStringLiteral("uploading the report\u2026")); });
    connect(&delivery, &Delivery::uploadSucceeded, this, [this](const QString &link) {
        write("url=" + link.toUtf8() + '\n');
        finish(notWritten ? 1 : 0);
    });
    connect(&delivery, &Delivery::uploadFailed, this,
            [this](const QString &, const QString &savedCopyPath) { uploadFailed(savedCopyPath); });
    // The signal that ended the upload sets the exit status.
    connect(&delivery, &Delivery::uploadInterrupted, this, &logUploadFailure);
}

void ConsoleView::write(const QByteArray &bytes)
{
    clearStatusLine();
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

void logUploadFailure(const QString &savedCopyPath)
{
    if (savedCopyPath.isEmpty())
        qWarning("could not send log, and could not save it anywhere");
    else if (savedCopyPath == desktopCopyPath())
        qWarning("could not send log, saved to Desktop");
    else
        qWarning("could not send log, saved to %s", qUtf8Printable(savedCopyPath));
}

void ConsoleView::uploadFailed(const QString &savedCopyPath)
{
    logUploadFailure(savedCopyPath);
    finish(1);
}

void ConsoleView::finish(int status)
{
    clearStatusLine();
    const QByteArray text = findingsText(runFindings).toUtf8();
    if (printFindings && printJson)
        write(jsonLine(
            runJson(QLatin1String(buildconfig::version), controller.runRecord(), runFindings)));
    else if (printFindings)
        write(text);
    // Someone is watching the terminal; when standard output is that same
    // terminal and already has them, once is enough.
    if (standardErrorIsTerminal() && !(printFindings && standardOutputIsTerminal())) {
        std::fwrite(text.constData(), 1, static_cast<size_t>(text.size()), stderr);
        std::fflush(stderr);
    }
    emit exitRequested(status);
}
