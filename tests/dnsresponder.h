#pragma once

#include <QString>
#include <QUdpSocket>

// A name server on loopback for the upload tests, on port 53 (the only port a
// name server is asked on). It answers every query as told: never ("silent"),
// with a refusal ("refuse"), or with the one IPv4 address given. It counts the
// queries.
class DnsResponder : public QObject
{
public:
    explicit DnsResponder(const QString &answer);
    bool start(const QHostAddress &address) { return socket.bind(address, 53); }

    int queries = 0;

private:
    void answerQueries();

    QString answer;
    QUdpSocket socket;
};
