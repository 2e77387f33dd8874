// Takes a picture of the main window at the end of a real run: the whole
// battery of the test build (every endpoint on loopback), the report uploaded
// to the local test results server, the link shown. Run by
// scripts/screenshot.sh under a virtual display in a private network namespace.

#include "endpoints.h"
#include "httpsserver.h"
#include "maincontroller.h"
#include "mainwindow.h"
#include "testsupport.h"

#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QLineEdit>
#include <QPixmap>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

namespace {

// Keeps the run from opening a browser or an editor.
class Ignore : public QObject
{
    Q_OBJECT

public slots:
    void open(const QUrl &) {}
};

} // namespace

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: windowshot OUTPUT.png\n");
        return 2;
    }
    // A failed upload would save the report on the Desktop: not the user's.
    QTemporaryDir home;
    qputenv("HOME", QFile::encodeName(home.path()));
    QApplication app(argc, argv);
    if (!isolatedOnLoopback()) {
        std::fprintf(stderr, "windowshot: run it in a network namespace with only loopback up\n");
        return 2;
    }
    Ignore ignore;
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::setUrlHandler(scheme, &ignore, "open");

    HttpsServer server;
    server.answer = {HttpsServer::reply(200, "https://results.veltrane.test/r/7f3a9c2e")};
    if (!server.start(QString(endpoints::ResultsServerHost).section(u':', 1).toUShort())) {
        std::fprintf(stderr, "windowshot: cannot listen on the results server's port\n");
        return 1;
    }

    MainController controller;
    MainWindow window(controller);
    window.show();
    window.findChild<QLineEdit *>("textVeltraneAccount")->setText("acme-corp");
    window.findChild<QLineEdit *>("textTicketNo")->setText("48213");
    QTimer::singleShot(500, &window,
                       [&] { window.findChild<QPushButton *>("buttonStartTests")->click(); });

    const QString output = QString::fromLocal8Bit(argv[1]);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &window, [&] {
        if (!window.findChild<QPushButton *>("buttonStartTests")->isEnabled() ||
            !window.findChild<QWidget *>("textResultsLinkView")->isVisible())
            return;
        poll.stop();
        // Let the window paint its last state before the picture.
        QTimer::singleShot(500, &window, [&] {
            const QPixmap picture = window.screen()->grabWindow(window.winId());
            QApplication::exit(picture.save(output) ? 0 : 1);
        });
    });
    poll.start(100);
    QTimer::singleShot(600000, &window, [] {
        std::fprintf(stderr, "windowshot: the run did not end\n");
        QApplication::exit(1);
    });
    const int status = app.exec();
    for (const char *scheme : {"http", "https", "file"})
        QDesktopServices::unsetUrlHandler(scheme);
    if (!server.requests.isEmpty())
        std::fprintf(
            stderr, "windowshot: %d tests, %lld bytes uploaded\n",
            window.findChild<QProgressBar *>("progressIndicator")->maximum(),
            static_cast<long long>(HttpsServer::uploadedData(server.requests.first()).size()));
    return status;
}

#include "windowshot.moc"
