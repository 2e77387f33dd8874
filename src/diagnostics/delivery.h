#pragma once

#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>

#include "httpprotocol.h"
#include "runoptions.h"
#include "spoolfile.h"

class QIODevice;
class ReportSpool;

// Where a failed upload leaves its copy of the report first: the user's desktop
// folder; no path when the system knows none.
QString desktopCopyPath();
// The user's home folder: HOME, or when that is unset or empty the home of the
// user's account; never "/", and empty when there is none but that.
QString homeFolder();
QString desktopFolder();

// Writes the whole report to the device, the same bytes every time it is
// called; false when the device took less or the report could not be read.
using ReportWriter = std::function<bool(QIODevice &)>;

// Delivers one report after another: to the console and an output file where
// asked, and to the results server, whose answer is the results link. The
// report is written in one pass to all of them at once, block by block, and is
// never held whole in memory. A failed upload leaves a copy of the report on the
// desktop, or failing that in the home or the temporary folder; so does an
// output file that cannot be written, and a console that fails when nothing
// else receives the report. Each run ends in exactly one of
// deliveredWithoutUpload, uploadSucceeded and uploadFailed.
class Delivery : public QObject, public HttpProtocol
{
    Q_OBJECT

public:
    // Uploads trust the certificate authorities of uploadTls.
    explicit Delivery(const QSslConfiguration &uploadTls, QObject *parent = nullptr);
    ~Delivery() override;

    // As the run's options ask; a report of more than maxPostSize bytes is
    // trimmed for the upload.
    void deliver(ReportWriter report, const RunOptions &options,
                 std::int32_t maxPostSize = defaultMaxPostSize);

    bool submitResults();

    void onHttpDone(Http *upload) override;
    void onHttpError(Http *upload) override;

    // The program is about to end while the report goes up: it is saved as a
    // failed upload saves it, and uploadInterrupted says where. Nothing
    // happens when no upload is under way.
    void interruptUpload();
    // The report that is going up, saved as a failed upload saves it while the
    // upload is left as it is: where (empty when nowhere), or nothing when no
    // upload is under way.
    std::optional<QString> saveUnsentReport();

    // The link of the last successful upload.
    const std::optional<QString> &resultsLink() const { return resultsUrl; }
    // The report as the last upload sent it, trimmed where it was too long;
    // after a failed upload, as it was saved. Nothing until an upload has
    // ended; the device stays readable for whoever holds it.
    std::shared_ptr<QIODevice> sentReport() const { return sent; }

    // A run begins now: a desktop or home copy written since then is another
    // run's, and is kept. Until it is first called, the delivery's creation
    // counts.
    void runStarting();

    // Test seam: the console instead of standard output.
    void setConsole(QIODevice *device) { console = device; }

signals:
    // The report went whole to this output file.
    void outputFileDone(const QString &path);
    // The console or the output file did not take the report (the log says
    // why), so the run has failed. savedCopyPath is where a copy went in its
    // place; empty when none was saved, because the report also goes elsewhere
    // or because no folder took it.
    void reportNotWritten(const QString &savedCopyPath);
    // Console and output file were all the run asked for.
    void deliveredWithoutUpload();
    void uploadSucceeded(const QString &resultsUrl);
    // savedCopyPath is empty when no copy could be saved anywhere.
    void uploadFailed(const QString &message, const QString &savedCopyPath);
    // The upload was given up because the program ends; the copy is where
    // savedCopyPath says, as for uploadFailed.
    void uploadInterrupted(const QString &savedCopyPath);

private:
    struct Written
    {
        bool consoleFailed = false;
        bool fileWritten = false;
    };
    Written writeOut();
    void fail(const QString &message);
    std::optional<QString> saveDesktopCopy();
    std::optional<QString> writeCopyIn(const QString &folder);

    ReportWriter report;
    RunOptions options;
    std::int32_t maxPostSize = defaultMaxPostSize;
    QIODevice *console = nullptr;
    QSslConfiguration uploadTls;
    // Told once for all the runs' spools of the report.
    SpoolWarning spoolWarning{"the report"};
    // The report as uploaded, and its trimmed form; both outlive the upload
    // that reads them.
    std::shared_ptr<ReportSpool> spool;
    std::shared_ptr<ReportSpool> trimmedSpool;
    std::shared_ptr<QIODevice> sent;
    std::optional<QString> savedCopy;
    // In seconds since the epoch.
    qint64 runStart = 0;
    std::optional<QString> resultsUrl;
    std::unique_ptr<Http> http;
    // Between the start of an upload and its callback.
    bool uploading = false;
};
