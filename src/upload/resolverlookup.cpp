#include "resolverlookup.h"

#include "dnsmessage.h"

#include <QNetworkDatagram>
#include <QRandomGenerator>
#include <QUrl>

ResolverLookup::ResolverLookup(const QHostAddress &nameServer) : nameServer(nameServer)
{
    connect(&socket, &QUdpSocket::readyRead, this, &ResolverLookup::readAnswers);
    // An unreachable server (an ICMP error) ends the lookup at once.
    connect(&socket, &QUdpSocket::errorOccurred, this, [this] { finish({}); });
}

void ResolverLookup::lookUp(const QString &hostName)
{
    // A random id, and the random port the socket gets, keep a forged answer
    // from elsewhere out; the certificate check stays the last guard.
    const auto id = quint16(QRandomGenerator::system()->bounded(0x10000));
    query = dnsQuery(id, QUrl::toAce(hostName));
    if (query.isEmpty()) {
        finish({});
        return;
    }
    socket.connectToHost(nameServer, 53);
    socket.write(query);
}

void ResolverLookup::readAnswers()
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram datagram = socket.receiveDatagram();
        // Anything that is no answer to the query is passed over: the answer
        // may still come.
        if (const auto addresses = dnsAnswerAddresses(datagram.data(), query)) {
            finish(*addresses);
            return;
        }
    }
}

void ResolverLookup::finish(const QList<QHostAddress> &addresses)
{
    if (done)
        return;
    done = true;
    socket.abort();
    emit finished(addresses);
}
