#include "delivery.h"

#include "endpoints.h"
#include "http.h"
#include "trim.h"

#include <QDir>
#include <QFile>
#include <QHostAddress>
#include <QSaveFile>
#include <QStandardPaths>
#include <QUrl>

namespace {

constexpr char desktopCopyName[] = "diagnostic_results.txt";

QUrl uploadUrl()
{
    return QUrl(QStringLiteral("https://") + QLatin1String(endpoints::ResultsServerHost) +
                QStringLiteral("/diagnosticsubmit"));
}

// No path at all for a folder that is not known: an empty folder name would
// otherwise mean the current directory.
QString copyPathIn(const QString &folder)
{
    if (folder.isEmpty())
        return QString();
    return QDir::cleanPath(QDir(folder).filePath(QLatin1String(desktopCopyName)));
}

} // namespace

QString desktopCopyPath()
{
    return copyPathIn(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

Delivery::Delivery(QObject *parent) : QObject(parent) {}

Delivery::~Delivery() = default;

void Delivery::deliver(const QString &report, const DeliveryOptions &options)
{
    results = report;
    this->options = options;
    if (options.isConsole)
        emit reportForConsole(results);
    const bool hasOutputFile = options.outputFile && !options.outputFile->isEmpty();
    if (hasOutputFile) {
        writeToPath(*options.outputFile);
        emit outputFileDone(*options.outputFile);
    }

    if (options.isInternet || !options.isSilent)
        submitResults();
    else if (options.isConsole || hasOutputFile)
        emit deliveredWithoutUpload();
    else
        submitResults();
}

bool Delivery::submitResults()
{
    // The whole report goes up, NUL characters included: a binary agent log
    // must not cut off the blocks that follow it.
    QByteArray data = results.toUtf8();
    if (data.size() > options.maxPostSize)
        data = trimTailData(data, options.maxPostSize);
    // An upload that fails at once calls back before it is stored here.
    // Where the system's resolver is what is broken, the public resolver may
    // still find the results server.
    auto upload = std::make_unique<Http>(uploadUrl(), data, this,
                                         QHostAddress(QLatin1String(endpoints::PublicResolver)));
    http = std::move(upload);
    return true;
}

void Delivery::onHttpDone(Http *upload)
{
    // The upload hands over only a reply that makes a link to show or print.
    resultsUrl = *upload->reply();
    emit uploadSucceeded(*resultsUrl);
}

void Delivery::onHttpError(Http *upload)
{
    // A broken-off exchange after a good answer had begun is a failure too, and
    // must not leave an earlier run's link on show.
    const bool internalServerError = !upload->didResponseSucceed() && upload->responseCode() == 500;
    fail(internalServerError ? QStringLiteral("There was an internal server errror")
                             : QStringLiteral("There was an error submitting the results"));
}

void Delivery::fail(const QString &message)
{
    emit uploadFailed(message, saveDesktopCopy().value_or(QString()));
}

// The Desktop copy, or when the desktop folder cannot take it, the home folder
// and then the temporary folder; the path written, if any.
std::optional<QString> Delivery::saveDesktopCopy()
{
    const QString tempCopy = copyPathIn(QDir::tempPath());
    QStringList paths{desktopCopyPath(), copyPathIn(QDir::homePath()), tempCopy};
    paths.removeDuplicates();
    for (const QString &path : paths) {
        if (path.isEmpty()) {
            qWarning("could not save diagnostic_results.txt");
        } else if (writeToPath(path)) {
            // The temporary folder is shared; the report (agent logs, resolver
            // settings) is for this user's eyes only.
            if (path == tempCopy)
                QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner);
            return path;
        }
    }
    return std::nullopt;
}

bool Delivery::writeToPath(const QString &path)
{
    const QByteArray bytes = results.toUtf8();
    // Written to a temporary file that replaces the path only when complete;
    // missing folders are not created.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning("could not save diagnostic_results.txt");
        return false;
    }
    return true;
}
