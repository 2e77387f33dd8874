#include "readreports.h"

#include "buildconfig.h"
#include "findingsjson.h"
#include "reportcompare.h"
#include "reportfindings.h"

#include <QFile>
#include <QtGlobal>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A larger piece costs more in fresh pages, each a fault, than it saves in
// calls.
constexpr qsizetype chunkSize = 64 * 1024;

// Why a file that is not a regular one cannot be read as a report; reading a
// FIFO or a device might never end.
std::optional<QString> notAFile(const struct stat &info)
{
    if (S_ISREG(info.st_mode))
        return std::nullopt;
    if (S_ISDIR(info.st_mode))
        return QStringLiteral("is a folder");
    if (S_ISCHR(info.st_mode) || S_ISBLK(info.st_mode))
        return QStringLiteral("is a device");
    if (S_ISFIFO(info.st_mode))
        return QStringLiteral("is a FIFO");
    return QStringLiteral("is not a file");
}

void say(const QString &path, const QString &what)
{
    qWarning("%s %s, not a report", qUtf8Printable(path), qUtf8Printable(what));
}

// Reads the report at path ("-": standard input) as a stream; nothing, once
// the reason is said, when it cannot be read as one.
std::optional<ReportReading> readReport(const QString &path, const BatteryNames &names)
{
    const bool standardInput = path == QLatin1String("-");
    const int file = standardInput ? ::dup(STDIN_FILENO)
                                   : ::open(QFile::encodeName(path).constData(),
                                            O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    struct stat info = {};
    if (file < 0 || ::fstat(file, &info) != 0) {
        qWarning("could not read %s: %s", qUtf8Printable(path), std::strerror(errno));
        if (file >= 0)
            ::close(file);
        return std::nullopt;
    }
    if (const std::optional<QString> why = standardInput ? std::nullopt : notAFile(info)) {
        say(path, *why);
        ::close(file);
        return std::nullopt;
    }
    ::posix_fadvise(file, 0, 0, POSIX_FADV_SEQUENTIAL);
    ReportFindingsReader reader(names);
    // One for every report of a call.
    static QByteArray buffer(chunkSize, Qt::Uninitialized);
    for (;;) {
        const ssize_t count = ::read(file, buffer.data(), chunkSize);
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0) {
            qWarning("could not read %s: %s", qUtf8Printable(path), std::strerror(errno));
            ::close(file);
            return std::nullopt;
        }
        if (count == 0)
            break;
        reader.feed(QByteArrayView(buffer.constData(), count));
    }
    ::close(file);
    if (reader.bytesRead() == 0) {
        say(path, QStringLiteral("is empty"));
        return std::nullopt;
    }
    ReportReading reading = reader.finish();
    if (reading.blocks == 0) {
        qWarning("%s holds no report block", qUtf8Printable(path));
        return std::nullopt;
    }
    return reading;
}

void print(const QByteArray &bytes)
{
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stdout);
}

QString version()
{
    return QLatin1String(buildconfig::version);
}

// The findings run each of their patterns once over a few kilobytes of a
// block: for a few reports, compiling the patterns to machine code takes
// longer than interpreting them (a third of a typical report's reading past
// Qt's own start), for many it pays. The user's own choice stands.
void choosePatternCompiling(qsizetype reports)
{
    constexpr qsizetype compiledFrom = 8;
    if (reports < compiledFrom && !qEnvironmentVariableIsSet("QT_ENABLE_REGEXP_JIT"))
        qputenv("QT_ENABLE_REGEXP_JIT", "0");
}

} // namespace

int readReports(const QStringList &files, bool json)
{
    choosePatternCompiling(files.size());
    const BatteryNames names(builtInEndpoints());
    int status = 0;
    bool first = true;
    for (const QString &file : files) {
        const std::optional<ReportReading> reading = readReport(file, names);
        if (!reading) {
            status = 2;
            continue;
        }
        if (json) {
            print(jsonLine(readingJson(version(), file, *reading)));
            continue;
        }
        if (files.size() > 1)
            print(((first ? "" : "\n") + QStringLiteral("==> %1 <==\n").arg(file)).toUtf8());
        first = false;
        print(readingText(*reading).toUtf8());
    }
    std::fflush(stdout);
    return status;
}

int compareReports(const QString &older, const QString &newer, bool json)
{
    choosePatternCompiling(2);
    const BatteryNames names(builtInEndpoints());
    const std::optional<ReportReading> before = readReport(older, names);
    const std::optional<ReportReading> after = readReport(newer, names);
    if (!before || !after)
        return 2;
    const std::vector<ReportChange> changes = reportChanges(*before, *after);
    if (json) {
        print(jsonLine(comparisonJson(version(), older, *before, newer, *after, changes)));
    } else if (changes.empty()) {
        print((noChangeLine() + u'\n').toUtf8());
    } else {
        QString text;
        for (const ReportChange &change : changes)
            text += changeLine(change) + u'\n';
        print(text.toUtf8());
    }
    std::fflush(stdout);
    return 0;
}
