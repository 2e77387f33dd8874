#include "runinputs.h"

namespace {

bool isBlankOrTab(QChar c)
{
    return c == u'\t' || c.category() == QChar::Separator_Space;
}

} // namespace

std::optional<QString> trimmedEntry(const QString &text)
{
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

std::optional<QString> presentTestDomain(const QString &testDomain)
{
    if (!testDomain.contains(u'.') || looksLikeOption(testDomain))
        return std::nullopt;
    return testDomain;
}

std::optional<QString> skippedTestDomainNotice(const QString &testDomain)
{
    if (testDomain.isEmpty() || presentTestDomain(testDomain))
        return std::nullopt;
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
