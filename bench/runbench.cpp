// A windowless run of the real controller with generated commands instead of
// the battery: scheduling, capture and delivery exactly as in a user's run.
// bench/run.sh runs it beside its anchors.
//
//   runbench [--console | --output FILE | --upload] COUNT COMMAND
//       Runs COUNT copies of "/bin/sh -c COMMAND" side by side, "{}" in COMMAND
//       replaced by the copy's number from 1, and delivers the report: on
//       standard output, to FILE, or by an upload that is expected to fail and
//       leave the Desktop copy. Then prints on standard error
//       "runbench: cpu_ms=C peak_mib=P status=S": the program's own processor
//       time (user + system, its commands excluded), its peak resident memory
//       and the run's exit status; and exits with that status.
//       With BENCH_TRACE set, also prints when the run started its commands,
//       when each ended, when the report was built and when it was delivered.
//   runbench --list-battery
//       Prints the commands of the battery this build runs, one a line, the
//       launch path and each argument separated by tabs.

#include "consoleview.h"
#include "endpoints.h"
#include "maincontroller.h"
#include "startup.h"
#include "termination.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>
#include <sys/resource.h>

namespace {

enum class Delivering
{
    Upload,
    Console,
    OutputFile
};

struct Arguments
{
    Delivering delivering = Delivering::Upload;
    QString outputFile;
    int count = 0;
    QString command;
};

std::optional<Arguments> parseArguments(QStringList args)
{
    Arguments parsed;
    args.removeFirst();
    if (!args.isEmpty() && args.first() == QLatin1String("--console")) {
        parsed.delivering = Delivering::Console;
        args.removeFirst();
    } else if (args.size() > 1 && args.first() == QLatin1String("--output")) {
        parsed.delivering = Delivering::OutputFile;
        parsed.outputFile = args[1];
        args.remove(0, 2);
    } else if (!args.isEmpty() && args.first() == QLatin1String("--upload")) {
        args.removeFirst();
    }
    if (args.size() != 2)
        return std::nullopt;
    parsed.count = args[0].toInt();
    parsed.command = args[1];
    if (parsed.count < 1)
        return std::nullopt;
    return parsed;
}

std::vector<Test> generatedTests(const Arguments &arguments)
{
    std::vector<Test> tests;
    tests.reserve(static_cast<std::size_t>(arguments.count));
    for (int number = 1; number <= arguments.count; ++number) {
        QString command = arguments.command;
        command.replace(QLatin1String("{}"), QString::number(number));
        tests.push_back(Test{QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command}, {}});
    }
    return tests;
}

int listBattery()
{
    MainController controller;
    controller.awakeFromNib();
    for (const Test &test : controller.prepareRun()) {
        const QStringList line = QStringList{test.launchPath} + test.args;
        std::fputs(qUtf8Printable(line.join(u'\t') + u'\n'), stdout);
    }
    return 0;
}

// The upload must fail without leaving the machine: only a results server on
// loopback, which the bench run's private network namespace does not serve.
bool uploadStaysOnLoopback()
{
    const QLatin1String host(endpoints::ResultsServerHost);
    return host.startsWith(QLatin1String("localhost:")) || host.startsWith(QLatin1String("127."));
}

// When each step of the run happened, in milliseconds since it started.
void traceRun(MainController &controller, ConsoleView &console)
{
    static QElapsedTimer clock;
    clock.start();
    const auto trace = [](const char *step, int count = -1, int total = -1) {
        std::fprintf(stderr, "trace %6lld ms %s", static_cast<long long>(clock.elapsed()), step);
        if (count >= 0)
            std::fprintf(stderr, " %d/%d", count, total);
        std::fputc('\n', stderr);
    };
    QObject::connect(&controller, &MainController::runStarted, &console,
                     [trace](int total) { trace("started", total, total); });
    QObject::connect(&controller, &MainController::progressChanged, &console,
                     [trace](int finished, int total) { trace("finished", finished, total); });
    QObject::connect(&controller, &MainController::allTestsFinished, &console,
                     [trace] { trace("report built"); });
    QObject::connect(&console, &ConsoleView::exitRequested, &console,
                     [trace] { trace("delivered"); });
}

} // namespace

int main(int argc, char *argv[])
{
    raiseOpenFileLimit();
    QCoreApplication app(argc, argv);
    if (app.arguments().value(1) == QLatin1String("--list-battery"))
        return listBattery();
    const std::optional<Arguments> arguments = parseArguments(app.arguments());
    if (!arguments) {
        std::fprintf(stderr, "usage: runbench [--console | --output FILE | --upload] COUNT "
                             "COMMAND\n       runbench --list-battery\n");
        return 2;
    }
    if (arguments->delivering == Delivering::Upload && !uploadStaysOnLoopback()) {
        std::fprintf(stderr, "runbench: --upload needs a build whose results server is on "
                             "loopback (config/loopback.endpoints)\n");
        return 2;
    }
    // Ctrl-C or a kill from bench/run.sh ends the run through the event loop,
    // which stops the commands still running.
    quitOnTerminationSignals();

    MainController controller;
    ConsoleView console(controller);
    QObject::connect(&console, &ConsoleView::exitRequested, &app, [](int status) {
        std::fflush(stdout);
        QCoreApplication::exit(status);
    });
    RunOptions options{.silent = true,
                       .console = arguments->delivering == Delivering::Console,
                       .skipAgentTests = true};
    if (arguments->delivering == Delivering::OutputFile)
        options.outputFile = arguments->outputFile;
    controller.initArgsWithSilent(options);
    controller.awakeFromNib();
    controller.replaceBattery(generatedTests(*arguments));
    if (qEnvironmentVariableIsSet("BENCH_TRACE"))
        traceRun(controller, console);
    controller.runTests();
    const int status = app.exec();

    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    const double cpuMilliseconds = (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
                                   (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
    std::fprintf(stderr, "runbench: cpu_ms=%.1f peak_mib=%.1f status=%d\n", cpuMilliseconds,
                 usage.ru_maxrss / 1024.0, status);
    return status;
}
