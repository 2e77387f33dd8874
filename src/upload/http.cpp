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

std::optional<QString> decodeReply(const QByteArray &body)
{
    // Stateless, so that a sequence cut off at the end counts as invalid too.
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    QString text = decoder(body);
    if (decoder.hasError())
        return std::nullopt;
    return text;
}

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

Http::Http(const QUrl &url, QIODevice *body, HttpProtocol *delegate,
           std::chrono::milliseconds transferTimeout)
    : serverURL(url), delegate(delegate), body(body), transferTimeout(transferTimeout)
{
    upload();
}

Http::Http(const QUrl &url, const QByteArray &data, HttpProtocol *delegate,
           std::chrono::milliseconds transferTimeout)
    : serverURL(url), delegate(delegate), body(&heldBody), transferTimeout(transferTimeout)
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
    if (!body || !body->isReadable() || body->isSequential() || body->size() == 0 ||
        !serverURL.isValid()) {
        uploadSucceeded(false);
        return;
    }
    PostRequest post = postRequestWithURL(serverURL, uploadBoundary, body);
    QNetworkRequest &request = post.request;
    request.setSslConfiguration(
        uploadTlsConfiguration(QByteArrayView(buildconfig::extraCaCertificates)));
    // A POST redirected with 301/302/303 would be repeated as a GET without
    // the report; a redirect is answered as it stands instead.
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute,
                         QNetworkRequest::ManualRedirectPolicy);
    request.setTransferTimeout(static_cast<int>(transferTimeout.count()));

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
}

void Http::exchangeFinished()
{
    didReceiveResponse();
    didReceiveData();
    // The body is decoded whole, once: a character may span two chunks.
    if (!receivedBody.isEmpty())
        replyText = decodeReply(receivedBody);
    const bool complete = exchange->error() == QNetworkReply::NoError;
    exchange->disconnect(this);
    uploadSucceeded(complete && uploadDidSucceed);
}

void Http::uploadSucceeded(bool succeeded)
{
    if (outcomeTold)
        return;
    outcomeTold = true;
    if (succeeded && responseDidSucceed)
        delegate->onHttpDone(this);
    else
        delegate->onHttpError(this);
}
