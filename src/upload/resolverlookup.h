#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QUdpSocket>

// Asks one name server for the IPv4 addresses of a host name, in one UDP
// datagram. Done on the event loop rather than by the system's resolver
// library, whose blocking call cannot be cut short: it would hold the program's
// exit for as long as the library waits for a silent server. Its owner decides
// how long to wait; deleting it ends it.
class ResolverLookup : public QObject
{
    Q_OBJECT

public:
    explicit ResolverLookup(const QHostAddress &nameServer);

    // Tells finished exactly once: maybe before it returns (a name that cannot
    // be asked), else from the event loop.
    void lookUp(const QString &hostName);

signals:
    // The addresses given; none when the server refused, gave none or could
    // not be reached.
    void finished(const QList<QHostAddress> &addresses);

private:
    void readAnswers();
    void finish(const QList<QHostAddress> &addresses);

    QHostAddress nameServer;
    QUdpSocket socket;
    QByteArray query;
    bool done = false;
};
