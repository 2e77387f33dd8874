// Showing a report in its view, beside the anchor: the same report put whole
// into one plain-text view, as a view without pages would. bench/run.sh runs
// it on the offscreen platform.
//
//   viewbench KIB
//
// Writes a report of about KIB KiB of process-list lines to a report spool (a
// file beyond 8 MiB, as in a run) and prints "pages=N open_ms=A anchor_ms=B
// page_ms=C find_ms=D": the time from creating the view to its first page
// painted, the anchor's to its text painted, turning to the next page, and
// finding a word that only the report's last line holds, from the first page.
// Each is one call on the event loop's thread, the longest the window would
// stand still. page_ms is 0 for a report of one page.

#include "reportpages.h"
#include "reportspool.h"
#include "reportview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>

#include <cstdio>
#include <memory>

namespace {

double millisecondsOf(QElapsedTimer &timer)
{
    return timer.nsecsElapsed() / 1e6;
}

QPushButton *button(const QWidget &view, const QString &text)
{
    for (QPushButton *candidate : view.findChildren<QPushButton *>()) {
        if (candidate->text() == text)
            return candidate;
    }
    return nullptr;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication application(argc, argv);
    const qint64 size = argc == 2 ? QByteArray(argv[1]).toLongLong() * 1024 : 0;
    if (size <= 0) {
        std::fprintf(stderr, "usage: viewbench KIB\n");
        return 2;
    }
    SpoolWarning warning("the report");
    auto report = std::make_shared<ReportSpool>(warning);
    const QByteArray chunk =
        QByteArray("ana       4242  0.3  1.2 123456 45678 ?        Sl   09:12   "
                   "0:42 /usr/lib/app/worker --config=/etc/app/worker.conf "
                   "--listen 127.0.0.1:8080\n")
            .repeated(64);
    while (report->size() < size)
        report->write(chunk);
    report->write("the last line holds needle-at-the-end\n");

    // The first windows of a program pay for its style and fonts: both kinds
    // get one before the timing.
    {
        auto line = std::make_shared<ReportSpool>(warning);
        line->write("x\n");
        ReportView firstView(ReportPages(line), QStringLiteral("report"));
        QPlainTextEdit firstAnchor;
        firstAnchor.setPlainText(QStringLiteral("x"));
        for (QWidget *window : std::initializer_list<QWidget *>{&firstView, &firstAnchor}) {
            window->show();
            window->repaint();
        }
    }

    QElapsedTimer timer;
    timer.start();
    ReportView view(ReportPages(report), QStringLiteral("report"));
    view.show();
    view.repaint();
    const double open = millisecondsOf(timer);

    double page = 0;
    if (QPushButton *nextPage = button(view, QStringLiteral("Next Pa&ge")); nextPage->isEnabled()) {
        timer.restart();
        nextPage->click();
        view.repaint();
        page = millisecondsOf(timer);
        button(view, QStringLiteral("P&revious Page"))->click();
    }

    view.findChild<QLineEdit *>()->setText(QStringLiteral("needle-at-the-end"));
    timer.restart();
    button(view, QStringLiteral("&Next"))->click();
    view.repaint();
    const double find = millisecondsOf(timer);
    const bool found = view.findChild<QPlainTextEdit *>()->textCursor().hasSelection();
    view.close();

    report->seek(0);
    const QString whole = QString::fromUtf8(report->readAll());
    QPlainTextEdit anchor;
    anchor.setLineWrapMode(QPlainTextEdit::NoWrap);
    timer.restart();
    anchor.setPlainText(whole);
    anchor.show();
    anchor.repaint();
    const double anchorTime = millisecondsOf(timer);

    std::printf("pages=%d open_ms=%.1f anchor_ms=%.1f page_ms=%.1f find_ms=%.1f\n",
                ReportPages(report).count(), open, anchorTime, page, find);
    return found ? 0 : 1;
}
