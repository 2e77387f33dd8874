#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>

// The log line that says why bytes of one kind stay in memory, told once
// however many spools of that kind fail: a temporary folder that takes none
// would otherwise fill the log with the same line for every stream.
class SpoolWarning
{
public:
    // what names the bytes: "keeping <what> in memory: <why>".
    explicit SpoolWarning(const char *what) : what(what) {}

    void tell(const QString &why);

private:
    const char *what;
    bool told = false;
};

// Bytes written once from start to end and then read back from any position:
// in memory until spill() moves them to a file in the temporary folder, which
// then takes the bytes that follow. Only its owner can read the file, and it
// has no name from the start (or loses it at once), so nothing is left behind
// however the program ends, even when it is killed. A file that cannot be made
// or written leaves the rest of the bytes in memory: none is lost, and warning
// tells why.
class SpoolFile
{
public:
    // The warning is shared with the other spools of the same kind of bytes
    // and must outlive them.
    explicit SpoolFile(SpoolWarning &warning) : warning(warning) {}
    SpoolFile(const SpoolFile &) = delete;
    SpoolFile &operator=(const SpoolFile &) = delete;
    ~SpoolFile();

    void append(QByteArrayView bytes);
    // Moves what memory holds to a new file, unless a file was tried before.
    void spill();

    qint64 size() const { return inFile + memory.size(); }
    qsizetype memorySize() const { return memory.size(); }
    bool isSpilled() const { return descriptor >= 0; }
    void squeeze() { memory.squeeze(); }

    // Reads length bytes from offset into buffer; false when the file could
    // not be read.
    bool read(qint64 offset, qsizetype length, QByteArray &buffer) const;

private:
    bool open();
    void keepInMemory(const QString &why);

    SpoolWarning &warning;
    int descriptor = -1;
    bool fileUsable = true;
    qint64 inFile = 0;
    // What follows the file's bytes.
    QByteArray memory;
};

// A new spool file in the temporary folder, readable and writable by its owner
// only, that has no name; -1 with errno when none can be made.
int openSpoolDescriptor();
// "could not <doing> a file in <the temporary folder>: <why errno says>".
QString spoolFailure(const char *doing);
