#pragma once

#include <QString>
#include <QStringView>
#include <QUrl>

#include <vector>

// One web address found in a text: where it stands and the URL it makes.
struct LinkRange
{
    qsizetype start = 0;
    qsizetype length = 0;
    QUrl url;
};

// White space and line breaks as the results view ends an address at them:
// the Unicode space, line and paragraph separators, tab, line feed, vertical
// tab, form feed, carriage return and next line (U+0085).
bool isWhitespaceOrNewline(QChar character);

// The addresses of a text that make valid URLs, in the order found. An address
// starts at "https://" or "http://" (case-sensitive) and runs to the next white
// space or line break. Each pass takes the first "https://" from the search
// start if there is one, even past an earlier "http://", and the next pass
// starts just after the prefix, so an address inside another one is found too.
std::vector<LinkRange> scanLinks(QStringView text);
