#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>
#include <QSslError>
#include <QTimer>

#include <memory>
#include <optional>

#include "multipart.h"
#include "responsereader.h"

class QNetworkAccessManager;
class QSslSocket;

// What one try of the upload came to.
struct AttemptResult
{
    // The answer's status, once its head arrived.
    std::optional<int> status;
    // The answer's body as far as it arrived.
    QByteArray body;
    // The TLS handshake completed: from then on the server may have the report.
    bool secured = false;
    QNetworkReply::NetworkError error = QNetworkReply::NoError;
    // The answer was given up on: far longer than any link.
    bool answerTooLong = false;
    // Why the server's certificate was refused, when it was.
    QList<QSslError> certificateErrors;
};

// One try: sends the request once, over a connection of its own, and tells
// finished exactly once, unless aborted first. It is never sent again on that
// connection or another: the server may have stored it. Interim answers are
// passed over; the answer is not read for a link here.
class UploadAttempt : public QObject
{
    Q_OBJECT

public:
    // Starts at once, through the proxy that manager's factory gives for the
    // request's URL. manager must outlive the attempt. The request gives the
    // URL, the headers, the TLS settings, the name that the server's
    // certificate must carry and how long the try may go without progress.
    UploadAttempt(QNetworkAccessManager &manager, PostRequest post);
    ~UploadAttempt() override;

    // Ends the try without telling finished; what had come so far.
    AttemptResult abort();

signals:
    void finished(const AttemptResult &result);

private:
    void connected();
    void sendBody();
    void readAnswer();
    void end(QNetworkReply::NetworkError error);
    void progress();

    PostRequest post;
    std::unique_ptr<QSslSocket> socket;
    ResponseReader reader;
    QTimer stall;
    AttemptResult result;
    bool ended = false;
};
