#include "linkscan.h"

namespace {

qsizetype firstWhitespaceOrNewline(QStringView text, qsizetype from)
{
    for (qsizetype i = from; i < text.size(); ++i) {
        if (isWhitespaceOrNewline(text[i]))
            return i;
    }
    return text.size();
}

} // namespace

bool isWhitespaceOrNewline(QChar character)
{
    switch (character.category()) {
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
        return true;
    default:
        break;
    }
    const char16_t code = character.unicode();
    return (code >= u'\t' && code <= u'\r') || code == u'\u0085';
}

std::vector<LinkRange> scanLinks(QStringView text)
{
    static constexpr QStringView https = u"https://";
    static constexpr QStringView http = u"http://";

    std::vector<LinkRange> links;
    qsizetype searchStart = 0;
    for (;;) {
        qsizetype start = text.indexOf(https, searchStart);
        qsizetype prefixLength = https.size();
        if (start < 0) {
            start = text.indexOf(http, searchStart);
            prefixLength = http.size();
        }
        if (start < 0)
            break;

        searchStart = start + prefixLength;
        const qsizetype end = firstWhitespaceOrNewline(text, searchStart);
        const QUrl url(text.mid(start, end - start).toString(), QUrl::StrictMode);
        if (url.isValid())
            links.push_back({start, end - start, url});
    }
    return links;
}
