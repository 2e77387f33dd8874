#include "findingsparsers.h"

#include <QRegularExpression>

namespace {

using Match = QRegularExpressionMatch;

QRegularExpression lines(const QString &pattern)
{
    return QRegularExpression(pattern, QRegularExpression::MultilineOption);
}

// The last match of a pattern in the text, if any.
std::optional<Match> lastMatch(const QRegularExpression &pattern, const QString &text)
{
    std::optional<Match> last;
    for (const Match &match : pattern.globalMatch(text))
        last = match;
    return last;
}

// What a tool said about why it could not begin: the words after the last
// colon of its first line ("ping: connect: No route to host").
QString ownWords(const QString &stdErr)
{
    for (const QString &line : stdErr.split(u'\n')) {
        if (!line.trimmed().isEmpty())
            return line.section(QStringLiteral(": "), -1).trimmed();
    }
    return {};
}

void appendNew(QStringList &list, const QString &value)
{
    if (!list.contains(value))
        list.append(value);
}

} // namespace

DigReading readDig(const QString &output)
{
    DigReading reading;
    static const auto header = lines(QStringLiteral("^;; ->>HEADER<<-.* status: (\\w+),"));
    // Only the last answer counts: dig may have retried after an error.
    if (const auto match = lastMatch(header, output)) {
        reading.outcome = DigReading::Outcome::Answered;
        reading.status = match->captured(1);
        const QString answers = output.section(QStringLiteral(";; ANSWER SECTION:\n"), -1);
        static const auto record =
            QRegularExpression(QStringLiteral("^\\S+\\s+\\d+\\s+\\S+\\s+\\S+\\s+(.*)$"));
        if (answers.size() < output.size()) {
            for (const QString &line : answers.split(u'\n')) {
                const Match match = record.match(line);
                if (!match.hasMatch())
                    break;
                reading.answers.append(match.captured(1).trimmed());
            }
        }
        return reading;
    }
    static const auto setupFailed = lines(QStringLiteral("^;; .* failed: (.*?)\\.?$"));
    if (output.contains(QLatin1String("timed out")))
        reading.outcome = DigReading::Outcome::NoAnswerInTime;
    else if (output.contains(QLatin1String("connection refused")))
        reading.outcome = DigReading::Outcome::Refused;
    else if (output.contains(QLatin1String("unreachable")))
        reading.outcome = DigReading::Outcome::Unreachable;
    else if (const auto match = lastMatch(setupFailed, output)) {
        reading.outcome = DigReading::Outcome::Failed;
        reading.problem = match->captured(1);
    }
    return reading;
}

PingReading readPing(const QString &stdOut, const QString &stdErr)
{
    PingReading reading;
    // Linux: "5 packets transmitted, 3 received, 40% packet loss";
    // macOS: "5 packets transmitted, 3 packets received, 40.0% packet loss".
    static const QRegularExpression summary(
        QStringLiteral("(\\d+) packets transmitted, (\\d+) (?:packets )?received"));
    static const QRegularExpression roundTrip(QStringLiteral("= [\\d.]+/([\\d.]+)/"));
    const Match counts = summary.match(stdOut);
    if (counts.hasMatch()) {
        reading.transmitted = counts.captured(1).toInt();
        reading.received = counts.captured(2).toInt();
        reading.outcome =
            reading.received > 0 ? PingReading::Outcome::Replied : PingReading::Outcome::NoReply;
        if (const Match average = roundTrip.match(stdOut); average.hasMatch())
            reading.averageMs = average.captured(1).toDouble();
    } else if (!stdErr.trimmed().isEmpty()) {
        reading.outcome = PingReading::Outcome::Failed;
        reading.problem = ownWords(stdErr);
    }
    return reading;
}

TraceReading readTraceroute(const QString &stdOut, const QString &stdErr)
{
    TraceReading reading;
    // macOS prints this line on standard error, Linux on standard output.
    static const auto target = lines(QStringLiteral("^traceroute to \\S+ \\(([^)]+)\\)"));
    const QString all = stdErr + u'\n' + stdOut;
    const Match header = target.match(all);
    if (!header.hasMatch()) {
        if (!stdErr.trimmed().isEmpty()) {
            reading.outcome = TraceReading::Outcome::Failed;
            reading.problem = ownWords(stdErr);
        }
        return reading;
    }
    const QString address = header.captured(1);
    reading.outcome = TraceReading::Outcome::NotReached;
    static const auto hop = lines(QStringLiteral("^[ \\t]*(\\d+)[ \\t]+(.*)$"));
    for (const Match &match : hop.globalMatch(stdOut)) {
        const QString answers = match.captured(2);
        if (answers.contains(u'(' + address + u')') || answers.startsWith(address + u' ')) {
            reading.outcome = TraceReading::Outcome::Reached;
            reading.hops = match.captured(1).toInt();
            return reading;
        }
        if (answers.contains(QRegularExpression(QStringLiteral("[^*\\s]"))))
            reading.hops = match.captured(1).toInt();
    }
    return reading;
}

WebReading readCurl(const QString &stdOut, const QString &stdErr)
{
    WebReading reading;
    // "-v" shows the status lines on standard error, "-I" on standard output.
    static const auto status = lines(QStringLiteral("^(?:< )?HTTP/\\S+ (\\d{3}.*?)\\s*$"));
    auto statusLine = lastMatch(status, stdErr);
    if (!statusLine)
        statusLine = lastMatch(status, stdOut);
    if (statusLine)
        reading.status = statusLine->captured(1);

    static const QRegularExpression title(QStringLiteral("<title[^>]*>(.*?)</title>"),
                                          QRegularExpression::CaseInsensitiveOption |
                                              QRegularExpression::DotMatchesEverythingOption);
    if (const Match match = title.match(stdOut); match.hasMatch())
        reading.title = match.captured(1).simplified().left(60);

    static const auto failure = lines(QStringLiteral("^curl: \\(\\d+\\) (.*)$"));
    if (const auto match = lastMatch(failure, stdErr)) {
        reading.outcome = WebReading::Outcome::Failed;
        reading.problem = match->captured(1).trimmed();
    } else if (statusLine || !stdOut.trimmed().isEmpty()) {
        reading.outcome = WebReading::Outcome::Answered;
    }
    return reading;
}

ResolverReading readResolvers(const QString &stdOut)
{
    ResolverReading reading;
    static const auto resolvConf = lines(QStringLiteral("^[ \\t]*nameserver[ \\t]+(\\S+)"));
    for (const Match &match : resolvConf.globalMatch(stdOut))
        appendNew(reading.configured, match.captured(1));

    // scutil --dns: resolvers that serve one domain only ("domain : local")
    // are not the ones the system asks by default.
    static const auto scopedDomain = lines(QStringLiteral("^[ \\t]*domain[ \\t]*:"));
    static const auto scutilServer =
        lines(QStringLiteral("^[ \\t]*nameserver\\[\\d+\\][ \\t]*:[ \\t]*(\\S+)"));
    for (const QString &resolver : stdOut.split(QStringLiteral("\nresolver #"))) {
        if (resolver.contains(scopedDomain))
            continue;
        for (const Match &match : scutilServer.globalMatch(resolver))
            appendNew(reading.configured, match.captured(1));
    }

    // resolvectl dns: "Global: 1.1.1.1#one.one.one.one", "Link 2 (eth0): 10.0.0.1".
    static const auto perLink = lines(QStringLiteral("^(?:Global|Link \\d+ \\([^)]*\\)):(.*)$"));
    for (const Match &match : perLink.globalMatch(stdOut)) {
        for (const QString &server : match.captured(1).split(u' ', Qt::SkipEmptyParts))
            appendNew(reading.perLink, server.section(u'#', 0, 0));
    }
    return reading;
}

QString missingTool(const QString &stdErr)
{
    static const auto notStarted = lines(QStringLiteral("^could not start (\\S+): "));
    if (const Match match = notStarted.match(stdErr); match.hasMatch())
        return match.captured(1).section(u'/', -1);
    // dash: "sh: 1: resolvectl: not found"; bash: "sh: line 1: x: command not found".
    static const auto notFound =
        lines(QStringLiteral("^(?:\\S*/)?sh: (?:(?:line )?\\d+: )?(\\S+): (?:command )?not found"));
    if (const Match match = notFound.match(stdErr); match.hasMatch())
        return match.captured(1);
    return {};
}
