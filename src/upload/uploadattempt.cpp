#include "uploadattempt.h"

#include <QNetworkAccessManager>
#include <QNetworkProxyFactory>
#include <QSslSocket>

namespace {

// Beyond this an answer is not even read to its end; the room above the 8 KiB
// of a link is for trailing white space.
constexpr qsizetype mostReplyRead = 64 * 1024;
// The body goes out in pieces of this size, each when the last has left.
constexpr qint64 sendPiece = 64 * 1024;

QNetworkReply::NetworkError networkError(QAbstractSocket::SocketError error)
{
    switch (error) {
    case QAbstractSocket::HostNotFoundError:
        return QNetworkReply::HostNotFoundError;
    case QAbstractSocket::ConnectionRefusedError:
        return QNetworkReply::ConnectionRefusedError;
    case QAbstractSocket::RemoteHostClosedError:
        return QNetworkReply::RemoteHostClosedError;
    case QAbstractSocket::SocketTimeoutError:
        return QNetworkReply::TimeoutError;
    case QAbstractSocket::SslHandshakeFailedError:
        return QNetworkReply::SslHandshakeFailedError;
    case QAbstractSocket::ProxyConnectionRefusedError:
        return QNetworkReply::ProxyConnectionRefusedError;
    case QAbstractSocket::ProxyConnectionClosedError:
        return QNetworkReply::ProxyConnectionClosedError;
    case QAbstractSocket::ProxyNotFoundError:
        return QNetworkReply::ProxyNotFoundError;
    case QAbstractSocket::ProxyConnectionTimeoutError:
        return QNetworkReply::ProxyTimeoutError;
    case QAbstractSocket::ProxyAuthenticationRequiredError:
        return QNetworkReply::ProxyAuthenticationRequiredError;
    default:
        return QNetworkReply::UnknownNetworkError;
    }
}

// The request's head as HTTP/1.1 sends it; one request per connection.
QByteArray requestHead(const QNetworkRequest &request, qint64 bodySize)
{
    const QUrl url = request.url();
    QByteArray head =
        "POST " + url.toEncoded(QUrl::RemoveScheme | QUrl::RemoveAuthority) + " HTTP/1.1\r\n";
    QByteArray host = request.rawHeader("Host");
    if (host.isEmpty()) {
        host = QUrl::toAce(url.host());
        if (url.port() != -1)
            host += ':' + QByteArray::number(url.port());
    }
    head += "Host: " + host + "\r\n";
    for (const QByteArray &name : request.rawHeaderList()) {
        if (name.compare("Host", Qt::CaseInsensitive) != 0)
            head += name + ": " + request.rawHeader(name) + "\r\n";
    }
    return head + "Content-Length: " + QByteArray::number(bodySize) +
           "\r\nConnection: close\r\n\r\n";
}

} // namespace

UploadAttempt::UploadAttempt(QNetworkAccessManager &manager, PostRequest post)
    : post(std::move(post)), socket(std::make_unique<QSslSocket>())
{
    const QNetworkRequest &request = this->post.request;
    const QUrl url = request.url();
    if (QNetworkProxyFactory *proxies = manager.proxyFactory()) {
        const QList<QNetworkProxy> found = proxies->queryProxy(QNetworkProxyQuery(url));
        socket->setProxy(found.value(0, QNetworkProxy::NoProxy));
    } else {
        socket->setProxy(QNetworkProxy::NoProxy);
    }
    socket->setSslConfiguration(request.sslConfiguration());
    const QString peerName =
        request.peerVerifyName().isEmpty() ? url.host() : request.peerVerifyName();
    socket->setPeerVerifyName(peerName);

    stall.setSingleShot(true);
    stall.setInterval(request.transferTimeout());
    connect(&stall, &QTimer::timeout, this, [this] { end(QNetworkReply::OperationCanceledError); });
    connect(socket.get(), &QSslSocket::encrypted, this, &UploadAttempt::connected);
    connect(socket.get(), &QSslSocket::bytesWritten, this, &UploadAttempt::sendBody);
    connect(socket.get(), &QSslSocket::readyRead, this, &UploadAttempt::readAnswer);
    connect(socket.get(), &QSslSocket::sslErrors, this,
            [this](const QList<QSslError> &errors) { result.certificateErrors = errors; });
    connect(socket.get(), &QSslSocket::errorOccurred, this,
            [this](QAbstractSocket::SocketError error) {
                if (error == QAbstractSocket::RemoteHostClosedError) {
                    readAnswer();
                    reader.closed();
                    if (reader.isComplete())
                        return end(QNetworkReply::NoError);
                }
                end(networkError(error));
            });
    connect(socket.get(), &QSslSocket::disconnected, this, [this] {
        reader.closed();
        end(reader.isComplete() ? QNetworkReply::NoError : QNetworkReply::RemoteHostClosedError);
    });
    progress();
    socket->connectToHostEncrypted(url.host(), quint16(url.port(443)), peerName);
}

UploadAttempt::~UploadAttempt()
{
    ended = true;
    socket->disconnect(this);
    socket->abort();
}

AttemptResult UploadAttempt::abort()
{
    ended = true;
    socket->disconnect(this);
    socket->abort();
    stall.stop();
    result.error = QNetworkReply::OperationCanceledError;
    return result;
}

// From here on the server may have the report: it is sent once and never again.
void UploadAttempt::connected()
{
    result.secured = true;
    progress();
    socket->write(requestHead(post.request, post.body->size()));
    sendBody();
}

void UploadAttempt::sendBody()
{
    progress();
    // Little is held in the socket at a time: the report may be large.
    while (!ended && !post.body->atEnd() && socket->bytesToWrite() < sendPiece) {
        const QByteArray piece = post.body->read(sendPiece);
        if (piece.isEmpty()) {
            end(QNetworkReply::UnknownNetworkError);
            return;
        }
        socket->write(piece);
    }
}

void UploadAttempt::readAnswer()
{
    const QByteArray bytes = socket->readAll();
    if (bytes.isEmpty() || ended)
        return;
    progress();
    reader.feed(bytes);
    result.status = reader.status();
    result.body = reader.body();
    result.answerTooLong = result.body.size() > mostReplyRead;
    if (reader.isMalformed())
        end(QNetworkReply::ProtocolFailure);
    else if (result.answerTooLong)
        end(QNetworkReply::OperationCanceledError);
    else if (reader.isComplete())
        end(QNetworkReply::NoError);
}

void UploadAttempt::end(QNetworkReply::NetworkError error)
{
    if (ended)
        return;
    ended = true;
    stall.stop();
    result.error = error;
    socket->disconnect(this);
    socket->abort();
    emit finished(result);
}

void UploadAttempt::progress()
{
    if (!ended && stall.interval() > 0)
        stall.start();
}
