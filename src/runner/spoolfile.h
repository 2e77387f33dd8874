#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// A file in the temporary folder that holds a command's output beyond what is
// kept in memory. Only its owner can read it, and it has no name from the
// start (or loses it at once), so nothing is left behind however the program
// ends, even when it is killed.
class SpoolFile
{
public:
    SpoolFile() = default;
    SpoolFile(const SpoolFile &) = delete;
    SpoolFile &operator=(const SpoolFile &) = delete;
    ~SpoolFile();

    // Makes the file; false, with the reason in error, when there can be none.
    bool open(QString &error);
    bool isOpen() const { return descriptor >= 0; }
    qint64 size() const { return written; }

    // Appends as much of bytes as the file takes and returns how much that was;
    // the reason is in error when it took less.
    qsizetype append(QByteArrayView bytes, QString &error);
    // Reads up to length bytes from offset into buffer; false on failure.
    bool read(qint64 offset, qsizetype length, QByteArray &buffer) const;

private:
    int descriptor = -1;
    qint64 written = 0;
};
