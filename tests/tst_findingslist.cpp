// The findings list: its headline, what a screen reader hears of it and what
// the keyboard does with it.
#include "findingslist.h"
#include "findingstexts.h"

#include <QAccessible>
#include <QClipboard>
#include <QGuiApplication>
#include <QSignalSpy>
#include <QTest>

using enum BatteryRow;

class TestFindingsList : public QObject
{
    Q_OBJECT

private slots:
    void headline_data();
    void headline();
    void keyboardAndScreenReader();
};

void TestFindingsList::headline_data()
{
    QTest::addColumn<QString>("levels"); // a letter each: l worth a look, u could not tell, f fine
    QTest::addColumn<QString>("expected");
    QTest::newRow("all three") << "lulfffff"
                               << "2 worth a look \u00b7 1 could not tell \u00b7 5 fine";
    QTest::newRow("none fine") << "u"
                               << "1 could not tell";
    QTest::newRow("all fine") << "ff"
                              << "Nothing looks wrong";
    QTest::newRow("none") << ""
                          << "";
}

void TestFindingsList::headline()
{
    QFETCH(QString, levels);
    QFETCH(QString, expected);
    std::vector<Finding> findings;
    for (const QChar level : levels)
        findings.push_back({level == u'l'   ? Finding::Level::WorthALook
                            : level == u'u' ? Finding::Level::CouldNotTell
                                            : Finding::Level::Fine,
                            {},
                            {}});
    QCOMPARE(findingstexts::headline(findings), expected);
}

static QStringList names(QAccessibleInterface *tree)
{
    QStringList names;
    for (int i = 0; i < tree->childCount(); ++i)
        names.append(tree->child(i)->text(QAccessible::Name));
    return names;
}

void TestFindingsList::keyboardAndScreenReader()
{
    FindingsList list;
    list.setFindings({{Finding::Level::WorthALook, "port 53", {DebugNamePort53, DebugNamePort443}},
                      {Finding::Level::Fine, "all well", {}}},
                     {{DebugNamePort53, "dig a"}, {DebugNamePort443, "dig b"}},
                     {{DebugNamePort53, "refused\nagain"}});
    list.show();
    QVERIFY(QTest::qWaitForWindowExposed(&list));
    QAccessibleInterface *tree = QAccessible::queryAccessibleInterface(&list);
    QCOMPARE(names(tree), (QStringList{"Findings", "Worth a look: port 53", "Fine: all well"}));
    QCOMPARE(tree->child(1)->role(), QAccessible::TreeItem);

    QTest::keyClick(&list, Qt::Key_Space);
    QCOMPARE(names(tree), (QStringList{"Findings", "Worth a look: port 53",
                                       "Test dig a, printed: refused\nagain",
                                       "Test dig b, printed nothing", "Fine: all well"}));
    QCOMPARE(list.model()->index(1, 0, list.model()->index(0, 0)).data().toString(),
             "dig b\n(printed nothing)");
    QSignalSpy asked(&list, &FindingsList::wholeOutputRequested);
    QTest::keyClick(&list, Qt::Key_Down);
    QTest::keyClick(&list, Qt::Key_Return);
    QCOMPARE(asked, QList<QVariantList>{{"dig a"}});
    QTest::keyClick(&list, Qt::Key_Up);
    QTest::keyClick(&list, Qt::Key_Enter);
    QCOMPARE(names(tree).size(), 3);

    QTest::keySequence(&list, QKeySequence::Copy);
    QCOMPARE(QGuiApplication::clipboard()->text(), "look port 53\nok   all well\n");
}

QTEST_MAIN(TestFindingsList)
#include "tst_findingslist.moc"
