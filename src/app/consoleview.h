#pragma once

#include "findings.h"

#include <QObject>
#include <QString>

#include <vector>

class MainController;
class QIODevice;

// Logs that the upload failed, and where the report was saved instead.
void logUploadFailure(const QString &savedCopyPath);

// The windowless run's face, as the window is the windowed run's: writes the
// controller's console lines to standard output (or the device given) and asks
// for the program's end, with its exit status, once the report is delivered.
// On a terminal it shows the run's progress and ends with the findings.
// The report itself goes to standard output from the delivery.
class ConsoleView : public QObject
{
    Q_OBJECT

public:
    explicit ConsoleView(MainController &controller, QIODevice *console = nullptr);

    // --findings: they end standard output; with --json as one JSON document
    // of the run, every command's record in it.
    void setPrintFindings(bool print) { printFindings = print; }
    void setPrintJson(bool json) { printJson = json; }

signals:
    void exitRequested(int status);

private:
    void write(const QByteArray &bytes);
    void reportNotWritten(const QString &savedCopyPath);
    void uploadFailed(const QString &savedCopyPath);
    void finish(int status);

    MainController &controller;
    QIODevice *console;
    std::vector<Finding> runFindings;
    bool printFindings = false;
    bool printJson = false;
    // The counts stop at the run's end: an update still queued then must not
    // replace the upload's line.
    bool testsEnded = false;
    // The console or the output file did not take the report: the run fails.
    bool notWritten = false;
};
