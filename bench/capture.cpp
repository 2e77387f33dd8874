// Runs one command that prints the given number of bytes on each stream at
// once, and writes its result block to a file: what a runaway log costs the
// runner in memory. bench/capture-memory.sh runs it.
#include "process.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() < 3) {
        std::fprintf(stderr, "usage: capture BYTES-PER-STREAM OUTPUT-FILE\n");
        return 2;
    }
    const QString bytes = args[1];
    const QString command = QStringLiteral("head -c %1 /dev/zero | tr '\\0' o & "
                                           "head -c %1 /dev/zero | tr '\\0' e >&2; wait")
                                .arg(bytes);
    Process process;
    QObject::connect(&process, &Process::processTerminated, &app, [&] {
        QFile output(args[2]);
        app.exit(output.open(QIODevice::WriteOnly) && process.writeResult(output) ? 0 : 1);
    });
    process.start("/bin/sh", {"-c", command});
    return app.exec();
}
