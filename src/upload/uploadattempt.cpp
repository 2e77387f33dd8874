#include "uploadattempt.h"

#include <QNetworkAccessManager>

namespace {

// Beyond this an answer is not even read to its end; the room above the 8 KiB
// of a link is for trailing white space.
constexpr qsizetype mostReplyRead = 64 * 1024;

} // namespace

UploadAttempt::UploadAttempt(QNetworkAccessManager &manager, PostRequest post)
{
    exchange = manager.post(post.request, post.body.get());
    post.body.release()->setParent(exchange); // freed with its exchange
    connect(exchange, &QNetworkReply::encrypted, this, [this] { result.secured = true; });
    connect(exchange, &QNetworkReply::metaDataChanged, this, &UploadAttempt::readStatus);
    connect(exchange, &QNetworkReply::readyRead, this, &UploadAttempt::readBody);
    connect(exchange, &QNetworkReply::finished, this, &UploadAttempt::exchangeFinished);
}

UploadAttempt::~UploadAttempt()
{
    stop();
    exchange->deleteLater();
}

AttemptResult UploadAttempt::abort()
{
    stop();
    result.error = exchange->error();
    return result;
}

void UploadAttempt::readStatus()
{
    const QVariant status = exchange->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (status.isValid())
        result.status = status.toInt();
}

// False once the answer has been given up on, and finished told.
bool UploadAttempt::readBody()
{
    if (!exchange->isOpen())
        return true;
    const QByteArray chunk = exchange->readAll();
    result.body += chunk;
    if (result.body.size() > mostReplyRead) {
        result.answerTooLong = true;
        emit finished(abort());
        return false;
    }
    return true;
}

void UploadAttempt::exchangeFinished()
{
    readStatus();
    if (!readBody())
        return;
    exchange->disconnect(this);
    result.error = exchange->error();
    emit finished(result);
}

// Aborting tells finished at once, and in the manager's destructor it would
// call back into a half-destroyed owner: the exchange is let go of first.
void UploadAttempt::stop()
{
    if (exchange->isRunning()) {
        exchange->disconnect(this);
        exchange->abort();
    }
}
