#include "paths.h"

#include <QDir>
#include <QTest>

#include <pwd.h>

class TestPaths : public QObject
{
    Q_OBJECT

private slots:
    void tildeExpansion();
};

void TestPaths::tildeExpansion()
{
    const QString home = QDir::homePath();
    QCOMPARE(expandTilde("~"), home);
    QCOMPARE(expandTilde("~/out/f.txt"), home + "/out/f.txt");
    QCOMPARE(expandTilde("relative/~/f"), QString("relative/~/f"));
    QCOMPARE(expandTilde("/abs/f"), QString("/abs/f"));
    QCOMPARE(expandTilde(""), QString());

    const passwd *root = ::getpwnam("root");
    QVERIFY(root);
    QCOMPARE(expandTilde("~root/f"), QString::fromLocal8Bit(root->pw_dir) + "/f");
    QCOMPARE(expandTilde("~no-such-user-here/f"), QString("~no-such-user-here/f"));
}

QTEST_GUILESS_MAIN(TestPaths)
#include "tst_paths.moc"
