#pragma once

#include <QObject>
#include <QString>

class MainController;
class QIODevice;

// The windowless run's face, as the window is the windowed run's: writes the
// controller's console lines to standard output (or the device given) and asks
// for the program's end, with its exit status, once the report is delivered.
// The report itself goes to standard output from the delivery.
class ConsoleView : public QObject
{
    Q_OBJECT

public:
    explicit ConsoleView(MainController &controller, QIODevice *console = nullptr);

signals:
    void exitRequested(int status);

private:
    void write(const QByteArray &bytes);
    void reportNotWritten(const QString &savedCopyPath);
    void uploadFailed(const QString &savedCopyPath);

    QIODevice *console;
    // The console or the output file did not take the report: the run fails.
    bool notWritten = false;
};
