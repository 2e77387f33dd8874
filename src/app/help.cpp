#include "help.h"

QStringList helpTexts(const QString &serviceDomain, const QString &resultsServerHost)
{
    return {
        "-d --domain=, A specific URL to target with tests (e.g. " + serviceDomain + ")",
        "-s --silent=, Automatically run tests in silent mode (will not show the UI or new "
        "windows; defaults to -i output)",
        "-i --internet, Output all results to " + resultsServerHost +
            "; destination URL will print to console as 'url=URL'",
        "-o --output=, Output to a file, which will print to console as 'outputFile=FILE'; can be "
        "a full path, make sure to use \"quotes\" if needed",
        "-c --console, Output all results to console as text",
        "--amx, Force the Ambrix tests to be performed",
        "--noamx, Skip the Ambrix tests even if it's installed",
        "--findings, Print what the tests show to the console after everything else",
        "--read, Print the findings of each saved report named, as --findings does; runs no test",
        "--compare, Print what changed from the first saved report named to the second; runs no "
        "test",
        "--json, Print the findings of --findings, --read or --compare as JSON",
        "-h --help -?, Display this usage statement",
    };
}

QString indentAndWrap(const QString &text, int indentWidth, int lineLength)
{
    const QString indent(indentWidth, u' ');
    QStringList lines;
    for (const QString &paragraph : text.split(u'\n')) {
        QString line = indent;
        bool lineHasWord = false;
        for (const QString &word : paragraph.split(u' ', Qt::SkipEmptyParts)) {
            if (lineHasWord && line.size() + 1 + word.size() > lineLength) {
                lines.append(line);
                line = indent;
                lineHasWord = false;
            }
            if (lineHasWord)
                line += u' ';
            line += word;
            lineHasWord = true;
        }
        lines.append(line);
    }
    return lines.join(u'\n');
}

QString helpEntry(const QString &text, int indentLevel, int terminalWidth)
{
    return indentAndWrap(text, 2 * indentLevel, terminalWidth);
}

QString helpOutput(const QString &serviceDomain, const QString &resultsServerHost)
{
    QString output;
    for (const QString &text : helpTexts(serviceDomain, resultsServerHost))
        output += helpEntry(text, 0, 100) + u'\n';
    return output;
}
