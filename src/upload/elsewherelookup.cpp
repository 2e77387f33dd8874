#include "elsewherelookup.h"

#include <QHostInfo>

TryAgain shouldTryAgain(const AttemptResult &result, const QUrl &url,
                        const QHostAddress &secondResolver)
{
    if (result.secured || result.status || !result.body.isEmpty() || secondResolver.isNull() ||
        !QHostAddress(url.host()).isNull())
        return TryAgain::No;
    switch (result.error) {
    case QNetworkReply::HostNotFoundError:
        return TryAgain::AtAnyAddress;
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // no progress within the stall limit
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::UnknownNetworkError: // unreachable
        return TryAgain::AtAnotherAddress;
    default:
        return TryAgain::No;
    }
}

bool mayConnectTo(const QHostAddress &address, bool loopbackAllowed)
{
    return !address.isNull() && address != QHostAddress::AnyIPv4 &&
           !address.isEqual(QHostAddress::Broadcast) && !address.isMulticast() &&
           (loopbackAllowed || !address.isLoopback());
}

ElsewhereLookup::ElsewhereLookup(const QHostAddress &secondResolver,
                                 std::chrono::milliseconds limit, bool loopbackAllowed)
    : resolverLookup(secondResolver), loopbackAllowed(loopbackAllowed)
{
    lookupLimit.setSingleShot(true);
    lookupLimit.setInterval(limit);
    connect(&lookupLimit, &QTimer::timeout, this, [this] { choose(true); });
    connect(&resolverLookup, &ResolverLookup::finished, this,
            [this](const QList<QHostAddress> &addresses) {
                resolverAddresses = addresses;
                choose(false);
            });
}

ElsewhereLookup::~ElsewhereLookup()
{
    stop();
}

void ElsewhereLookup::lookUp(const QString &hostName, TryAgain where)
{
    lookupLimit.start();
    // What the first try was given, so that the second goes elsewhere.
    if (where == TryAgain::AtAnyAddress) {
        systemAddresses = QList<QHostAddress>();
    } else {
        systemLookupId = QHostInfo::lookupHost(hostName, this, [this](const QHostInfo &info) {
            systemLookupId = -1;
            systemAddresses = info.addresses();
            choose(false);
        });
    }
    resolverLookup.lookUp(hostName);
}

// Once both lookups are in, or the resolver gave nothing, or time is up.
void ElsewhereLookup::choose(bool timeIsUp)
{
    if (done)
        return;
    if (!timeIsUp && !(resolverAddresses && (resolverAddresses->isEmpty() || systemAddresses)))
        return;
    done = true;
    stop();
    for (const QHostAddress &address : resolverAddresses.value_or(QList<QHostAddress>())) {
        if (mayConnectTo(address, loopbackAllowed) &&
            !systemAddresses.value_or(QList<QHostAddress>()).contains(address)) {
            emit finished(address);
            return;
        }
    }
    emit finished(std::nullopt);
}

void ElsewhereLookup::stop()
{
    lookupLimit.stop();
    if (systemLookupId >= 0)
        QHostInfo::abortHostLookup(systemLookupId);
    systemLookupId = -1;
}
