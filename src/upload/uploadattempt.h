#pragma once

#include <QByteArray>
#include <QNetworkReply>
#include <QObject>

#include <optional>

#include "multipart.h"

class QNetworkAccessManager;

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
};

// One try: posts the request once and tells finished exactly once, unless
// aborted first. The answer is not read for a link here.
class UploadAttempt : public QObject
{
    Q_OBJECT

public:
    // Starts at once; manager must outlive the attempt.
    UploadAttempt(QNetworkAccessManager &manager, PostRequest post);
    ~UploadAttempt() override;

    // Ends the try without telling finished; what had come so far.
    AttemptResult abort();

signals:
    void finished(const AttemptResult &result);

private:
    void readStatus();
    bool readBody();
    void exchangeFinished();
    void stop();

    QNetworkReply *exchange = nullptr; // owned by the manager
    AttemptResult result;
};
