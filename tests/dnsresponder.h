#pragma once

#include <QString>
#include <QUdpSocket>

// A name server on loopback for the tests, on port 53 unless told otherwise. It
// answers every query as told: never ("silent") or with the one IPv4 address
// given. It counts the queries.
class DnsResponder : public QObject
{
public:
    explicit DnsResponder(const QString &answer);
    bool start(const QHostAddress &address, quint16 port = 53)
    {
        return socket.bind(address, port);
    }

    int queries = 0;

private:
    void answerQueries();

    QString answer;
    QUdpSocket socket;
};
