#include "http.h"

#include "buildconfig.h"
#include "multipart.h"

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

Http::Http(const QUrl &url, QIODevice *body, HttpProtocol *delegate, const UploadLimits &limits)
    : serverURL(url), delegate(delegate), body(body), limits(limits)
{
    upload();
}

Http::Http(const QUrl &url, const QByteArray &data, HttpProtocol *delegate,
           const UploadLimits &limits)
    : serverURL(url), delegate(delegate), body(&heldBody), limits(limits)
{
    heldBody.setData(data);
    heldBody.open(QIODevice::ReadOnly);
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
    request.setSslConfiguration(
        uploadTlsConfiguration(QByteArrayView(buildconfig::extraCaCertificates)));
    // A POST redirected with 301/302/303 would be repeated as a GET without
    // the report; a redirect is answered as it stands instead.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(limits.stall.count()));

    exchange = manager.post(request, post.body.get());
    post.body.release()->setParent(exchange); // freed with its exchange
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

void Http::giveUp()
{
    if (exchange && exchange->isRunning()) {
        exchange->disconnect(this);
        exchange->abort();
    }
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
