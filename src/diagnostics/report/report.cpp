#include "report.h"

QByteArray reportHead(const std::optional<QString> &account, const std::optional<QString> &ticket)
{
    QByteArray head;
    if (account)
        head += "Veltrane account: " + account->toUtf8() + '\n';
    if (ticket)
        head += "Veltrane ticket: " + ticket->toUtf8() + '\n';
    return head;
}
