#include "httpsserver.h"

#include <QFile>
#include <QSslSocket>
#include <QTimer>

namespace {

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        qFatal("test server: cannot read %s", qPrintable(path));
    return file.readAll();
}

QByteArray statusLine(int status)
{
    return "HTTP/1.1 " + QByteArray::number(status) + " Test\r\n";
}

// Parses the head of a request; false while it is incomplete.
bool parseHead(const QByteArray &data, ReceivedRequest &request, qsizetype &bodyStart)
{
    const qsizetype end = data.indexOf("\r\n\r\n");
    if (end < 0)
        return false;
    const QList<QByteArray> lines = data.left(end).split('\n');
    const QList<QByteArray> requestLine = lines.first().trimmed().split(' ');
    request.method = requestLine.value(0);
    request.path = requestLine.value(1);
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon > 0)
            request.headers.insert(lines[i].left(colon).trimmed().toLower(),
                                   lines[i].mid(colon + 1).trimmed());
    }
    bodyStart = end + 4;
    return true;
}

} // namespace

Answer Answer::whole(int status, const QByteArray &body, const QByteArray &extraHeaders)
{
    Answer answer;
    answer.status = status;
    answer.chunks = {body};
    answer.extraHeaders = extraHeaders;
    return answer;
}

Answer Answer::chunked(int status, const QList<QByteArray> &chunks)
{
    Answer answer;
    answer.kind = Kind::Chunked;
    answer.status = status;
    answer.chunks = chunks;
    return answer;
}

Answer Answer::closeMidAnswer(int status, const QByteArray &partialBody, int announcedLength)
{
    Answer answer;
    answer.kind = Kind::CloseMidAnswer;
    answer.status = status;
    answer.chunks = {partialBody};
    answer.announcedLength = announcedLength;
    return answer;
}

Answer Answer::stall()
{
    Answer answer;
    answer.kind = Kind::Stall;
    return answer;
}

HttpsServer::HttpsServer(Certificate certificate)
{
    const QString name = certificate == Certificate::Trusted ? "server" : "untrusted";
    const QString dir = QStringLiteral(VELTRANE_TEST_CERTS_DIR) + u'/';
    this->certificate = QSslCertificate(readFile(dir + name + ".pem"), QSsl::Pem);
    key = QSslKey(readFile(dir + name + ".key"), QSsl::Ec, QSsl::Pem);
    if (this->certificate.isNull() || key.isNull())
        qFatal("test server: unusable certificate or key %s", qPrintable(name));
}

bool HttpsServer::start(quint16 port)
{
    return listen(QHostAddress::LocalHost, port);
}

QString HttpsServer::url() const
{
    return QStringLiteral("https://localhost:%1/diagnosticsubmit").arg(serverPort());
}

void HttpsServer::incomingConnection(qintptr socketDescriptor)
{
    auto *socket = new QSslSocket(this); // owned by the server
    if (!socket->setSocketDescriptor(socketDescriptor)) {
        delete socket;
        return;
    }
    ++connections;
    socket->setLocalCertificate(certificate);
    socket->setPrivateKey(key);
    socket->setPeerVerifyMode(QSslSocket::VerifyNone);
    connect(socket, &QSslSocket::readyRead, this, [this, socket] { readRequest(socket); });
    connect(socket, &QSslSocket::disconnected, this, [this, socket] {
        pending.remove(socket);
        socket->deleteLater();
    });
    socket->startServerEncryption();
}

void HttpsServer::readRequest(QSslSocket *socket)
{
    QByteArray &data = pending[socket];
    data += socket->readAll();
    ReceivedRequest request;
    qsizetype bodyStart = 0;
    if (!parseHead(data, request, bodyStart))
        return;
    const qsizetype length = request.headers.value("content-length", "0").toLongLong();
    if (data.size() - bodyStart < length)
        return;
    request.body = data.mid(bodyStart, length);
    data.clear();
    received.append(request);
    respond(socket);
}

void HttpsServer::respond(QSslSocket *socket)
{
    const QByteArray body = answer.chunks.join();
    switch (answer.kind) {
    case Answer::Kind::Stall:
        return;
    case Answer::Kind::Whole:
        socket->write(statusLine(answer.status) +
                      "Content-Length: " + QByteArray::number(body.size()) +
                      "\r\nConnection: close\r\n" + answer.extraHeaders + "\r\n" + body);
        socket->disconnectFromHost();
        return;
    case Answer::Kind::CloseMidAnswer:
        socket->write(statusLine(answer.status) +
                      "Content-Length: " + QByteArray::number(answer.announcedLength) +
                      "\r\nConnection: close\r\n\r\n" + body);
        socket->disconnectFromHost();
        return;
    case Answer::Kind::Chunked:
        break;
    }
    socket->write(statusLine(answer.status) +
                  "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n");
    // Each chunk goes out on its own, well apart, so that the client sees it
    // arrive as a separate piece. The socket is the timers' context: they end
    // with it.
    int delay = 0;
    for (const QByteArray &chunk : answer.chunks) {
        delay += 100;
        QTimer::singleShot(delay, socket, [socket, chunk] {
            socket->write(QByteArray::number(chunk.size(), 16) + "\r\n" + chunk + "\r\n");
        });
    }
    QTimer::singleShot(delay + 100, socket, [socket] {
        socket->write("0\r\n\r\n");
        socket->disconnectFromHost();
    });
}
