#pragma once

#include <QString>

#include <functional>
#include <optional>

// The inputs a run fixes before its first test: account, ticket, test domain
// and whether the agent tests run.

// An account or ticket number as the report carries it: each run of line
// breaks, tabs and other control characters one space, blanks trimmed at both
// ends; absent when nothing is left.
std::optional<QString> trimmedEntry(const QString &text);

// The domain a run tests: the --domain value when it is non-empty, else the
// window's field, which is read only then; every blank removed.
QString testDomainText(const std::optional<QString> &domainOption,
                       const std::function<QString()> &readField);

// What the tools are given for the domain typed: the host of an address
// ("https://host/path?q", as the help's "a URL" invites), and a name with
// letters that are not ASCII in its ASCII form ("xn--..."); else the text.
struct TestDomainName
{
    QString name;
    // The name is the host of an address that was given.
    bool fromAddress = false;
};
TestDomainName testDomainName(const QString &text);

// dig and traceroute would read such a name as an option of their own, and dig
// a leading "@" as the server to ask.
bool looksLikeOption(const QString &testDomain);

// The test domain when it is present: non-empty, holding a dot somewhere, not
// looking like an option, holding no control character and no empty label.
std::optional<QString> presentTestDomain(const QString &testDomain);

// Why a given test domain is not tested, as the user is told; nothing when it
// is tested or none was given.
std::optional<QString> skippedTestDomainNotice(const QString &testDomain);

// --noamx wins over both an installed agent and --amx.
bool agentGateHolds(bool skipAmx, bool isAmx, bool forceAmx);
