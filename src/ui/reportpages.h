#pragma once

#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QIODevice;

// The report read a page at a time, for a view that shows one page: a page
// ends at the first line break after pageSize bytes, so a report of any size
// opens as quickly as the usual one and only the page on show is held in
// memory. A line longer than lineLimit past the page's size is cut there, at
// the end of a character.
class ReportPages
{
public:
    static constexpr qsizetype defaultPageSize = 256 * 1024;
    static constexpr qsizetype lineLimit = 4096;

    // Reads report from its start; it must not change while it is read.
    explicit ReportPages(std::shared_ptr<QIODevice> report, qsizetype pageSize = defaultPageSize);

    // At least one, also for an empty report.
    int count() const { return int(bounds.size()) - 1; }
    // The page's text; nothing when the report could not be read.
    std::optional<QString> text(int page) const;
    // The first page after page that holds needle, case ignored, going round
    // from the last to the first and back to page itself; nothing when none
    // does.
    std::optional<int> nextPageWith(const QString &needle, int page) const;

private:
    std::optional<QByteArray> read(qint64 offset, qint64 length) const;
    qint64 pageEnd(qint64 start, qsizetype pageSize) const;

    std::shared_ptr<QIODevice> report;
    // Where each page begins, and the report's end.
    std::vector<qint64> bounds;
};
