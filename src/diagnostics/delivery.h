#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <memory>
#include <optional>

#include "httpprotocol.h"

// Where a failed upload leaves its copy of the report first: the user's desktop
// folder; no path when the system knows none.
QString desktopCopyPath();

// How a finished report leaves the program, as the run options ask.
struct DeliveryOptions
{
    bool isSilent = false;
    bool isConsole = false;
    bool isInternet = false;
    std::optional<QString> outputFile;
    std::int32_t maxPostSize = 1000000;
};

// Delivers one report after another: to the console and an output file where
// asked, and to the results server, whose answer is the results link. A failed
// upload leaves a copy of the report on the desktop, or failing that in the
// home or the temporary folder. Each run ends in exactly one of
// deliveredWithoutUpload, uploadSucceeded and uploadFailed.
class Delivery : public QObject, public HttpProtocol
{
    Q_OBJECT

public:
    explicit Delivery(QObject *parent = nullptr);
    ~Delivery() override;

    void deliver(const QString &report, const DeliveryOptions &options);

    bool submitResults();
    bool writeToPath(const QString &path);

    void onHttpDone(Http *upload) override;
    void onHttpError(Http *upload) override;

    // The link of the last successful upload.
    const std::optional<QString> &resultsLink() const { return resultsUrl; }

signals:
    // The run asked for the report on the console.
    void reportForConsole(const QString &report);
    // The report went to this output file, or "could not save" was logged.
    void outputFileDone(const QString &path);
    // Console and output file were all the run asked for.
    void deliveredWithoutUpload();
    void uploadSucceeded(const QString &resultsUrl);
    // savedCopyPath is empty when no copy could be saved anywhere.
    void uploadFailed(const QString &message, const QString &savedCopyPath);

private:
    void fail(const QString &message);
    std::optional<QString> saveDesktopCopy();

    QString results;
    DeliveryOptions options;
    std::optional<QString> resultsUrl;
    std::unique_ptr<Http> http;
};
