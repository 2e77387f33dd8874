#include "dnsresponder.h"

#include <QNetworkDatagram>
#include <QtEndian>

DnsResponder::DnsResponder(const QString &answer) : answer(answer)
{
    connect(&socket, &QUdpSocket::readyRead, this, &DnsResponder::answerQueries);
}

// The query comes back as a response, with one record naming the question by
// pointer (to offset 12).
void DnsResponder::answerQueries()
{
    while (socket.hasPendingDatagrams()) {
        const QNetworkDatagram query = socket.receiveDatagram();
        ++queries;
        if (answer == "silent")
            continue;
        QByteArray response = query.data();
        // Nothing after the question: an answer behind dig's OPT record would
        // be read as another additional record.
        qsizetype end = 12;
        while (end < response.size() && response[end] != 0)
            end += 1 + quint8(response[end]);
        response.truncate(end + 5);
        response[10] = response[11] = 0;
        response[2] = char(0x81); // a response, recursion desired
        response[3] = char(0x80); // recursion available, no error
        response[7] = 1;
        char record[16] = {char(0xc0), 12, 0, 1, 0, 1, 0, 0, 0, 60, 0, 4};
        qToBigEndian(QHostAddress(answer).toIPv4Address(), record + 12);
        response.append(record, sizeof record);
        // Not makeReply: some kernels then send it from another loopback address.
        socket.writeDatagram(response, query.senderAddress(), quint16(query.senderPort()));
    }
}
