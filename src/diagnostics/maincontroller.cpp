#include "maincontroller.h"

#include "outputhead.h"
#include "paths.h"
#include "process.h"
#include "report.h"
#include "resultblock.h"
#include "runinputs.h"

#include <QDebug>
#include <QDir>
#include <QFileInfo>

MainController::MainController(const QSslConfiguration &uploadTls, QObject *parent)
    : QObject(parent), reportDelivery(uploadTls)
{
    // An upload still going once the delivery returns is told as started.
    const auto delivered = [this] { isDelivered = true; };
    connect(&reportDelivery, &Delivery::deliveredWithoutUpload, this, delivered);
    connect(&reportDelivery, &Delivery::uploadSucceeded, this, delivered);
    connect(&reportDelivery, &Delivery::uploadFailed, this, delivered);
}

MainController::~MainController() = default;

void MainController::awakeFromNib()
{
    processes.clear();
    processes.reserve(20);
    container.clear();
    tailSize = defaultTailSize;
    maxPostSize = defaultMaxPostSize;
}

void MainController::initArgsWithSilent(const RunOptions &options)
{
    this->options = options;
    if (options.outputFile)
        this->options.outputFile = expandTilde(*options.outputFile);
}

void MainController::runTests(const FieldEntries &fields)
{
    startTests(fields);
}

void MainController::startTest(const Test &test)
{
    auto process = std::make_unique<Process>(launchPool);
    connect(process.get(), &Process::processTerminated, this,
            &MainController::processTerminatedNotification);
    Process *started = process.get();
    processes.push_back(std::move(process));
    processRows.push_back(test.row);
    processLogFiles.push_back(test.logFile);
    if (test.masksSecrets)
        started->maskSecrets();
    // A FIFO among the agent's logs would never end; a name that is not UTF-8
    // is shown escaped while the shell gets its bytes.
    if (test.notRunBecause)
        started->finishUnstarted(displayNameOf(test), *test.notRunBecause);
    else if (test.displayName)
        started->startShownAs(*test.displayName, test.launchPath, test.args);
    else
        started->start(test.launchPath, test.args, test.comment);
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

void MainController::startTests(const FieldEntries &fields)
{
    reportDelivery.runStarting();
    std::vector<Test> tests = prepareRun(fields);

    container.push_back(std::move(processes));
    processes.clear();
    processRows.clear();
    processLogFiles.clear();
    runStartedAt = CommandRecord::Clock::now();

    if (batteryOverride)
        tests = *batteryOverride;
    for (const Test &test : tests)
        startTest(test);

    emit runStarted(static_cast<int>(processes.size()));
    updateProgress();
}

std::vector<Test> MainController::prepareRun(const FieldEntries &fields)
{
    // Any kind of file at the agent's path counts as an installed agent.
    isAmx = QFileInfo::exists(agentPaths.installDirectory);
    isFinishing = false;
    rememberAccountAndTicketNo(fields);

    BatteryInputs inputs;
    inputs.endpoints = builtInEndpoints();
    inputs.testDomain = takeTestDomain(fields);
    inputs.tailSize = tailSize;
    inputs.agentPaths = agentPaths;
    inputs.agentGate = agentGateHolds(options.skipAgentTests, isAmx, options.forceAgentTests);
    if (inputs.agentGate)
        inputs.agentLogFiles = tailBeaconLogs();
    const LocalSystem system = thisSystem();
    if (std::vector<BatteryTool> missing = missingTools(system); !missing.empty())
        emit toolsMissing(missing);
    std::vector<Test> tests = batteryTests(inputs, system);
    findingsContext = findingContext(inputs, tests);
    return tests;
}

std::optional<QString> MainController::takeTestDomain(const FieldEntries &fields)
{
    const TestDomainName domain =
        testDomainName(testDomainText(options.domain, [&fields] { return fields.domain; }));
    if (domain.fromAddress)
        qWarning("testing the host \"%s\" of the address given", qUtf8Printable(domain.name));
    if (const std::optional<QString> notice = skippedTestDomainNotice(domain.name)) {
        qWarning().noquote() << *notice;
        emit testDomainSkipped(*notice);
    }
    return presentTestDomain(domain.name);
}

void MainController::rememberAccountAndTicketNo(const FieldEntries &fields)
{
    freeAccountAndTicketNo();
    txtVeltraneAccount = trimmedEntry(fields.account);
    txtTicketNo = trimmedEntry(fields.ticket);
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
    return logFolderPaths(directoryPath);
}

void MainController::updateProgress()
{
    // Posted, and the numbers read when it runs, so that updates queued behind
    // each other all show the latest state.
    QMetaObject::invokeMethod(
        this,
        [this] {
            emit progressChanged(static_cast<int>(finishedTasksCount()),
                                 static_cast<int>(processes.size()));
        },
        Qt::QueuedConnection);
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
    const std::vector<CommandOutput> outputs = commandOutputs();
    QMap<BatteryRow, QString> commandsByRow;
    QMap<BatteryRow, QString> outputHeadsByRow;
    for (const CommandOutput &output : outputs) {
        commandsByRow.insert(output.row, output.displayName);
        outputHeadsByRow.insert(output.row, outputHead(output));
    }
    emit findingsFound(findings(outputs, findingsContext), commandsByRow, outputHeadsByRow);

    isDelivered = false;
    // Written as often as it is needed, never held whole: the commands may
    // have printed gigabytes.
    reportDelivery.deliver([this](QIODevice &device) { return buildResults(device); }, options,
                           maxPostSize);
    if (!isDelivered)
        emit uploadStarted();
}

bool MainController::buildResults(QIODevice &device) const
{
    if (!writeAll(device, reportHead(txtVeltraneAccount, txtTicketNo)))
        return false;
    for (const auto &process : processes) {
        if (!writeResult(device, *process))
            return false;
    }
    return true;
}

std::vector<CommandOutput> MainController::commandOutputs() const
{
    std::vector<CommandOutput> outputs;
    outputs.reserve(processes.size());
    for (std::size_t i = 0; i < processes.size(); ++i) {
        const Process &process = *processes[i];
        const bool couldNotStart = process.record().end == CommandRecord::End::CouldNotStart;
        outputs.push_back({processRows[i], process.name(), process.stdOutHead(findingsInputLimit),
                           process.stdErrHead(findingsInputLimit), couldNotStart});
    }
    return outputs;
}

RunRecord MainController::runRecord() const
{
    RunRecord run{txtVeltraneAccount, txtTicketNo, findingsContext.testDomain, runStartedAt, {}};
    run.commands.reserve(processes.size());
    for (std::size_t i = 0; i < processes.size(); ++i)
        run.commands.push_back(
            {processRows[i], processLogFiles[i], processes[i]->name(), processes[i]->record()});
    return run;
}
