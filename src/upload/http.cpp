#include "http.h"

#include "multipart.h"
#include "resolverlookup.h"

#include <QHostInfo>
#include <QNetworkProxyFactory>
#include <QNetworkReply>
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
// Beyond this an answer is not even read to its end; the room above 8 KiB is
// for trailing white space.
constexpr qsizetype mostReplyRead = 64 * 1024;

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
    QString text = decoder(body);
    if (decoder.hasError())
        return {std::nullopt, "the results server answered with something that is not UTF-8 text"};
    qsizetype end = text.size();
    while (end > 0 && text[end - 1].isSpace())
        --end;
    text.truncate(end);
    if (text.isEmpty())
        return {std::nullopt, "the results server answered with white space only"};
    if (text.toUtf8().size() > longestReply)
        return {std::nullopt, "the results server answered with more than 8 KiB of text"};
    for (const QChar c : std::as_const(text)) {
        if (c.category() == QChar::Other_Control)
            return {std::nullopt, "the results server answered with a control character"};
    }
    return {text, nullptr};
}

Http::Http(const QUrl &url, QIODevice *body, HttpProtocol *delegate, const QSslConfiguration &tls,
           const QHostAddress &secondResolver, const UploadLimits &limits)
    : serverURL(url), delegate(delegate), body(body), tls(tls), secondResolver(secondResolver),
      limits(limits)
{
    upload();
}

Http::~Http()
{
    // Aborting in the manager's destructor would otherwise call back into this
    // half-destroyed object.
    if (exchange && exchange->isRunning()) {
        exchange->disconnect(this);
        exchange->abort();
    }
    if (systemLookupId >= 0)
        QHostInfo::abortHostLookup(systemLookupId);
}

void Http::upload()
{
    manager.setProxyFactory(new SystemProxyFactory); // owned by the manager
    wholeLimit.setSingleShot(true);
    connect(&wholeLimit, &QTimer::timeout, this, [this] {
        const auto seconds = std::chrono::duration_cast<std::chrono::seconds>(limits.whole);
        qWarning("the upload took longer than %lld seconds and was given up",
                 qlonglong(seconds.count()));
        giveUp();
    });
    lookupLimit.setSingleShot(true);
    connect(&lookupLimit, &QTimer::timeout, this, [this] { chooseElsewhere(true); });

    if (!body || !body->isReadable() || body->isSequential() || body->size() == 0 ||
        !serverURL.isValid()) {
        uploadSucceeded(false);
        return;
    }
    wholeLimit.start(limits.whole);
    send(serverURL);
}

void Http::send(const QUrl &url)
{
    PostRequest post = postRequestWithURL(url, uploadBoundary, body);
    QNetworkRequest &request = post.request;
    request.setSslConfiguration(tls);
    // A POST redirected with 301/302/303 would be repeated as a GET without
    // the report; a redirect is answered as it stands instead.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(limits.stall.count()));
    if (triedElsewhere) {
        // Sent to an address, the request still names the server, and the
        // server must still prove that name (also sent as the TLS server name).
        request.setPeerVerifyName(serverURL.host());
        QByteArray host = QUrl::toAce(serverURL.host());
        if (serverURL.port() != -1)
            host += ':' + QByteArray::number(serverURL.port());
        request.setRawHeader("Host", host);
        // Over HTTP/2 the server would be named by the URL's authority, the
        // address; HTTP/1.1 sends the Host header as set here.
        request.setAttribute(QNetworkRequest::Http2AllowedAttribute, false);
    }

    secured = false;
    exchange = manager.post(request, post.body.get());
    post.body.release()->setParent(exchange); // freed with its exchange
    connect(exchange, &QNetworkReply::encrypted, this, [this] { secured = true; });
    connect(exchange, &QNetworkReply::metaDataChanged, this, &Http::didReceiveResponse);
    connect(exchange, &QNetworkReply::readyRead, this, &Http::didReceiveData);
    connect(exchange, &QNetworkReply::finished, this, &Http::exchangeFinished);
}

void Http::didReceiveResponse()
{
    const QVariant status = exchange->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        httpStatus = status.toInt();
}

void Http::didReceiveData()
{
    if (!exchange->isOpen())
        return;
    const QByteArray chunk = exchange->readAll();
    if (chunk.isEmpty())
        return;
    receivedBody += chunk;
    uploadDidSucceed = true;
    responseDidSucceed = true;
    if (httpStatus) {
        rCode = *httpStatus;
        // Redirects are not followed, so anything but 2xx leaves the report
        // unstored and the body is no link.
        if (rCode >= 300)
            responseDidSucceed = false;
    }
    if (receivedBody.size() > mostReplyRead) {
        qWarning("the results server answered with more than 8 KiB of text");
        responseDidSucceed = false;
        giveUp();
    }
}

void Http::exchangeFinished()
{
    didReceiveResponse();
    didReceiveData();
    if (outcomeTold)
        return;
    exchange->disconnect(this);
    if (mayTryElsewhere()) {
        lookUpElsewhere();
        return;
    }
    const bool complete = exchange->error() == QNetworkReply::NoError;
    // The body is checked whole, once: a character may span two chunks.
    if (!receivedBody.isEmpty()) {
        const CheckedReply checked = checkReply(receivedBody);
        replyText = checked.link;
        if (!checked.link && complete && responseDidSucceed) {
            qWarning("%s", checked.problem);
            responseDidSucceed = false;
        }
    }
    uploadSucceeded(complete && uploadDidSucceed);
}

// Only a try that failed before the connection was secured: until then the
// request cannot have reached the server, so it is never stored twice.
bool Http::mayTryElsewhere() const
{
    if (triedElsewhere || secured || httpStatus || !receivedBody.isEmpty() ||
        secondResolver.isNull() || !QHostAddress(serverURL.host()).isNull())
        return false;
    switch (exchange->error()) {
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::TimeoutError:
    case QNetworkReply::OperationCanceledError: // no progress within the stall limit
    case QNetworkReply::SslHandshakeFailedError:
    case QNetworkReply::UnknownNetworkError: // unreachable
        return true;
    default:
        return false;
    }
}

void Http::lookUpElsewhere()
{
    lookingUp = true;
    lookupLimit.start(limits.lookup);
    // What the first try was given, so that the second goes elsewhere.
    if (exchange->error() == QNetworkReply::HostNotFoundError) {
        systemAddresses = QList<QHostAddress>();
    } else {
        systemLookupId =
            QHostInfo::lookupHost(serverURL.host(), this, [this](const QHostInfo &info) {
                systemLookupId = -1;
                systemAddresses = info.addresses();
                chooseElsewhere(false);
            });
    }
    exchange->deleteLater();
    lookup = std::make_unique<ResolverLookup>(secondResolver);
    connect(lookup.get(), &ResolverLookup::finished, this,
            [this](const QList<QHostAddress> &addresses) {
                resolverAddresses = addresses;
                chooseElsewhere(false);
            });
    lookup->lookUp(serverURL.host());
}

// Once both lookups are in, or the resolver gave nothing, or time is up.
void Http::chooseElsewhere(bool timeIsUp)
{
    if (!lookingUp)
        return;
    if (!timeIsUp && !(resolverAddresses && (resolverAddresses->isEmpty() || systemAddresses)))
        return;
    stopLookingUp();
    QList<QHostAddress> fresh;
    for (const QHostAddress &address : resolverAddresses.value_or(QList<QHostAddress>())) {
        if (!systemAddresses.value_or(QList<QHostAddress>()).contains(address))
            fresh.append(address);
    }
    if (fresh.isEmpty()) {
        uploadSucceeded(false);
        return;
    }
    triedElsewhere = true;
    qWarning("the results server did not answer through the system's resolver; sent through %s",
             qUtf8Printable(secondResolver.toString()));
    QUrl url = serverURL;
    url.setHost(fresh.first().toString());
    send(url);
}

void Http::stopLookingUp()
{
    lookingUp = false;
    lookupLimit.stop();
    if (systemLookupId >= 0)
        QHostInfo::abortHostLookup(systemLookupId);
    systemLookupId = -1;
    // Not deleted here: this may run inside its signal.
    if (lookup)
        lookup->disconnect(this);
}

void Http::giveUp()
{
    if (exchange && exchange->isRunning()) {
        exchange->disconnect(this);
        exchange->abort();
    }
    stopLookingUp();
    uploadSucceeded(false);
}

void Http::uploadSucceeded(bool succeeded)
{
    if (outcomeTold)
        return;
    outcomeTold = true;
    wholeLimit.stop();
    if (succeeded && responseDidSucceed)
        delegate->onHttpDone(this);
    else
        delegate->onHttpError(this);
}
