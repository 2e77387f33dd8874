#include "delivery.h"

#include "endpoints.h"
#include "fanoutdevice.h"
#include "foldercopy.h"
#include "http.h"
#include "reportfile.h"
#include "reportspool.h"
#include "trim.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHostAddress>
#include <QStandardPaths>
#include <QUrl>

#include <pwd.h>
#include <unistd.h>

namespace {

constexpr char desktopCopyName[] = "diagnostic_results.txt";

QUrl uploadUrl()
{
    return QUrl(QStringLiteral("https://") + QLatin1String(endpoints::ResultsServerHost) +
                QStringLiteral("/diagnosticsubmit"));
}

// Only then may a resolver answer with a loopback address for it.
bool resultsServerOnLoopback()
{
    const QString host = uploadUrl().host();
    return host == QLatin1String("localhost") || QHostAddress(host).isLoopback();
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

// With HOME unset or empty, Qt's home is "/": the account's is meant.
QString homeFolder()
{
    QString home = qEnvironmentVariable("HOME");
    if (home.isEmpty()) {
        if (const passwd *account = ::getpwuid(::geteuid()))
            home = QFile::decodeName(account->pw_dir);
    }
    home = QDir::cleanPath(home);
    return home == QLatin1String("/") || home == QLatin1String(".") ? QString() : home;
}

QString desktopFolder()
{
    if (!qEnvironmentVariableIsEmpty("HOME"))
        return QStandardPaths::writableLocation(QStandardPaths::DesktopLocation);
    const QString home = homeFolder();
    return home.isEmpty() ? QString() : home + QStringLiteral("/Desktop");
}

QString desktopCopyPath()
{
    return copyPathIn(desktopFolder());
}

Delivery::Delivery(const QSslConfiguration &uploadTls, QObject *parent)
    : QObject(parent), uploadTls(uploadTls)
{
    runStarting();
}

void Delivery::runStarting()
{
    runStart = QDateTime::currentSecsSinceEpoch();
}

Delivery::~Delivery() = default;

void Delivery::deliver(ReportWriter report, const RunOptions &options, std::int32_t maxPostSize)
{
    // The previous upload has ended; its body goes with it.
    http.reset();
    sent.reset();
    trimmedSpool.reset();
    spool.reset();
    savedCopy.reset();
    this->report = std::move(report);
    this->options = options;
    this->maxPostSize = maxPostSize;

    const bool hasOutputFile = options.outputFile && !options.outputFile->isEmpty();
    const bool uploading =
        options.internet || !options.silent || !(options.console || hasOutputFile);
    if (uploading)
        spool = std::make_shared<ReportSpool>(spoolWarning);
    const Written written = writeOut();
    if (written.fileWritten)
        emit outputFileDone(*options.outputFile);
    // The user asked for a file and shall have one; a console that failed
    // needs the copy only when nothing else receives the report.
    const bool fileFailed = hasOutputFile && !written.fileWritten;
    if (fileFailed || (written.consoleFailed && !written.fileWritten && !uploading))
        emit reportNotWritten(saveDesktopCopy().value_or(QString()));
    else if (written.consoleFailed)
        emit reportNotWritten(QString());

    if (uploading)
        submitResults();
    else
        emit deliveredWithoutUpload();
}

// One pass over the report to the console, the output file and the spool of
// the upload, as the run asks.
Delivery::Written Delivery::writeOut()
{
    QFile standardOutput;
    QIODevice *consoleDevice = nullptr;
    if (options.console) {
        consoleDevice = console;
        if (!consoleDevice) {
            standardOutput.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered,
                                QFileDevice::DontCloseHandle);
            consoleDevice = &standardOutput;
        }
    }
    std::optional<ReportFile> file;
    if (options.outputFile && !options.outputFile->isEmpty())
        file = ReportFile::atPath(*options.outputFile);

    std::vector<QIODevice *> devices;
    for (QIODevice *device : {consoleDevice, file && file->isOpen() ? file->device() : nullptr,
                              static_cast<QIODevice *>(spool.get())}) {
        if (device)
            devices.push_back(device);
    }
    FanOutDevice destinations(devices);
    if (!report(destinations))
        qWarning("the report is incomplete: a command's output could not be read back");

    Written written;
    if (consoleDevice) {
        destinations.writeTo(consoleDevice, "\n");
        if (const std::optional<QString> why = destinations.failure(consoleDevice)) {
            qWarning("could not write the report to standard output: %s", qUtf8Printable(*why));
            written.consoleFailed = true;
        }
    }
    if (file) {
        const std::optional<QString> why =
            file->isOpen() ? destinations.failure(file->device()) : file->errorString();
        written.fileWritten = !why && file->finish();
        if (!written.fileWritten)
            qWarning("could not write %s: %s", qUtf8Printable(file->path()),
                     qUtf8Printable(why.value_or(file->errorString())));
    }
    return written;
}

bool Delivery::submitResults()
{
    // The whole report goes up, NUL characters included: a binary agent log
    // must not cut off the blocks that follow it.
    Q_ASSERT(spool);
    QIODevice *body = spool.get();
    if (spool->size() > maxPostSize) {
        trimmedSpool = std::make_shared<ReportSpool>(spoolWarning);
        if (const std::optional<QString> why = trimTailStream(*spool, *trimmedSpool, maxPostSize)) {
            qWarning("%s", qUtf8Printable(*why));
            fail(QStringLiteral("There was an error submitting the results"));
            return true;
        }
        body = trimmedSpool.get();
    }
    const ReportSpool &sent = trimmedSpool ? *trimmedSpool : *spool;
    const std::optional<QByteArray> boundary = sent.boundary();
    if (!boundary) {
        qWarning("the report holds every boundary of the upload tried");
        fail(QStringLiteral("There was an error submitting the results"));
        return true;
    }
    // An upload that fails at once calls back before it is stored here.
    // Where the system's resolver is what is broken, the public resolver may
    // still find the results server.
    uploading = true;
    auto upload = std::make_unique<Http>(
        uploadUrl(), body, this, uploadTls,
        SecondResolver(QHostAddress(QLatin1String(endpoints::PublicResolver)),
                       resultsServerOnLoopback()),
        UploadLimits{}, *boundary);
    http = std::move(upload);
    return true;
}

void Delivery::onHttpDone(Http *upload)
{
    uploading = false;
    // The upload hands over only a reply that makes a link to show or print.
    resultsUrl = *upload->reply();
    if (trimmedSpool)
        sent = trimmedSpool;
    else
        sent = spool;
    emit uploadSucceeded(*resultsUrl);
}

void Delivery::onHttpError(Http *upload)
{
    uploading = false;
    // A broken-off exchange after a good answer had begun is a failure too, and
    // must not leave an earlier run's link on show.
    const bool internalServerError = !upload->didResponseSucceed() && upload->responseCode() == 500;
    fail(internalServerError ? QStringLiteral("There was an internal server errror")
                             : QStringLiteral("There was an error submitting the results"));
}

void Delivery::interruptUpload()
{
    const std::optional<QString> savedCopyPath = saveUnsentReport();
    if (!savedCopyPath)
        return;
    uploading = false;
    // Its callback must not come after this.
    http.reset();
    emit uploadInterrupted(*savedCopyPath);
}

std::optional<QString> Delivery::saveUnsentReport()
{
    if (!uploading)
        return std::nullopt;
    return saveDesktopCopy().value_or(QString());
}

void Delivery::fail(const QString &message)
{
    // The copy holds the whole report, as the spool does.
    sent = spool;
    emit uploadFailed(message, saveDesktopCopy().value_or(QString()));
}

// The Desktop copy, or when the desktop folder cannot take it, the home folder
// and then the temporary folder; the path written, if any. One copy per run.
std::optional<QString> Delivery::saveDesktopCopy()
{
    if (savedCopy)
        return savedCopy;
    QStringList folders{desktopFolder(), homeFolder()};
    folders.removeDuplicates();
    for (const QString &folder : folders) {
        if (folder.isEmpty())
            qWarning("could not save diagnostic_results.txt");
        else if (std::optional<QString> path = writeCopyIn(folder))
            return savedCopy = path;
    }
    // The temporary folder is shared: another user may have planted a link
    // at any name known in advance, and the report is for this user's eyes.
    QString folder = QDir::tempPath();
    if (!QFileInfo(folder).isDir())
        folder = QStringLiteral("/tmp");
    ReportFile file = ReportFile::freshIn(folder);
    if (file.isOpen() && report(*file.device()) && file.finish())
        return savedCopy = file.path();
    if (file.isOpen())
        QFile::remove(file.path());
    qWarning("could not save diagnostic_results.txt");
    return std::nullopt;
}

// A run as root must not write through a link that the folder's owner put at
// the copy's name, or in place of the folder.
std::optional<QString> Delivery::writeCopyIn(const QString &folder)
{
    FolderCopy copy(folder, QLatin1String(desktopCopyName));
    std::optional<QString> path;
    if (copy.isOpen() && report(*copy.device()))
        path = copy.finish(runStart);
    if (!path && copy.wasInTheWay())
        qWarning("could not save diagnostic_results.txt: %s", qUtf8Printable(copy.errorString()));
    else if (!path)
        qWarning("could not save diagnostic_results.txt");
    return path;
}
