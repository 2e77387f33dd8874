#include "startup.h"

#include "endpoints.h"
#include "help.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <sys/resource.h>
#include <unistd.h>

void raiseOpenFileLimit()
{
    rlimit limit{};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur >= limit.rlim_max)
        return;
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

void guardStandardStreams()
{
    // Commands started later get the default back from QProcess.
    std::signal(SIGPIPE, SIG_IGN);
    // Past a file size limit (ulimit -f) a write fails with its reason, and
    // the report goes elsewhere, instead of the program ending on the spot.
    // Commands get the default back from the runner.
    std::signal(SIGXFSZ, SIG_IGN);
    // A closed one is held by /dev/null opened the wrong way round (the lowest
    // free descriptor is the closed one): writes to it still fail.
    for (const int descriptor : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
        if (::fcntl(descriptor, F_GETFD) < 0 && errno == EBADF)
            ::open("/dev/null", descriptor == STDIN_FILENO ? O_WRONLY : O_RDONLY);
    }
}

void preferUtf8CharacterType()
{
    // setlocale reads the first of these that is set and not empty.
    const char *decidedBy = nullptr;
    for (const char *name : {"LC_ALL", "LC_CTYPE", "LANG"}) {
        const char *value = std::getenv(name);
        if (value && *value) {
            decidedBy = name;
            break;
        }
    }
    const QByteArray value = decidedBy ? std::getenv(decidedBy) : "";
    if (!value.isEmpty() && value != "C" && value != "POSIX")
        return;
    const locale_t utf8 = ::newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (!utf8)
        return;
    ::freelocale(utf8);
    // LC_ALL would override LC_CTYPE: each other category is given its value.
    if (decidedBy && std::strcmp(decidedBy, "LC_ALL") == 0) {
        for (const char *category :
             {"LC_COLLATE", "LC_MESSAGES", "LC_MONETARY", "LC_NUMERIC", "LC_TIME", "LC_ADDRESS",
              "LC_IDENTIFICATION", "LC_MEASUREMENT", "LC_NAME", "LC_PAPER", "LC_TELEPHONE"})
            ::setenv(category, value.constData(), 1);
        ::unsetenv("LC_ALL");
    }
    ::setenv("LC_CTYPE", "C.UTF-8", 1);
}

void printHelp()
{
    const QByteArray help = helpOutput(QLatin1String(endpoints::ServiceDomain),
                                       QLatin1String(endpoints::ResultsServerHost))
                                .toUtf8();
    std::fwrite(help.constData(), 1, static_cast<size_t>(help.size()), stdout);
    std::fflush(stdout);
}

void warnAboutOptions(const QStringList &arguments, const Options &options)
{
    // The desktop's launcher adds arguments of its own; nobody reads the
    // terminal then.
    if (isDesktopLaunch(arguments))
        return;
    for (const QString &name : options.unknownOptions)
        qWarning("ignoring unknown option %s", qUtf8Printable(name));
    if (options.repeatedDomain && options.run.silent)
        qWarning("%s", qUtf8Printable(*options.repeatedDomain));
}
