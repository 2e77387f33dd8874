#pragma once

#include <QLabel>
#include <QLineEdit>
#include <QObject>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QString>
#include <QStringList>
#include <QTextBrowser>
#include <QWidget>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "battery.h"
#include "httpprotocol.h"

class Process;
class QGuiApplication;
class QIODevice;

// The one controller of the program: schedules the battery, recognises its end
// once per run, builds the report and delivers it. The window's controls are
// absent in the windowless run; every step on them then does nothing.
class MainController : public QObject, public HttpProtocol
{
    Q_OBJECT

public:
    explicit MainController(QObject *parent = nullptr);
    ~MainController() override;

    void awakeFromNib();

    // Puts a text into a results view and makes its web addresses links.
    void setTextView(QTextBrowser *view, const QString &text);
    void hiliteAndActivateURLs(QTextBrowser *view);

    // The program ends when its window closes.
    bool applicationShouldTerminateAfterLastWindowClosed(QGuiApplication *application) const;

    // Run options of the windowless run.
    void initArgsWithSilent(bool silent, bool console, bool forceAMX, bool skipAmx, bool internet);
    void setDomain(const QString &domain);
    void setOutputFile(const QString &path);

    void runTests();
    void startTest(const QString &launchPath, const QStringList &args,
                   const std::optional<QString> &comment = std::nullopt);
    std::uint32_t finishedTasksCount() const;
    bool didAllTestsFinished() const;

    void rememberAccountAndTicketNo();
    void freeAccountAndTicketNo();

    // The agent's log files that a run prints, in start order: the entries of
    // its log subfolders, each subfolder sorted by name.
    QStringList tailBeaconLogs() const;
    QStringList tailBeaconSubfolderLog(const QString &directoryPath) const;

    // Fixes the inputs of a run (agent, account, ticket, test domain) and
    // returns its battery in start order. Starts nothing.
    std::vector<Test> prepareRun();

    void disableUI();
    void enableUI();
    void showProgress();
    void hideProgress();
    void updateProgress();

    void copyToClipBoardLinkButtonPressed();
    void shareButtonPressed();

    // Where the console lines go; standard output unless a test says otherwise.
    void setConsole(QIODevice *device) { console = device; }

    const QString &report() const { return results; }
    // The link of the last successful upload.
    const std::optional<QString> &resultsLink() const { return resultsUrl; }

    void onHttpDone(Http *upload) override;
    void onHttpError(Http *upload) override;

    // Test seam: every run starts these commands instead of the battery; the
    // rest of the run (account, ticket, progress, delivery) is unchanged.
    void replaceBattery(std::vector<Test> tests) { batteryOverride = std::move(tests); }
    // Test seam: where the endpoint agent's files are looked for.
    void setAgentPaths(AgentPaths paths) { agentPaths = std::move(paths); }

signals:
    // The windowless run is over and the program should end with this status.
    void exitRequested(int status);
    // The finish of the current run has begun (tests use it to observe runs).
    void allTestsFinished();

private:
    void startTests();
    std::optional<QString> takeTestDomain() const;
    void processTerminatedNotification();
    void handleAllTestsFinished();
    void buildResults();
    void writeConsole(const QByteArray &bytes);
    void setInputsEnabled(bool enabled);
    bool submitResults();
    void deliveryFailed(const QString &message);
    std::optional<QString> saveDesktopCopy();
    bool writeToPath(const QString &path);

public:
    // Controls of the main window; null in the windowless run.
    QPointer<QPushButton> buttonStartTests;
    QPointer<QLineEdit> textVeltraneAccount;
    QPointer<QLineEdit> textTicketNo;
    QPointer<QLineEdit> textDomainToTest;
    QPointer<QProgressBar> progressIndicator;
    QPointer<QLabel> textStatus;
    QPointer<QLabel> textCopyPaste;
    QPointer<QWidget> textResultsLinkView;
    QPointer<QTextBrowser> textResultsLink;
    QPointer<QWidget> window;
    QPointer<QPushButton> copyToClipBoardLink;
    QPointer<QPushButton> shareButton;

private:
    std::vector<std::unique_ptr<Process>> processes;
    // Earlier runs' commands, kept alive until the program ends.
    std::vector<std::vector<std::unique_ptr<Process>>> container;

    std::optional<QString> txtVeltraneAccount;
    std::optional<QString> txtTicketNo;
    QString results;
    std::optional<QString> resultsUrl;
    std::optional<QString> outputFile;
    bool isSilent = false;
    bool isConsole = false;
    bool forceAmx = false;
    bool skipAmx = false;
    bool isAmx = false;
    bool isFinishing = false;
    bool isInternet = false;
    std::optional<QString> domain;
    std::int32_t tailSize = 0;
    std::int32_t maxPostSize = 0;
    std::unique_ptr<Http> http;

    QIODevice *console = nullptr;
    std::optional<std::vector<Test>> batteryOverride;
    AgentPaths agentPaths;
};
