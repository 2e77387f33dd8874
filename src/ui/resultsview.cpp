#include "resultsview.h"

#include "linkscan.h"

#include <QPalette>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTextCursor>
#include <QTextDocument>

#include <vector>

namespace resultsview {

namespace {

QString documentText(QTextDocument &document)
{
    // A selection gives one character per document position (a line break is
    // a paragraph separator), so positions found in it address the document.
    QTextCursor cursor(&document);
    cursor.select(QTextCursor::Document);
    return cursor.selectedText();
}

void mergeFormat(QTextCursor &cursor, qsizetype start, qsizetype length,
                 const QTextCharFormat &format)
{
    cursor.setPosition(static_cast<int>(start));
    cursor.setPosition(static_cast<int>(start + length), QTextCursor::KeepAnchor);
    cursor.mergeCharFormat(format);
}

QTextCharFormat linkFormat(const QUrl &url)
{
    QTextCharFormat format;
    format.setAnchor(true);
    format.setAnchorHref(url.toString(QUrl::FullyEncoded));
    format.setFontUnderline(true);
    return format;
}

} // namespace

void replaceText(QTextBrowser &view, const QString &text)
{
    // One edit group: clears every character and format, then inserts the
    // text with none.
    view.document()->setPlainText(text);
}

void markLinks(QTextBrowser &view)
{
    QTextDocument &document = *view.document();
    const QString text = documentText(document);

    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const LinkRange &link : scanLinks(text))
        mergeFormat(cursor, link.start, link.length, linkFormat(link.url));
    cursor.endEditBlock();

    QPalette palette = view.palette();
    palette.setColor(QPalette::Link, linkColour);
    view.setPalette(palette);
}

void markLink(QTextBrowser &view, qsizetype start, qsizetype length, const QUrl &url)
{
    QTextCursor cursor(view.document());
    mergeFormat(cursor, start, length, linkFormat(url));
}

void paintText(QTextBrowser &view)
{
    QTextDocument &document = *view.document();
    struct Run
    {
        qsizetype start;
        qsizetype length;
        bool isLink;
    };
    // Collected first: changing formats while walking the fragments would
    // merge and split the very fragments being walked.
    std::vector<Run> runs;
    for (QTextBlock block = document.begin(); block.isValid(); block = block.next()) {
        for (auto it = block.begin(); !it.atEnd(); ++it) {
            const QTextFragment fragment = it.fragment();
            runs.push_back(
                {fragment.position(), fragment.length(), fragment.charFormat().isAnchor()});
        }
    }

    const QColor link = view.palette().color(QPalette::Link);
    QTextCursor cursor(&document);
    cursor.beginEditBlock();
    for (const Run &run : runs) {
        QTextCharFormat format;
        format.setForeground(run.isLink ? link : textColour);
        mergeFormat(cursor, run.start, run.length, format);
    }
    cursor.endEditBlock();
}

} // namespace resultsview
