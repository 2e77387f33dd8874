#include "runinputs.h"

#include <QUrl>

#include <algorithm>

namespace {

bool isBlankOrTab(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

// Line breaks of every kind, tabs and the other control characters.
bool isControl(QChar c)
{
    return c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
           c.category() == QChar::Separator_Paragraph;
}

bool holdsControl(const QString &text)
{
    return std::any_of(text.cbegin(), text.cend(), isControl);
}

// As a notice can show it on one line: each control character as \xHH.
QString shown(const QString &text)
{
    QString line;
    for (const QChar c : text)
        line += isControl(c) ? QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QChar(u'0')) : c;
    return line;
}

} // namespace

std::optional<QString> trimmedEntry(const QString &entry)
{
    // A line break would start a line of the report's head of its own.
    QString text;
    for (const QChar c : entry) {
        if (!isControl(c))
            text += c;
        else if (!text.endsWith(u' '))
            text += u' ';
    }
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && isBlankOrTab(text.at(begin)))
        ++begin;
    while (end > begin && isBlankOrTab(text.at(end - 1)))
        --end;
    if (begin == end)
        return std::nullopt;
    return text.sliced(begin, end - begin);
}

QString testDomainText(const std::optional<QString> &domainOption,
                       const std::function<QString()> &readField)
{
    QString text = domainOption && !domainOption->isEmpty() ? *domainOption : readField();
    return text.remove(u' ');
}

bool looksLikeOption(const QString &testDomain)
{
    return testDomain.startsWith(u'-') || testDomain.startsWith(u'+') ||
           testDomain.startsWith(u'@');
}

TestDomainName testDomainName(const QString &text)
{
    TestDomainName domain{text, false};
    if (text.contains(QLatin1String("://"))) {
        const QString host = QUrl(text).host();
        if (!host.isEmpty())
            domain = {host, true};
    }
    const bool ascii = std::all_of(domain.name.cbegin(), domain.name.cend(),
                                   [](QChar c) { return c.unicode() < 0x80; });
    if (const QByteArray ace = QUrl::toAce(domain.name); !ascii && !ace.isEmpty())
        domain.name = QString::fromLatin1(ace);
    return domain;
}

// Between two dots, or before the first; one dot at the end names the root.
bool hasEmptyLabel(const QString &testDomain)
{
    const QString name = testDomain.endsWith(u'.') ? testDomain.chopped(1) : testDomain;
    return name.split(u'.').contains(QString());
}

std::optional<QString> presentTestDomain(const QString &testDomain)
{
    if (!testDomain.contains(u'.') || looksLikeOption(testDomain) || holdsControl(testDomain) ||
        hasEmptyLabel(testDomain))
        return std::nullopt;
    return testDomain;
}

std::optional<QString> skippedTestDomainNotice(const QString &testDomain)
{
    if (testDomain.isEmpty() || presentTestDomain(testDomain))
        return std::nullopt;
    if (holdsControl(testDomain))
        return QStringLiteral("not testing the domain \"%1\": it holds a control character")
            .arg(shown(testDomain));
    if (testDomain.contains(u'.') && !looksLikeOption(testDomain))
        return QStringLiteral("not testing the domain \"%1\": it has an empty label")
            .arg(testDomain);
    if (testDomain.startsWith(u'@'))
        return QStringLiteral("not testing the domain \"%1\": dig would take a name beginning "
                              "with \"@\" for the server to ask")
            .arg(testDomain);
    if (looksLikeOption(testDomain))
        return QStringLiteral("not testing the domain \"%1\": dig and traceroute would take a "
                              "name beginning with \"%2\" for an option")
            .arg(testDomain, testDomain.left(1));
    return QStringLiteral("not testing the domain \"%1\": it has no dot").arg(testDomain);
}

bool agentGateHolds(bool skipAmx, bool isAmx, bool forceAmx)
{
    return !skipAmx && (isAmx || forceAmx);
}
