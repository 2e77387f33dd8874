// Trimming a report held in a file, beside its anchor: copying the same bytes
// once. bench/run.sh runs each step in its own process under /usr/bin/time for
// the peak memory.
//
//   trimbench generate FILE MIB SHAPE   writes a report of about MIB MiB
//   trimbench copy IN OUT               copies IN to OUT (the anchor)
//   trimbench trim IN OUT               trims IN to OUT for the upload
//
// Each prints "seconds=S". The shapes: "log-with-tail", one big agent log whose
// last line holds "tail" so that it is cut; "log", the same log without it, so
// that it is copied whole after the first pass; "small-blocks", blocks of a few
// hundred bytes that each hold "tail" but are too short to be cut.

#include "resultblock.h"
#include "trim.h"

#include <QElapsedTimer>
#include <QFile>

#include <cstdio>

namespace {

constexpr std::int32_t maxPostSize = 1000000;
constexpr qint64 mebibyte = 1024 * 1024;

// The usual battery's few hundred KiB: small blocks, one system log block.
QByteArray batteryBlocks()
{
    QByteArray blocks;
    for (int i = 0; i < 60; ++i) {
        blocks += blockSeparator;
        blocks += "Results for: /usr/bin/dig @10.0.0." + QByteArray::number(i) + " example.com\n";
        blocks +=
            QByteArray(";; ANSWER SECTION:\nexample.com. 300 IN A 93.184.216.34\n").repeated(40);
    }
    blocks += blockSeparator;
    blocks += "Results for: /bin/sh -c tail -n 15000 /var/log/syslog\n";
    blocks += QByteArray("May 14 09:12:03 host kernel: [ 12.345] eth0: link up\n").repeated(5000);
    return blocks;
}

bool generate(const QString &path, qint64 mebibytes, const QByteArray &shape)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return false;
    const qint64 size = mebibytes * mebibyte;
    file.write(batteryBlocks());
    QByteArray chunk;
    if (shape == "small-blocks") {
        QByteArray block = blockSeparator;
        block += "Results for: /bin/sh -c tail -n 2 /var/log/agent.log\n";
        block += QByteArray("2024-05-14 09:12:03 resolver: forwarded query\n").repeated(5);
        chunk = block.repeated(mebibyte / block.size());
    } else {
        file.write(blockSeparator);
        file.write("Results for: /bin/cat /opt/veltrane/beacon-logs/service/agent.log\n");
        chunk = QByteArray("2024-05-14T09:12:03.481Z INFO resolver: forwarded query example.com A "
                           "to 10.0.0.53, answered in 12 ms\n")
                    .repeated(mebibyte / 100);
    }
    while (file.size() < size) {
        if (file.write(chunk) != chunk.size())
            return false;
    }
    if (shape == "log-with-tail")
        file.write("2024-05-14T09:12:04.002Z WARN log: tail of a rotated file was lost\n");
    return file.flush();
}

bool copy(QFile &in, QFile &out)
{
    QByteArray buffer(defaultTrimChunkSize, Qt::Uninitialized);
    for (;;) {
        const qint64 count = in.read(buffer.data(), buffer.size());
        if (count <= 0)
            return count == 0;
        if (out.write(buffer.constData(), count) != count)
            return false;
    }
}

} // namespace

int main(int argc, char *argv[])
{
    const QByteArray step = argc > 1 ? argv[1] : "";
    if (step == "generate" && argc == 5)
        return generate(argv[2], QByteArray(argv[3]).toLongLong(), argv[4]) ? 0 : 1;
    if ((step != "copy" && step != "trim") || argc != 4) {
        std::fprintf(stderr,
                     "usage: trimbench generate FILE MIB SHAPE | copy IN OUT | trim IN OUT\n");
        return 2;
    }
    QFile in(argv[2]);
    QFile out(argv[3]);
    if (!in.open(QIODevice::ReadOnly) || !out.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        std::fprintf(stderr, "trimbench: cannot open the files\n");
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    bool done = false;
    if (step == "copy") {
        done = copy(in, out);
    } else {
        const std::optional<QString> error = trimTailStream(in, out, maxPostSize);
        if (error)
            std::fprintf(stderr, "trimbench: %s\n", qPrintable(*error));
        done = !error;
    }
    done = out.flush() && done;
    std::printf("seconds=%.3f\n", timer.nsecsElapsed() / 1e9);
    return done ? 0 : 1;
}
