// Writes the manual page at build time, so that its options are the very help
// texts the program prints. Usage: veltrane-manpage TEMPLATE OUTPUT
#include "endpoints.h"
#include "help.h"
#include "manpage.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

#include <cstdio>

int main(int argc, char *argv[])
{
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s TEMPLATE OUTPUT\n", argv[0]);
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "cannot read %s\n", argv[1]);
        return 1;
    }
    const QStringList texts = helpTexts(QLatin1String(endpoints::ServiceDomain),
                                        QLatin1String(endpoints::ResultsServerHost));
    const std::optional<QString> page = manPage(QString::fromUtf8(in.readAll()), texts);
    if (!page) {
        std::fprintf(stderr, "%s: needs the line '%s' exactly once\n", argv[1],
                     manPageOptionsMarker);
        return 1;
    }
    QSaveFile out(QString::fromLocal8Bit(argv[2]));
    const QByteArray bytes = page->toUtf8();
    if (!out.open(QIODevice::WriteOnly) || out.write(bytes) != bytes.size() || !out.commit()) {
        std::fprintf(stderr, "cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
