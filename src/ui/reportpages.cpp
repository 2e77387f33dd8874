#include "reportpages.h"

#include <QIODevice>

ReportPages::ReportPages(std::shared_ptr<QIODevice> report, qsizetype pageSize)
    : report(std::move(report))
{
    bounds.push_back(0);
    const qint64 size = this->report->size();
    do {
        bounds.push_back(pageEnd(bounds.back(), pageSize));
    } while (bounds.back() < size);
}

qint64 ReportPages::pageEnd(qint64 start, qsizetype pageSize) const
{
    const qint64 size = report->size();
    const qint64 nominal = start + pageSize;
    if (nominal >= size)
        return size;
    // One byte more than the limit: the first of the next page, to see whether
    // the cut would fall inside a character.
    const std::optional<QByteArray> rest = read(nominal, lineLimit + 1);
    if (!rest)
        return size;
    if (const qsizetype lineBreak = rest->indexOf('\n'); lineBreak >= 0)
        return nominal + lineBreak + 1;
    qsizetype cut = qMin(lineLimit, rest->size());
    while (cut > 0 && cut < rest->size() && (uchar(rest->at(cut)) & 0xC0) == 0x80)
        --cut;
    return nominal + cut;
}

std::optional<QString> ReportPages::text(int page) const
{
    const std::optional<QByteArray> bytes = read(bounds[page], bounds[page + 1] - bounds[page]);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

std::optional<int> ReportPages::nextPageWith(const QString &needle, int page) const
{
    for (int step = 1; step <= count(); ++step) {
        const int candidate = (page + step) % count();
        const std::optional<QString> pageText = text(candidate);
        if (pageText && pageText->contains(needle, Qt::CaseInsensitive))
            return candidate;
    }
    return std::nullopt;
}

std::optional<QByteArray> ReportPages::read(qint64 offset, qint64 length) const
{
    if (!report->seek(offset))
        return std::nullopt;
    QByteArray bytes = report->read(length);
    if (bytes.size() != qMin(length, report->size() - offset))
        return std::nullopt;
    return bytes;
}
