#pragma once

#include <QObject>
#include <QString>

class MainController;
class QIODevice;

// The windowless run's face, as the window is the windowed run's: writes the
// controller's console lines to standard output (or the device given) and asks
// for the program's end, with its exit status, once the report is delivered.
class ConsoleView : public QObject
{
    Q_OBJECT

public:
    explicit ConsoleView(MainController &controller, QIODevice *console = nullptr);

signals:
    void exitRequested(int status);

private:
    void write(const QByteArray &bytes);
    void uploadFailed(const QString &savedCopyPath);

    QIODevice *console;
};
