#include "maincontroller.h"

#include "buildconfig.h"
#include "endpoints.h"
#include "http.h"
#include "paths.h"
#include "process.h"
#include "report.h"
#include "resultsview.h"
#include "runinputs.h"
#include "trim.h"

#include <QClipboard>
#include <QDebug>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QIODevice>
#include <QSaveFile>
#include <QStandardPaths>
#include <QTimer>
#include <QUrl>

#include <cstdio>

MainController::MainController(QObject *parent) : QObject(parent) {}

MainController::~MainController() = default;

void MainController::awakeFromNib()
{
    processes.clear();
    processes.reserve(20);
    container.clear();

    if (auto *application = qobject_cast<QGuiApplication *>(QCoreApplication::instance()))
        application->setQuitOnLastWindowClosed(
            applicationShouldTerminateAfterLastWindowClosed(application));

    for (QWidget *control :
         {textResultsLinkView.data(), static_cast<QWidget *>(textCopyPaste),
          static_cast<QWidget *>(copyToClipBoardLink), static_cast<QWidget *>(shareButton)}) {
        if (control)
            control->hide();
    }
    if (window)
        window->setWindowTitle(QStringLiteral("Veltrane Diagnostic v") +
                               QLatin1String(buildconfig::version));

    tailSize = 15000;
    maxPostSize = 1000000;
}

void MainController::initArgsWithSilent(bool silent, bool console, bool forceAMX, bool skipAmx,
                                        bool internet)
{
    isSilent = silent;
    isConsole = console;
    forceAmx = forceAMX;
    this->skipAmx = skipAmx;
    isInternet = internet;
}

void MainController::setDomain(const QString &domain)
{
    this->domain = domain;
}

void MainController::setOutputFile(const QString &path)
{
    outputFile = expandTilde(path);
}

void MainController::runTests()
{
    startTests();
}

void MainController::startTest(const QString &launchPath, const QStringList &args,
                               const std::optional<QString> &comment)
{
    auto process = std::make_unique<Process>();
    connect(process.get(), &Process::processTerminated, this,
            &MainController::processTerminatedNotification);
    Process *started = process.get();
    processes.push_back(std::move(process));
    started->start(launchPath, args, comment);
}

std::uint32_t MainController::finishedTasksCount() const
{
    std::uint32_t count = 0;
    for (const auto &process : processes)
        count += process->isFinished() ? 1 : 0;
    return count;
}

bool MainController::didAllTestsFinished() const
{
    for (const auto &process : processes) {
        if (!process->isFinished())
            return false;
    }
    return true;
}

void MainController::processTerminatedNotification()
{
    updateProgress();
    if (!didAllTestsFinished() || isFinishing)
        return;
    isFinishing = true;
    handleAllTestsFinished();
}

void MainController::handleAllTestsFinished()
{
    emit allTestsFinished();
    buildResults();
    if (isConsole)
        writeConsole(results.toUtf8() + '\n');
    const bool hasOutputFile = outputFile && !outputFile->isEmpty();
    if (hasOutputFile) {
        writeToPath(*outputFile);
        writeConsole("outputFile=" + outputFile->toUtf8() + '\n');
    }

    if (isInternet || !isSilent)
        submitResults();
    else if (isConsole || hasOutputFile)
        emit exitRequested(0);
    else
        submitResults();
}

void MainController::buildResults()
{
    QStringList blocks;
    blocks.reserve(static_cast<qsizetype>(processes.size()));
    for (const auto &process : processes)
        blocks.append(process->getResult());
    results = buildReport(txtVeltraneAccount, txtTicketNo, blocks);
}

void MainController::writeConsole(const QByteArray &bytes)
{
    if (console) {
        console->write(bytes);
        return;
    }
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
    std::fflush(stdout);
}

void MainController::startTests()
{
    std::vector<Test> tests = prepareRun();
    disableUI();

    container.push_back(std::move(processes));
    processes.clear();

    if (batteryOverride)
        tests = *batteryOverride;
    for (const Test &test : tests)
        startTest(test.launchPath, test.args, test.comment);

    if (progressIndicator) {
        progressIndicator->setRange(0, static_cast<int>(processes.size()));
        progressIndicator->setValue(0);
        // Graphite: a grey bar rather than the accent colour.
        QPalette palette = progressIndicator->palette();
        palette.setColor(QPalette::Highlight, QColor(0x8e, 0x8e, 0x93));
        progressIndicator->setPalette(palette);
    }
    if (!isSilent)
        showProgress();
}

std::vector<Test> MainController::prepareRun()
{
    // Any kind of file at the agent's path counts as an installed agent.
    isAmx = QFileInfo::exists(agentPaths.installDirectory);
    isFinishing = false;
    rememberAccountAndTicketNo();

    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    inputs.testDomain = takeTestDomain();
    inputs.tailSize = tailSize;
    inputs.agentPaths = agentPaths;
    inputs.agentGate = agentGateHolds(skipAmx, isAmx, forceAmx);
    if (inputs.agentGate)
        inputs.agentLogFiles = tailBeaconLogs();
    return batteryTests(inputs, thisSystem());
}

std::optional<QString> MainController::takeTestDomain() const
{
    const QString text = testDomainText(
        domain, [this] { return textDomainToTest ? textDomainToTest->text() : QString(); });
    if (looksLikeOption(text)) {
        qWarning().noquote() << QStringLiteral(
                                    "not testing the domain \"%1\": dig and traceroute would "
                                    "take a name beginning with \"-\" for an option")
                                    .arg(text);
    }
    return presentTestDomain(text);
}

void MainController::rememberAccountAndTicketNo()
{
    freeAccountAndTicketNo();
    if (textVeltraneAccount)
        txtVeltraneAccount = trimmedEntry(textVeltraneAccount->text());
    if (textTicketNo)
        txtTicketNo = trimmedEntry(textTicketNo->text());
}

void MainController::freeAccountAndTicketNo()
{
    txtVeltraneAccount.reset();
    txtTicketNo.reset();
}

QStringList MainController::tailBeaconLogs() const
{
    QStringList paths;
    const QString logDirectory = beaconLogDirectory(agentPaths);
    for (const QString &subfolder : beaconLogSubfolders())
        paths += tailBeaconSubfolderLog(logDirectory + subfolder);
    return paths;
}

QStringList MainController::tailBeaconSubfolderLog(const QString &directoryPath) const
{
    // Hidden entries and subdirectories count too; a folder that cannot be
    // listed gives none.
    const QStringList names =
        QDir(directoryPath)
            .entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot,
                       QDir::Unsorted);
    return sortedLogPaths(directoryPath, names);
}

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

QString desktopCopyPath()
{
    return copyPathIn(QStandardPaths::writableLocation(QStandardPaths::DesktopLocation));
}

} // namespace

bool MainController::submitResults()
{
    // The whole report goes up, NUL characters included: a binary agent log
    // must not cut off the blocks that follow it.
    QByteArray data = results.toUtf8();
    if (data.size() > maxPostSize)
        data = trimTailData(data, maxPostSize);
    // An upload that fails at once calls back before it is stored here.
    auto upload = std::make_unique<Http>(uploadUrl(), data, this);
    http = std::move(upload);
    return true;
}

void MainController::onHttpDone(Http *upload)
{
    if (!upload->reply()) {
        // The answer is no text that could be shown or printed as a link, so
        // the user is told of a failure and keeps a copy of the report.
        qWarning("the results server answered with something that is not UTF-8 text");
        deliveryFailed(QStringLiteral("There was an error submitting the results"));
        return;
    }
    resultsUrl = *upload->reply();
    if (!isSilent) {
        enableUI();
        hideProgress();
    }
    setTextView(textResultsLink, QStringLiteral("See results at ") + *resultsUrl);
    if (textResultsLinkView)
        textResultsLinkView->show();
    if (textCopyPaste)
        textCopyPaste->show();
    if (isSilent) {
        writeConsole("url=" + resultsUrl->toUtf8() + '\n');
        emit exitRequested(0);
    }
}

void MainController::onHttpError(Http *upload)
{
    // A broken-off exchange after a good answer had begun is a failure too, and
    // must not leave an earlier run's link on show.
    const bool internalServerError = !upload->didResponseSucceed() && upload->responseCode() == 500;
    deliveryFailed(internalServerError
                       ? QStringLiteral("There was an internal server errror")
                       : QStringLiteral("There was an error submitting the results"));
}

void MainController::deliveryFailed(const QString &message)
{
    if (!isSilent) {
        enableUI();
        hideProgress();
    }
    setTextView(textResultsLink, message);
    if (textResultsLinkView)
        textResultsLinkView->show();

    const std::optional<QString> savedTo = saveDesktopCopy();
    if (!isSilent)
        return;
    if (!savedTo)
        qWarning("could not send log, and could not save it anywhere");
    else if (*savedTo == desktopCopyPath())
        qWarning("could not send log, saved to Desktop");
    else
        qWarning("could not send log, saved to %s", qUtf8Printable(*savedTo));
    emit exitRequested(1);
}

// The Desktop copy, or when the desktop folder cannot take it, the home folder
// and then the temporary folder; the path written, if any.
std::optional<QString> MainController::saveDesktopCopy()
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

bool MainController::writeToPath(const QString &path)
{
    const QByteArray bytes = results.toUtf8();
    // Written to a temporary file that replaces the path only when complete;
    // missing folders are not created.
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        qWarning("could not save diagnostic_results.txt");
        return false;
    }
    // The windowed run shows the saved report in the user's text editor.
    if (!isSilent)
        QDesktopServices::openUrl(QUrl::fromLocalFile(path));
    return true;
}

void MainController::disableUI()
{
    setInputsEnabled(false);
}

void MainController::enableUI()
{
    setInputsEnabled(true);
}

void MainController::setInputsEnabled(bool enabled)
{
    for (QWidget *control :
         {static_cast<QWidget *>(buttonStartTests), static_cast<QWidget *>(textVeltraneAccount),
          static_cast<QWidget *>(textTicketNo), static_cast<QWidget *>(textDomainToTest)}) {
        if (control)
            control->setEnabled(enabled);
    }
}

void MainController::showProgress()
{
    updateProgress();
    if (textResultsLinkView)
        textResultsLinkView->hide();
    if (textCopyPaste)
        textCopyPaste->hide();
    if (textStatus)
        textStatus->show();
    // A determinate bar has no animation of its own to start: styles that
    // animate one do so while it is shown.
    if (progressIndicator)
        progressIndicator->show();
    if (copyToClipBoardLink)
        copyToClipBoardLink->hide();
    if (shareButton)
        shareButton->hide();
}

void MainController::hideProgress()
{
    if (textStatus)
        textStatus->hide();
    if (progressIndicator)
        progressIndicator->hide();
    if (copyToClipBoardLink)
        copyToClipBoardLink->show();
    if (shareButton)
        shareButton->show();
}

void MainController::updateProgress()
{
    // Posted, and the numbers read when it runs, so that updates queued behind
    // each other all show the latest state.
    QMetaObject::invokeMethod(
        this,
        [this] {
            const auto total = static_cast<int>(processes.size());
            const auto done = static_cast<int>(finishedTasksCount());
            if (textStatus)
                textStatus->setText(QStringLiteral("Please wait. Finished %1 out of %2 tests.")
                                        .arg(done)
                                        .arg(total));
            if (progressIndicator)
                progressIndicator->setValue(done);
        },
        Qt::QueuedConnection);
}

bool MainController::applicationShouldTerminateAfterLastWindowClosed(
    QGuiApplication *application) const
{
    Q_UNUSED(application);
    return true;
}

void MainController::setTextView(QTextBrowser *view, const QString &text)
{
    if (!view)
        return;
    resultsview::replaceText(*view, text);
    hiliteAndActivateURLs(view);
    resultsview::paintText(*view);
}

void MainController::hiliteAndActivateURLs(QTextBrowser *view)
{
    if (view)
        resultsview::markLinks(*view);
}

void MainController::copyToClipBoardLinkButtonPressed()
{
    // Until an upload has succeeded there is nothing to copy; the clipboard
    // keeps what the user had on it.
    if (!resultsUrl)
        return;
    QClipboard *clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(*resultsUrl);
}

void MainController::shareButtonPressed()
{
    if (!resultsUrl)
        return;
    // A reply that is no valid URL (one ending in a line break, say) is not
    // handed to the desktop: what it would open is anyone's guess.
    const QUrl url(*resultsUrl, QUrl::StrictMode);
    if (url.isValid())
        QDesktopServices::openUrl(url);
}
