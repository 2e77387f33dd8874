#include "report.h"

QString buildReport(const std::optional<QString> &account, const std::optional<QString> &ticket,
                    const QStringList &blocks)
{
    QString report;
    report.reserve(2048);
    if (account)
        report += QStringLiteral("Veltrane account: ") + *account + u'\n';
    if (ticket)
        report += QStringLiteral("Veltrane ticket: ") + *ticket + u'\n';
    for (const QString &block : blocks)
        report += block;
    return report;
}
