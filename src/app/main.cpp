#include "logging.h"
#include "options.h"
#include "startup.h"
#include "windowedstartup.h"

#include <QString>
#include <QStringList>

int main(int argc, char *argv[])
{
    installLogHandler();
    raiseOpenFileLimit();

    QStringList arguments;
    for (int i = 0; i < argc; ++i)
        arguments.append(QString::fromLocal8Bit(argv[i]));
    const Options options = parseOptions(arguments);

    switch (chooseRunMode(arguments, options)) {
    case RunMode::Help:
        printHelp();
        return 0;
    case RunMode::Windowless:
        return runWindowless(argc, argv, options);
    case RunMode::Windowed:
        break;
    }
    return runWindowed(argc, argv);
}
