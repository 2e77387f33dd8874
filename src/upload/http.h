#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QNetworkAccessManager>
#include <QObject>
#include <QSslConfiguration>
#include <QSslError>
#include <QString>
#include <QTimer>
#include <QUrl>

#include <chrono>
#include <memory>
#include <optional>

#include "httpprotocol.h"
#include "multipart.h"

class ElsewhereLookup;
class UploadAttempt;
enum class TryAgain;
struct AttemptResult;

// Why the results server's certificate was refused, in one line: it has
// expired, it is not valid for the name, it is not trusted, or as the TLS
// library words it.
QString certificateRefusal(const QList<QSslError> &errors, const QString &name);

// TLS settings of an upload: the system's trusted roots, plus the PEM
// certificates given (a test build trusts its own test authority that way).
// Certificate checks are never switched off.
QSslConfiguration uploadTlsConfiguration(QByteArrayView extraCaPem);

// The results server's answer as the link it is meant to be: UTF-8 text
// without the white space at either end, at most 8 KiB, holding no control
// character (an escape sequence would reach the user's terminal), only
// printable ASCII, and an absolute https:// or http:// address with a host.
// Otherwise no link, and why.
struct CheckedReply
{
    std::optional<QString> link;
    const char *problem = nullptr;
};
CheckedReply checkReply(const QByteArray &body);

// How long an upload may take, so that no server can hold a run for ever.
struct UploadLimits
{
    // A try that makes no progress for this long fails.
    std::chrono::milliseconds stall = std::chrono::seconds(60);
    // The whole upload, every try and lookup included, fails after this long,
    // however steadily a server trickles.
    std::chrono::milliseconds whole = std::chrono::seconds(300);
    // The lookup at the second resolver.
    std::chrono::milliseconds lookup = std::chrono::seconds(3);
};

// Where a second try looks the results server up, and whether that resolver
// may give a loopback address: only where the results server itself is on
// loopback, as in a test build.
struct SecondResolver
{
    SecondResolver(const QHostAddress &address = QHostAddress(), bool loopbackAllowed = false)
        : address(address), loopbackAllowed(loopbackAllowed)
    {
    }
    QHostAddress address;
    bool loopbackAllowed;
};

// One upload: posts the body as the file field of a multipart form and tells
// the delegate the outcome exactly once. The server's answer body is the reply.
//
// When the first try fails so that shouldTryAgain allows another, the name is
// looked up at secondResolver, and an address the system did not give is tried
// once, with the same host name for the Host header and the certificate check.
//
// The object stays readable after its callback; its owner must not delete it
// from inside the callback.
class Http : public QObject
{
    Q_OBJECT

public:
    // Starts the upload at once. body must be open for reading and not
    // sequential; it is read from its start, as often as there are tries, and
    // must stay unchanged and alive while the upload runs (the caller keeps
    // it). An empty body, or a URL that is not valid, fails at once: the
    // delegate hears of it before the constructor returns. Every try trusts
    // the certificate authorities of tls (see uploadTlsConfiguration). Without
    // a secondResolver there is no second try. The form's boundary must not
    // occur in the body.
    Http(const QUrl &url, QIODevice *body, HttpProtocol *delegate, const QSslConfiguration &tls,
         const SecondResolver &secondResolver = {}, const UploadLimits &limits = {},
         const QByteArray &boundary = uploadBoundary);
    ~Http() override;

    // True once answer data arrived with a 2xx status (or no status at all)
    // and the answer is a link.
    bool didResponseSucceed() const { return responseDidSucceed; }
    // The status seen when answer data arrived; 0 if none arrived.
    qint64 responseCode() const { return rCode; }
    // The answer body without the white space at either end; absent when
    // there was none, or when it is no link that could be shown (see
    // checkReply).
    const std::optional<QString> &reply() const { return replyText; }

private:
    enum class State
    {
        Posting,
        LookingUp, // for an address elsewhere, once the first try failed
        PostingElsewhere,
        Finished, // the delegate has been told
    };

    void upload();
    void send(const QUrl &url);
    void attemptFinished(const AttemptResult &result);
    void lookUpElsewhere(TryAgain where);
    void sendElsewhere(const std::optional<QHostAddress> &address);
    void giveUp();
    void uploadSucceeded(const AttemptResult &last, bool readAnswer);

    QUrl serverURL;
    HttpProtocol *delegate;
    QIODevice *body;
    QSslConfiguration tls;
    SecondResolver secondResolver;
    UploadLimits limits;
    QByteArray boundary;

    State state = State::Posting;
    QNetworkAccessManager manager;
    QTimer wholeLimit;
    std::unique_ptr<UploadAttempt> attempt;
    std::unique_ptr<ElsewhereLookup> lookup;

    // The outcome, as the delegate reads it.
    bool responseDidSucceed = false;
    qint64 rCode = 0;
    std::optional<QString> replyText;
};
