#pragma once

#include <QMap>
#include <QObject>
#include <QSslConfiguration>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <memory>
#include <optional>
#include <vector>

#include "battery.h"
#include "delivery.h"
#include "findings.h"
#include "launchpool.h"
#include "runoptions.h"
#include "runrecord.h"
#include "toolcheck.h"

class Process;
class QIODevice;

// What the user typed into the window's fields for a run; all empty in the
// windowless run.
struct FieldEntries
{
    QString account;
    QString ticket;
    QString domain;
};

// The one controller of the program: schedules the battery, recognises its end
// once per run, builds the report and hands it to the delivery. It knows no
// window: the window and the windowless run's console each render its signals.
class MainController : public QObject
{
    Q_OBJECT

public:
    // Uploads trust the certificate authorities of uploadTls; by default only
    // the system's, which is all runbench needs: it is built against older
    // revisions too.
    explicit MainController(
        const QSslConfiguration &uploadTls = QSslConfiguration::defaultConfiguration(),
        QObject *parent = nullptr);
    ~MainController() override;

    void awakeFromNib();

    // The options of the windowless run; the window's runs keep the defaults.
    // The output file's leading tilde is expanded here.
    void initArgsWithSilent(const RunOptions &options);

    void runTests(const FieldEntries &fields = {});
    void startTest(const Test &test);
    std::uint32_t finishedTasksCount() const;
    bool didAllTestsFinished() const;

    // The agent's log files that a run prints, in start order: the entries of
    // its log subfolders, each subfolder sorted by name.
    QStringList tailBeaconLogs() const;
    QStringList tailBeaconSubfolderLog(const QString &directoryPath) const;

    // Fixes the inputs of a run (agent, account, ticket, test domain) and
    // returns its battery in start order. Starts nothing.
    std::vector<Test> prepareRun(const FieldEntries &fields = {});

    // Writes the last run's report to device block by block: the account and
    // ticket lines, then every command's result block in start order, in
    // little memory whatever the commands printed. False when the device took
    // less or a command's output could not be read back.
    bool buildResults(QIODevice &device) const;
    // The last run: its head, test domain and every command's record, in
    // start order. What is shown of each command is read from here.
    RunRecord runRecord() const;
    // The link of the last successful upload.
    const std::optional<QString> &resultsLink() const { return reportDelivery.resultsLink(); }
    // Tells how each run's report left the program.
    Delivery &delivery() { return reportDelivery; }

    // Test seam: every run starts these commands instead of the battery; the
    // rest of the run (account, ticket, progress, delivery) is unchanged.
    void replaceBattery(std::vector<Test> tests) { batteryOverride = std::move(tests); }
    // Test seam: where the endpoint agent's files are looked for.
    void setAgentPaths(AgentPaths paths) { agentPaths = std::move(paths); }

signals:
    // The whole battery of a run has been started.
    void runStarted(int testCount);
    // Posted after the run starts and after each test's end; the numbers are
    // those of when it is delivered, so updates queued together agree.
    void progressChanged(int finished, int total);
    // Every test of the run has ended, once per run; the report is complete.
    void allTestsFinished();
    // What the run's outputs show, most important first, right after
    // allTestsFinished; with the report's name for the command of each row
    // and the first lines it printed.
    void findingsFound(const std::vector<Finding> &findings,
                       const QMap<BatteryRow, QString> &commandsByRow,
                       const QMap<BatteryRow, QString> &outputHeadsByRow);

    // Told as a run starts, before runStarted: tools of the battery found
    // nowhere on this system (nothing when all are there), and a test domain
    // that was given but is not tested.
    void toolsMissing(const std::vector<BatteryTool> &tools);
    void testDomainSkipped(const QString &notice);

    // The report is on its way to the results server: the delivery's
    // uploadSucceeded or uploadFailed follows.
    void uploadStarted();

private:
    void startTests(const FieldEntries &fields);
    void rememberAccountAndTicketNo(const FieldEntries &fields);
    void freeAccountAndTicketNo();
    std::optional<QString> takeTestDomain(const FieldEntries &fields);
    void updateProgress();
    void processTerminatedNotification();
    void handleAllTestsFinished();
    std::vector<CommandOutput> commandOutputs() const;

    // Admits the commands of every run; outlives them.
    LaunchPool launchPool;
    std::vector<std::unique_ptr<Process>> processes;
    // The battery row of each entry of processes.
    std::vector<BatteryRow> processRows;
    // The agent log file each entry prints, if it is one.
    std::vector<std::optional<QString>> processLogFiles;
    CommandRecord::Clock::time_point runStartedAt;
    FindingContext findingsContext;
    // The run's report has reached its last destination (or failed to).
    bool isDelivered = false;
    // Earlier runs' commands, kept alive until the program ends.
    std::vector<std::vector<std::unique_ptr<Process>>> container;

    std::optional<QString> txtVeltraneAccount;
    std::optional<QString> txtTicketNo;
    RunOptions options;
    bool isAmx = false;
    bool isFinishing = false;
    std::int32_t tailSize = defaultTailSize;
    std::int32_t maxPostSize = defaultMaxPostSize;
    Delivery reportDelivery;

    std::optional<std::vector<Test>> batteryOverride;
    AgentPaths agentPaths;
};
