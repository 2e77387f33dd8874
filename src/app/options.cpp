#include "options.h"

#include "utf8escape.h"

#include <QCommandLineParser>

namespace {

std::optional<QString> firstValue(const QCommandLineParser &parser,
                                  const QCommandLineOption &option)
{
    // value() would give the last of repeated values; the first one counts.
    const QStringList values = parser.values(option);
    if (values.isEmpty())
        return std::nullopt;
    return values.first();
}

// The parser gives unknown names without their dashes, and once per
// occurrence.
QStringList asTyped(const QStringList &names)
{
    QStringList typed;
    for (const QString &name : names)
        typed.append((name.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + name);
    typed.removeDuplicates();
    return typed;
}

} // namespace

QStringList argumentsOf(int argc, char *argv[])
{
    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(fileNameFromBytes(argv[i]));
    return arguments;
}

Options parseOptions(const QStringList &arguments)
{
    const QCommandLineOption domain(QStringList{"d", "domain"}, QString(), "domain");
    const QCommandLineOption silent(QStringList{"s", "silent"});
    const QCommandLineOption internet(QStringList{"i", "internet"});
    const QCommandLineOption output(QStringList{"o", "output"}, QString(), "file");
    const QCommandLineOption console(QStringList{"c", "console"});
    const QCommandLineOption amx("amx");
    const QCommandLineOption noamx("noamx");
    const QCommandLineOption findings("findings");
    // The reports are all the arguments that are no option, wherever they stand.
    const QCommandLineOption read("read");
    const QCommandLineOption compare("compare");
    const QCommandLineOption json("json");
    const QCommandLineOption help(QStringList{"h", "help", "?"});

    QCommandLineParser parser;
    parser.addOptions({domain, silent, internet, output, console, amx, noamx, findings, read,
                       compare, json, help});
    // parse() reports unknown options as a failure but still records the known
    // ones; unknown arguments are to be ignored, so the result is not checked.
    (void)parser.parse(arguments);

    Options options;
    options.help = parser.isSet(help);
    options.findings = parser.isSet(findings);
    options.json = parser.isSet(json);
    if (parser.isSet(read))
        options.readFiles = parser.positionalArguments();
    if (parser.isSet(compare))
        options.compareFiles = parser.positionalArguments();
    options.run.silent = parser.isSet(silent);
    options.run.internet = parser.isSet(internet);
    options.run.console = parser.isSet(console);
    options.run.forceAgentTests = parser.isSet(amx);
    options.run.skipAgentTests = parser.isSet(noamx);
    options.run.domain = firstValue(parser, domain);
    options.run.outputFile = firstValue(parser, output);
    options.unknownOptions = asTyped(parser.unknownOptionNames());
    if (parser.values(domain).size() > 1)
        options.repeatedDomain =
            QStringLiteral("-d/--domain given more than once: testing \"%1\", the first")
                .arg(*options.run.domain);
    // Asked for a file, the user must not get an upload instead.
    if (parser.isSet(output) && options.run.outputFile.value_or(QString()).isEmpty())
        options.usageError = QStringLiteral("-o/--output needs a file name");
    if (options.readFiles && options.compareFiles)
        options.usageError = QStringLiteral("--read and --compare cannot be used together");
    else if (options.readFiles && options.readFiles->isEmpty())
        options.usageError = QStringLiteral("--read needs the file name of a report");
    else if (options.compareFiles && options.compareFiles->size() != 2)
        options.usageError =
            QStringLiteral("--compare needs two reports: the older, then the newer");
    else if (options.readFiles || options.compareFiles)
        options.usageError.reset(); // they read files and run nothing, whatever else is asked
    return options;
}

bool isDesktopLaunch(const QStringList &arguments)
{
    for (const QString &argument : arguments) {
        if (argument.contains(QLatin1String("-psn_")))
            return true;
    }
    return false;
}

RunMode chooseRunMode(const QStringList &arguments, const Options &options)
{
    // Reading saved reports runs no test and opens no window, whatever else is asked.
    if ((options.readFiles || options.compareFiles) && !options.usageError)
        return options.readFiles ? RunMode::Read : RunMode::Compare;
    if (isDesktopLaunch(arguments))
        return RunMode::Windowed;
    if (options.help)
        return RunMode::Help;
    if (options.usageError)
        return RunMode::UsageError;
    return options.run.silent ? RunMode::Windowless : RunMode::Windowed;
}
