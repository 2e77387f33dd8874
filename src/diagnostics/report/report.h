#pragma once

#include <QByteArray>
#include <QString>

#include <optional>

// The lines that open the report, before the result blocks: the account and
// the ticket number, each when given.
QByteArray reportHead(const std::optional<QString> &account, const std::optional<QString> &ticket);
