#pragma once

#include <QByteArrayList>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <QSslKey>
#include <QTcpServer>

class QSslSocket;

// An HTTPS server on loopback with a certificate of make-test-certificates.sh.
// It answers every request with the pieces of answer, 100 ms apart so that the
// client sees each arrive on its own, then closes; with none it never answers.
class HttpsServer : public QTcpServer
{
    Q_OBJECT

public:
    explicit HttpsServer(const QString &certificateName = "server");
    // Port 0 picks a free one.
    bool start(quint16 port = 0, const QHostAddress &address = QHostAddress::LocalHost)
    {
        return listen(address, port);
    }

    // A whole answer with a Content-Length.
    static QByteArray reply(int status, const QByteArray &body);
    // The data of the file field of an upload request.
    static QByteArray uploadedData(const QByteArray &request);
    // The value of a header of a request, its name in any case, as HTTP allows;
    // empty when it has none.
    static QByteArray header(const QByteArray &request, const QByteArray &name);
    // What an upload to this server trusts: the system's roots and the test
    // authority.
    static QSslConfiguration clientTls();

    QByteArrayList answer{reply(200, "https://results.test/r/1")};
    QByteArrayList requests; // each whole, head and body
    int connections = 0;

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void readRequest(QSslSocket *socket);

    QSslCertificate certificate;
    QSslKey key;
};
