#include "whatissent.h"

#include "endpoints.h"

#include <QCoreApplication>
#include <QMessageBox>

namespace {

QString whatIsSentNote(const QString &resultsServerHost)
{
    // Spelled out, not through a helper, so that lupdate finds the text.
    return QCoreApplication::translate(
               "WhatIsSent",
               "<p><b>What the report holds:</b> the account and ticket number you type here, "
               "and everything the tests print: the name servers' answers, routes and ping "
               "times, the pages fetched, the running programs with their command lines, the "
               "network interfaces and their addresses, the resolver settings, the routing "
               "table, the system's version, the computer's name, your user name and the time "
               "since boot; where the endpoint agent is installed, also its settings files, its "
               "logs and its lines of the system log.</p>"
               "<p><b>Where it goes:</b> only to Veltrane support's results server, %1, over "
               "HTTPS, after every run. If that fails, it is saved as diagnostic_results.txt on "
               "your desktop instead. Show Report shows it as it went.</p>"
               "<p><b>What is masked:</b> in the list of running programs, every value that looks "
               "like a password or token (of an option such as --password or --token, of a "
               "setting such as PGPASSWORD=, the password in a web address, an Authorization "
               "header) becomes [masked] before the report is written or sent, and the list says "
               "how many. Addresses and host names stay: support needs them to find what is "
               "wrong.</p>")
        .arg(resultsServerHost.toHtmlEscaped());
}

} // namespace

void showWhatIsSent(QWidget *parent)
{
    auto *note = new QMessageBox(
        QMessageBox::Information, QCoreApplication::translate("WhatIsSent", "What is sent"),
        whatIsSentNote(QLatin1String(endpoints::ResultsServerHost)), QMessageBox::Close, parent);
    note->setObjectName(QStringLiteral("whatIsSentNote"));
    note->setTextFormat(Qt::RichText);
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->open();
}
