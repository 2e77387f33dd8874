#pragma once

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QSslCertificate>
#include <QSslKey>
#include <QTcpServer>

class QSslSocket;

// How the test server answers every request.
struct Answer
{
    enum class Kind
    {
        Whole,
        Chunked,
        CloseMidAnswer,
        Stall
    };

    // status with the body and a Content-Length
    static Answer whole(int status, const QByteArray &body, const QByteArray &extraHeaders = {});
    // status with the body in chunked encoding, one chunk at a time, apart
    static Answer chunked(int status, const QList<QByteArray> &chunks);
    // status and a Content-Length of announcedLength, but only partialBody, then
    // the connection closes
    static Answer closeMidAnswer(int status, const QByteArray &partialBody, int announcedLength);
    // reads the request and never answers
    static Answer stall();

    Kind kind = Kind::Whole;
    int status = 200;
    QList<QByteArray> chunks;
    QByteArray extraHeaders;
    int announcedLength = 0;
};

// What the server received.
struct ReceivedRequest
{
    QByteArray method;
    QByteArray path;
    QMap<QByteArray, QByteArray> headers; // names in lower case
    QByteArray body;
};

// An HTTPS server on loopback for the upload tests, with the certificate of
// the test authority that test builds trust, or with one nobody trusts.
class HttpsServer : public QTcpServer
{
    Q_OBJECT

public:
    enum class Certificate
    {
        Trusted,
        Untrusted
    };

    explicit HttpsServer(Certificate certificate = Certificate::Trusted);

    // Listens on 127.0.0.1; port 0 picks a free one.
    bool start(quint16 port = 0);
    QString url() const; // https://localhost:<port>/diagnosticsubmit

    void setAnswer(const Answer &answer) { this->answer = answer; }
    const QList<ReceivedRequest> &requests() const { return received; }
    int connectionCount() const { return connections; }

protected:
    void incomingConnection(qintptr socketDescriptor) override;

private:
    void readRequest(QSslSocket *socket);
    void respond(QSslSocket *socket);

    QSslCertificate certificate;
    QSslKey key;
    Answer answer = Answer::whole(200, "https://results.test/r/1");
    QList<ReceivedRequest> received;
    QMap<QSslSocket *, QByteArray> pending;
    int connections = 0;
};
