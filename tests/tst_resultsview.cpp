#include "maincontroller.h"
#include "mainwindow.h"
#include "resultsview.h"
#include "urlrecorder.h"

#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>

#include <cmath>

namespace {

QTextCharFormat formatAt(QTextBrowser &view, int position)
{
    // A cursor reports the format of the character before it.
    QTextCursor cursor(view.document());
    cursor.setPosition(position + 1);
    return cursor.charFormat();
}

// WCAG's relative luminance and contrast ratio of two colours.
double luminance(const QColor &colour)
{
    auto channel = [](double value) {
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double contrast(const QColor &a, const QColor &b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

} // namespace

class TestResultsView : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void formats_data();
    void formats();
    void emptyTextLeavesViewEmpty();
    void secondTextDropsTheOldLink();
    void clickOpensLinkWithDefaultHandler();
    void backgroundIsDarkEnoughForWhiteText();

private:
    std::unique_ptr<MainController> controller;
    std::unique_ptr<MainWindow> window;
};

void TestResultsView::init()
{
    controller = std::make_unique<MainController>();
    window = std::make_unique<MainWindow>(*controller);
}

void TestResultsView::cleanup()
{
    window.reset();
    controller.reset();
}

void TestResultsView::formats_data()
{
    QTest::addColumn<int>("position");
    QTest::addColumn<QString>("href");
    QTest::addColumn<QColor>("colour");

    // Text: "See results at https://a.example/?u=http://b.example/p\nThanks"
    // The outer link covers 15..53, the inner one 36..53 (15 + 21), the line
    // break is 54 and "Thanks" starts at 55.
    const QString outer = "https://a.example/?u=http://b.example/p";
    QTest::newRow("text before the link") << 0 << QString() << resultsview::textColour;
    QTest::newRow("start of the link") << 15 << outer << resultsview::linkColour;
    QTest::newRow("last character before the inner address")
        << 35 << outer << resultsview::linkColour;
    QTest::newRow("inner address") << 36 << "http://b.example/p" << resultsview::linkColour;
    QTest::newRow("end of both links") << 53 << "http://b.example/p" << resultsview::linkColour;
    QTest::newRow("after the line break") << 55 << QString() << resultsview::textColour;
}

void TestResultsView::formats()
{
    QFETCH(int, position);
    QFETCH(QString, href);
    QFETCH(QColor, colour);

    QTextBrowser &view = *controller->textResultsLink;
    controller->setTextView(&view,
                            "See results at https://a.example/?u=http://b.example/p\nThanks");

    const QTextCharFormat format = formatAt(view, position);
    QCOMPARE(format.isAnchor(), !href.isEmpty());
    QCOMPARE(format.anchorHref(), href);
    QCOMPARE(format.underlineStyle(),
             href.isEmpty() ? QTextCharFormat::NoUnderline : QTextCharFormat::SingleUnderline);
    QCOMPARE(format.foreground().color(), colour);
}

void TestResultsView::emptyTextLeavesViewEmpty()
{
    QTextBrowser &view = *controller->textResultsLink;
    controller->setTextView(&view, "See results at https://r.example/1");
    controller->setTextView(&view, QString());
    QVERIFY(view.document()->isEmpty());
    QVERIFY(!formatAt(view, -1).isAnchor());
}

void TestResultsView::secondTextDropsTheOldLink()
{
    QTextBrowser &view = *controller->textResultsLink;
    controller->setTextView(&view, "See results at https://r.example/1");
    controller->setTextView(&view, "There was an error submitting the results");

    QCOMPARE(view.toPlainText(), "There was an error submitting the results");
    // Every fragment: no anchor, no underline, white.
    for (QTextBlock block = view.document()->begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextCharFormat format = it.fragment().charFormat();
            QVERIFY(!format.isAnchor());
            QVERIFY(!format.fontUnderline());
            QCOMPARE(format.foreground().color(), resultsview::textColour);
        }
    }
}

void TestResultsView::clickOpensLinkWithDefaultHandler()
{
    UrlRecorder handler;
    controller->textResultsLinkView->show();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));

    QTextBrowser &view = *controller->textResultsLink;
    controller->setTextView(&view, "See results at https://r.example/x7");
    QTextCursor cursor(view.document());
    cursor.setPosition(20); // inside the link, which starts at 15
    QTest::mouseClick(view.viewport(), Qt::LeftButton, {}, view.cursorRect(cursor).center());

    QTRY_COMPARE(handler.opened, QList<QUrl>{QUrl("https://r.example/x7")});
    // The view stays on the message rather than following the link itself.
    QCOMPARE(view.toPlainText(), "See results at https://r.example/x7");
}

void TestResultsView::backgroundIsDarkEnoughForWhiteText()
{
    const QTextBrowser &view = *controller->textResultsLink;
    // 7:1 is the contrast asked of body text at the strictest level.
    QVERIFY2(contrast(view.palette().color(QPalette::Base), resultsview::textColour) >= 7.0,
             qPrintable(view.palette().color(QPalette::Base).name()));
    QVERIFY(contrast(view.palette().color(QPalette::Base), resultsview::linkColour) >= 4.5);
}

QTEST_MAIN(TestResultsView)
#include "tst_resultsview.moc"
