#pragma once

#include <QBuffer>
#include <QByteArray>
#include <QByteArrayView>
#include <QNetworkAccessManager>
#include <QObject>
#include <QPointer>
#include <QSslConfiguration>
#include <QString>
#include <QUrl>

#include <chrono>
#include <optional>

#include "httpprotocol.h"

class QNetworkReply;

// TLS settings of the upload: the system's trusted roots, plus the PEM
// certificates given (a test build trusts its own test authority that way).
// Certificate checks are never switched off.
QSslConfiguration uploadTlsConfiguration(QByteArrayView extraCaPem);

// One upload: posts the body as the file field of a multipart form and tells the
// delegate the outcome exactly once. The server's answer body is the reply.
// The object stays readable after its callback; its owner must not delete it
// from inside the callback.
class Http : public QObject
{
    Q_OBJECT

public:
    // An upload that makes no progress for this long fails, so that a stalled
    // server cannot hold a windowless run for ever.
    static constexpr std::chrono::milliseconds defaultTransferTimeout = std::chrono::seconds(60);

    // Starts the upload at once. body must be open for reading and not
    // sequential; it is read from its start and must stay unchanged and alive
    // while the upload runs (the caller keeps it). An empty body, or a URL that
    // is not valid, fails at once: the delegate hears of it before the
    // constructor returns.
    Http(const QUrl &url, QIODevice *body, HttpProtocol *delegate,
         std::chrono::milliseconds transferTimeout = defaultTransferTimeout);
    // The same for a body held in memory.
    Http(const QUrl &url, const QByteArray &data, HttpProtocol *delegate,
         std::chrono::milliseconds transferTimeout = defaultTransferTimeout);
    ~Http() override;

    // True once answer data arrived with a 2xx status (or no status at all).
    bool didResponseSucceed() const { return responseDidSucceed; }
    // The status seen when answer data arrived; 0 if none arrived.
    qint64 responseCode() const { return rCode; }
    // The whole answer body; absent when there was none or it is not UTF-8.
    const std::optional<QString> &reply() const { return replyText; }

private:
    void upload();
    void uploadSucceeded(bool succeeded);
    void didReceiveResponse();
    void didReceiveData();
    void exchangeFinished();

    QUrl serverURL;
    HttpProtocol *delegate;
    std::optional<QString> replyText;
    bool uploadDidSucceed = false;
    bool responseDidSucceed = false;
    std::optional<int> httpStatus;
    qint64 rCode = 0;

    QBuffer heldBody;
    QIODevice *body;
    std::chrono::milliseconds transferTimeout;
    QByteArray receivedBody;
    bool outcomeTold = false;
    QNetworkAccessManager manager;
    QPointer<QNetworkReply> exchange;
};
