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
    const QCommandLineOption help(QStringList{"h", "help", "?"});

    QCommandLineParser parser;
    parser.addOptions({domain, silent, internet, output, console, amx, noamx, findings, help});
    // parse() reports unknown options as a failure but still records the known
    // ones; unknown arguments are to be ignored, so the result is not checked.
    (void)parser.parse(arguments);

    Options options;
    options.help = parser.isSet(help);
    options.findings = parser.isSet(findings);
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
    if (isDesktopLaunch(arguments))
        return RunMode::Windowed;
    if (options.help)
        return RunMode::Help;
    if (options.usageError)
        return RunMode::UsageError;
    return options.run.silent ? RunMode::Windowless : RunMode::Windowed;
}
