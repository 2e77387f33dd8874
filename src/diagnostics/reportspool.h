#pragma once

#include "spoolfile.h"

#include <QByteArray>
#include <QIODevice>

// The report as the upload reads it: written once from start to end, then read
// from any position as often as there are tries. It stays in memory while
// small, as the usual battery's few hundred KiB do, and beyond memoryLimit
// moves to an unnamed file in the temporary folder that only its owner can
// read. Where no such file can be made or written, memory keeps the bytes
// instead, and the log says once why.
class ReportSpool : public QIODevice
{
public:
    static constexpr qsizetype memoryLimit = 8 * 1024 * 1024;

    // Open for reading and writing.
    ReportSpool();

    bool isSequential() const override { return false; }
    qint64 size() const override { return file.size() + memory.size(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    // Appends, whatever the position: the report is written in one go before
    // it is read.
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    // To the file while it takes them, the rest to memory.
    void append(QByteArrayView bytes);
    void keepInMemory(const QString &why);

    SpoolFile file;
    bool fileUsable = true;
    // What follows the file's bytes.
    QByteArray memory;
    QByteArray readBuffer;
};
