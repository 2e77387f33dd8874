#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// Readers of what the battery's tools print, as they print it on Linux and on
// macOS. Each takes the streams as the report carries them and never guesses:
// output of a shape it does not know is Unreadable.

// One dig query, from both its streams: dig prints most of its errors on
// standard output.
struct DigReading
{
    enum class Outcome
    {
        Answered,
        NoAnswerInTime,
        Refused,
        Unreachable,
        Failed,
        Unreadable
    };
    Outcome outcome = Outcome::Unreadable;
    // The header's status when answered: "NOERROR", "NXDOMAIN", "REFUSED"...
    QString status;
    // The data of each answer record in order: an address, a quoted text.
    QStringList answers;
    // dig's own words when it could not send the query.
    QString problem;
};
DigReading readDig(const QString &output);

// One ping run of one or more echo requests.
struct PingReading
{
    enum class Outcome
    {
        Replied,
        NoReply,
        Failed,
        Unreadable
    };
    Outcome outcome = Outcome::Unreadable;
    int transmitted = 0;
    int received = 0;
    std::optional<double> averageMs;
    // ping's own words when it sent nothing: "Temporary failure in name resolution".
    QString problem;
};
PingReading readPing(const QString &stdOut, const QString &stdErr);

// One traceroute run.
struct TraceReading
{
    enum class Outcome
    {
        Reached,
        NotReached,
        Failed,
        Unreadable
    };
    Outcome outcome = Outcome::Unreadable;
    // The hop that answered from the target; when not reached, the last hop
    // from which anything answered (0: none).
    int hops = 0;
    QString problem;
};
TraceReading readTraceroute(const QString &stdOut, const QString &stdErr);

// One curl transfer. Silent transfers (-s) print nothing at all when they fail.
struct WebReading
{
    enum class Outcome
    {
        Answered,
        Failed,
        PrintedNothing
    };
    Outcome outcome = Outcome::PrintedNothing;
    // The last status line shown (-I, -v), without its protocol: "200 OK".
    QString status;
    // The title of the page printed, if it has one.
    QString title;
    // curl's own message on failure, where it printed one (-v).
    QString problem;
};
WebReading readCurl(const QString &stdOut, const QString &stdErr);

// The resolvers the system's settings name: resolv.conf and, where present,
// resolvectl's servers per link (Linux), or scutil --dns (macOS).
struct ResolverReading
{
    // resolv.conf's nameservers, or the default resolvers of scutil --dns.
    QStringList configured;
    // resolvectl's servers, global and per link; empty where it did not run.
    QStringList perLink;
};
ResolverReading readResolvers(const QString &stdOut);

// What a command of the battery found missing: the tool a result block names
// in "could not start <path>: <error>", or a tool the shell did not find.
// Empty when every tool started.
QString missingTool(const QString &stdErr);
