#pragma once

#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <optional>

#include "resolverlookup.h"
#include "uploadattempt.h"

// Whether a failed first try of the upload is made once more, and where.
enum class TryAgain
{
    No,
    // At an address the second resolver gives for the server and the system
    // did not: the system's may be what is broken or filtered.
    AtAnotherAddress,
    // The system found no address: at any that the second resolver gives.
    AtAnyAddress,
};

// Only after a try that failed before the connection was secured (the name did
// not resolve, the addresses refused or timed out, the TLS handshake failed):
// until then the request cannot have reached the server, so it is never stored
// twice. Not when url names an address, which no resolver can change, nor
// without a secondResolver.
TryAgain shouldTryAgain(const AttemptResult &result, const QUrl &url,
                        const QHostAddress &secondResolver);

// Whether an address that a resolver gave may be connected to: no unspecified,
// broadcast or multicast address, and no loopback one unless the results
// server is on loopback itself (a test build's).
bool mayConnectTo(const QHostAddress &address, bool loopbackAllowed);

// Looks for an address of a host that the second resolver gives and the
// system's resolver does not; the first such address that may be connected
// to, if any, is the answer. Deleting it ends it.
class ElsewhereLookup : public QObject
{
    Q_OBJECT

public:
    // Waits at most limit for the resolver; what the system has not given by
    // then counts as nothing.
    ElsewhereLookup(const QHostAddress &secondResolver, std::chrono::milliseconds limit,
                    bool loopbackAllowed = false);
    ~ElsewhereLookup() override;

    // where is AtAnotherAddress or AtAnyAddress. Tells finished exactly once,
    // maybe before it returns (a name that cannot be asked).
    void lookUp(const QString &hostName, TryAgain where);

signals:
    // No address when there is none elsewhere.
    void finished(const std::optional<QHostAddress> &address);

private:
    void choose(bool timeIsUp);
    void stop();

    ResolverLookup resolverLookup;
    QTimer lookupLimit;
    std::optional<QList<QHostAddress>> resolverAddresses;
    std::optional<QList<QHostAddress>> systemAddresses;
    int systemLookupId = -1;
    bool loopbackAllowed = false;
    bool done = false;
};
