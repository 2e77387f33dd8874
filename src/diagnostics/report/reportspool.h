#pragma once

#include "boundaryscan.h"
#include "spoolfile.h"

#include <QByteArray>
#include <QIODevice>

// The report as the upload reads it: written once from start to end, then read
// from any position as often as there are tries. It stays in memory while
// small, as the usual battery's few hundred KiB do, and beyond memoryLimit
// moves to a spool file.
class ReportSpool : public QIODevice
{
public:
    static constexpr qsizetype memoryLimit = 8 * 1024 * 1024;

    // Open for reading and writing; warning must outlive the spool.
    explicit ReportSpool(SpoolWarning &warning);

    bool isSequential() const override { return false; }
    qint64 size() const override { return spool.size(); }
    // A boundary of the upload that the report does not hold, as far as it
    // has been written; nothing in the (random) case that it holds both tried.
    std::optional<QByteArray> boundary() const { return boundaryScan.boundary(); }

protected:
    qint64 readData(char *data, qint64 maxSize) override;
    // Appends, whatever the position: the report is written in one go before
    // it is read.
    qint64 writeData(const char *data, qint64 maxSize) override;

private:
    SpoolFile spool;
    QByteArray readBuffer;
    BoundaryScan boundaryScan;
};
