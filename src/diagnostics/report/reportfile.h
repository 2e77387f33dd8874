#pragma once

#include <QFile>
#include <QFileDevice>
#include <QString>

#include <memory>

// A file that receives the report, opened on construction. Unbuffered: a
// buffered write that the disk takes only in part would pass for complete when
// the buffer is flushed, and every write fails at once with its reason.
class ReportFile
{
public:
    // A new file or an existing regular file is written to a temporary file
    // beside it that takes its place once complete, with the existing file's
    // permissions; anything else that exists (a device, a FIFO, /dev/stdout)
    // is opened and written in place. Missing folders are not created.
    static ReportFile atPath(const QString &path);
    // A file of a fresh, unpredictable name "diagnostic_results-XXXXXX.txt" in
    // folder, for a shared folder: created exclusively, never through a link
    // planted there, readable by its owner only.
    static ReportFile freshIn(const QString &folder);

    ReportFile(ReportFile &&) = default;
    ReportFile &operator=(ReportFile &&) = default;
    // A temporary file that never took its path goes.
    ~ReportFile();

    bool isOpen() const { return file && file->isOpen(); }
    QIODevice *device() const { return file.get(); }
    const QString &path() const { return filePath; }
    // Why the file could not be opened, written or finished.
    QString errorString() const { return error.isEmpty() ? file->errorString() : error; }

    // Completes the file: the temporary file takes the path, or the file is
    // closed. False when the report did not arrive whole.
    bool finish();

private:
    ReportFile() = default;
    // For a path whose bytes Qt cannot spell (see fileNameToBytes()): the same
    // as atPath, done on the bytes.
    static ReportFile atBytes(const QString &path, const QByteArray &bytes);

    // Writes through the descriptor just opened; a failed open is the error.
    void adopt(std::unique_ptr<QFile> file, int descriptor);

    std::unique_ptr<QFileDevice> file;
    QString filePath;
    QString error;
    // Written there, it takes the target's name once complete.
    QByteArray temporaryBytes;
    QByteArray targetBytes;
};
