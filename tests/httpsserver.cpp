#include "httpsserver.h"

#include "http.h"

#include <QFile>
#include <QSslSocket>
#include <QTimer>

static QByteArray certificateFile(const QString &name)
{
    QFile file(QStringLiteral(VELTRANE_TEST_CERTS_DIR "/") + name);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("test server: cannot read %s", qPrintable(name));
    return file.readAll();
}

HttpsServer::HttpsServer(const QString &certificateName)
    : certificate(certificateFile(certificateName + ".pem"), QSsl::Pem),
      key(certificateFile(certificateName + ".key"), QSsl::Ec, QSsl::Pem)
{
}

QByteArray HttpsServer::reply(int status, const QByteArray &body)
{
    return "HTTP/1.1 " + QByteArray::number(status) +
           " Test\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

QSslConfiguration HttpsServer::clientTls()
{
    return uploadTlsConfiguration(certificateFile("ca.pem"));
}

// As a server reads it: up to the first line of the boundary that the head
// names. With the upload's boundary, 87 bytes of the form come before the data
// (the boundary line, 19, and the Content-Disposition line with the blank line
// after it, 68), 23 after it.
QByteArray HttpsServer::uploadedData(const QByteArray &request)
{
    const QByteArray boundary = header(request, "content-type").split('=').value(1);
    const QByteArray body = request.mid(request.indexOf("\r\n\r\n") + 4);
    const QByteArray data = body.mid(boundary.size() + 72);
    return data.left(data.indexOf("\r\n--" + boundary));
}

QByteArray HttpsServer::header(const QByteArray &request, const QByteArray &name)
{
    const QByteArray head = request.left(request.indexOf("\r\n\r\n"));
    for (const QByteArray &line : head.split('\n')) {
        const qsizetype colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

void HttpsServer::incomingConnection(qintptr socketDescriptor)
{
    ++connections;
    auto *socket = new QSslSocket(this);
    socket->setSocketDescriptor(socketDescriptor);
    socket->setLocalCertificate(certificate);
    socket->setPrivateKey(key);
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { readRequest(socket); });
    connect(socket, &QSslSocket::disconnected, socket, &QObject::deleteLater);
    socket->startServerEncryption();
}

// The request stays in the socket until it is whole.
void HttpsServer::readRequest(QSslSocket *socket)
{
    const QByteArray received = socket->peek(socket->bytesAvailable());
    qsizetype size = received.indexOf("\r\n\r\n") + 4;
    if (size < 4)
        return;
    for (const QByteArray &line : received.first(size).toLower().split('\n')) {
        if (line.startsWith("content-length:"))
            size += line.mid(15).trimmed().toLongLong();
    }
    if (received.size() < size)
        return;
    requests.append(socket->read(size));
    // The socket is the timers' context: they end with it.
    for (qsizetype i = 0; i < answer.size(); ++i) {
        QTimer::singleShot(100 * i, socket,
                           [socket, piece = answer[i], last = i + 1 == answer.size()] {
                               socket->write(piece);
                               if (last)
                                   socket->disconnectFromHost();
                           });
    }
}
