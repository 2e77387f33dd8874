#include "http.h"

#include "elsewherelookup.h"
#include "multipart.h"
#include "uploadattempt.h"

#include <QNetworkProxyFactory>
#include <QNetworkRequest>
#include <QSslCertificate>
#include <QStringDecoder>

namespace {

// Proxies as the desktop's settings (or the proxy environment variables) say.
class SystemProxyFactory : public QNetworkProxyFactory
{
public:
    QList<QNetworkProxy> queryProxy(const QNetworkProxyQuery &query) override
    {
        return systemProxyForQuery(query);
    }
};

constexpr qsizetype longestReply = 8 * 1024;

} // namespace

QSslConfiguration uploadTlsConfiguration(QByteArrayView extraCaPem)
{
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    const QList<QSslCertificate> extra =
        QSslCertificate::fromData(extraCaPem.toByteArray(), QSsl::Pem);
    // Adding certificates turns off the lazy loading of the system's roots, so
    // they are listed explicitly alongside.
    if (!extra.isEmpty())
        tls.setCaCertificates(QSslConfiguration::systemCaCertificates() + extra);
    return tls;
}

CheckedReply checkReply(const QByteArray &body)
{
    // Stateless, so that a sequence cut off at the end counts as invalid too.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = QString(decoder(body)).trimmed();
    if (decoder.hasError())
        return {std::nullopt, "the results server answered with something that is not UTF-8 text"};
    if (text.isEmpty())
        return {std::nullopt, "the results server answered with white space only"};
    if (text.toUtf8().size() > longestReply)
        return {std::nullopt, "the results server answered with more than 8 KiB of text"};
    for (const QChar c : text) {
        if (c.category() == QChar::Other_Control)
            return {std::nullopt, "the results server answered with a control character"};
    }
    // Shown and opened as it stands: no character may hide or mimic another
    // (a right-to-left override, a zero-width space, a look-alike letter).
    for (const QChar c : text) {
        if (c.unicode() < 0x20 || c.unicode() > 0x7e)
            return {std::nullopt,
                    "the results server answered with a character that is not printable ASCII"};
    }
    const QUrl link(text, QUrl::StrictMode);
    const bool web = text.startsWith(QLatin1String("https://"), Qt::CaseInsensitive) ||
                     text.startsWith(QLatin1String("http://"), Qt::CaseInsensitive);
    if (!web || !link.isValid() || link.host().isEmpty())
        return {std::nullopt, "the results server answered with something that is not a web link"};
    return {text, nullptr};
}

Http::Http(const QUrl &url, QIODevice *body, HttpProtocol *delegate, const QSslConfiguration &tls,
           const SecondResolver &secondResolver, const UploadLimits &limits,
           const QByteArray &boundary)
    : serverURL(url), delegate(delegate), body(body), tls(tls), secondResolver(secondResolver),
      limits(limits), boundary(boundary)
{
    upload();
}

Http::~Http() = default;

void Http::upload()
{
    manager.setProxyFactory(new SystemProxyFactory); // owned by the manager
    wholeLimit.setSingleShot(true);
    connect(&wholeLimit, &QTimer::timeout, this, &Http::giveUp);

    if (!body || !body->isReadable() || body->isSequential() || body->size() == 0 ||
        !serverURL.isValid()) {
        uploadSucceeded({}, false);
        return;
    }
    wholeLimit.start(limits.whole);
    send(serverURL);
}

void Http::send(const QUrl &url)
{
    PostRequest post = postRequestWithURL(url, boundary, body);
    QNetworkRequest &request = post.request;
    request.setSslConfiguration(tls);
    request.setTransferTimeout(static_cast<int>(limits.stall.count()));
    if (state == State::PostingElsewhere) {
        // Sent to an address, the request still names the server, and the
        // server must still prove that name (also sent as the TLS server name).
        request.setPeerVerifyName(serverURL.host());
        QByteArray host = QUrl::toAce(serverURL.host());
        if (serverURL.port() != -1)
            host += ':' + QByteArray::number(serverURL.port());
        request.setRawHeader("Host", host);
    }
    // A second try replaces the first, which has ended.
    attempt = std::make_unique<UploadAttempt>(manager, std::move(post));
    connect(attempt.get(), &UploadAttempt::finished, this, &Http::attemptFinished);
}

QString certificateRefusal(const QList<QSslError> &errors, const QString &name)
{
    QStringList reasons;
    for (const QSslError &error : errors) {
        QString reason;
        switch (error.error()) {
        case QSslError::CertificateExpired:
            reason = QStringLiteral("it has expired");
            break;
        case QSslError::CertificateNotYetValid:
            reason = QStringLiteral("it is not valid yet");
            break;
        case QSslError::HostNameMismatch:
            reason = QStringLiteral("it is not valid for the name %1").arg(name);
            break;
        case QSslError::CertificateRevoked:
            reason = QStringLiteral("it has been revoked");
            break;
        case QSslError::SelfSignedCertificate:
        case QSslError::SelfSignedCertificateInChain:
        case QSslError::UnableToGetLocalIssuerCertificate:
        case QSslError::UnableToGetIssuerCertificate:
        case QSslError::UnableToVerifyFirstCertificate:
        case QSslError::CertificateUntrusted:
        case QSslError::CertificateRejected:
            reason = QStringLiteral("it is not trusted");
            break;
        default:
            reason = error.errorString();
        }
        if (!reasons.contains(reason))
            reasons.append(reason);
    }
    return QStringLiteral("the results server's certificate was refused: ") +
           reasons.join(QLatin1String(", "));
}

void Http::attemptFinished(const AttemptResult &result)
{
    // Whether someone may be in between, or the network is at fault.
    if (!result.certificateErrors.isEmpty())
        qWarning("%s",
                 qUtf8Printable(certificateRefusal(result.certificateErrors, serverURL.host())));
    if (state == State::Posting) {
        const TryAgain where = shouldTryAgain(result, serverURL, secondResolver.address);
        if (where != TryAgain::No) {
            lookUpElsewhere(where);
            return;
        }
    }
    if (result.answerTooLong)
        qWarning("the results server answered with more than 8 KiB of text");
    uploadSucceeded(result, !result.answerTooLong);
}

void Http::lookUpElsewhere(TryAgain where)
{
    state = State::LookingUp;
    lookup = std::make_unique<ElsewhereLookup>(secondResolver.address, limits.lookup,
                                               secondResolver.loopbackAllowed);
    connect(lookup.get(), &ElsewhereLookup::finished, this, &Http::sendElsewhere);
    lookup->lookUp(serverURL.host(), where);
}

void Http::sendElsewhere(const std::optional<QHostAddress> &address)
{
    if (!address) {
        uploadSucceeded({}, false);
        return;
    }
    state = State::PostingElsewhere;
    QUrl url = serverURL;
    url.setHost(address->toString());
    send(url);
}

void Http::giveUp()
{
    const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limits.whole);
    qWarning("the upload took longer than %lld seconds and was given up",
             qlonglong(seconds.count()));
    if (state == State::LookingUp) {
        lookup.reset();
        uploadSucceeded({}, false);
    } else {
        uploadSucceeded(attempt->abort(), false);
    }
}

// Tells the delegate the outcome of the last try (an empty result when nothing
// came); an answer that was cut off is not read for a link.
void Http::uploadSucceeded(const AttemptResult &last, bool readAnswer)
{
    const bool triedElsewhere = state == State::PostingElsewhere;
    state = State::Finished;
    wholeLimit.stop();
    const bool answered = !last.body.isEmpty();
    if (answered) {
        responseDidSucceed = !last.answerTooLong;
        if (last.status) {
            rCode = *last.status;
            // Redirects are not followed, so anything but 2xx leaves the report
            // unstored and the body is no link.
            if (rCode >= 300)
                responseDidSucceed = false;
        }
    }
    const bool complete = last.error == QNetworkReply::NoError;
    // The body is checked whole, once: a character may span two chunks.
    if (answered && readAnswer) {
        const CheckedReply checked = checkReply(last.body);
        replyText = checked.link;
        if (!checked.link && complete && responseDidSucceed) {
            qWarning("%s", checked.problem);
            responseDidSucceed = false;
        }
    }
    const bool succeeded = complete && answered && responseDidSucceed;
    if (triedElsewhere)
        qWarning("the results server did not answer through the system's resolver; tried through "
                 "%s, which %s",
                 qUtf8Printable(secondResolver.address.toString()),
                 succeeded ? "worked" : "did not work either");
    if (succeeded)
        delegate->onHttpDone(this);
    else
        delegate->onHttpError(this);
}
