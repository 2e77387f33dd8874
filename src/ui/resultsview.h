#pragma once

#include <QColor>
#include <QString>
#include <QUrl>

class QTextBrowser;

// The results view shows white text on a dark background; its links are
// orange and underlined and open with the user's default handler.
namespace resultsview {

inline const QColor textColour = QColor(0xff, 0xff, 0xff);
inline const QColor linkColour = QColor(0xff, 0x80, 0x00);

// Replaces the whole content with the text, carrying no formatting over.
void replaceText(QTextBrowser &view, const QString &text);

// Makes every address of the view's text that is a valid URL a link of its
// own (anchor and single underline) and sets the colour the view gives links.
void markLinks(QTextBrowser &view);

// Makes a range of the view's text a link to url.
void markLink(QTextBrowser &view, qsizetype start, qsizetype length, const QUrl &url);

// Colours the whole text white, except that links keep the view's link colour.
void paintText(QTextBrowser &view);

} // namespace resultsview
