#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The results report: the account and ticket lines when given, then every
// result block in start order, joined directly.
QString buildReport(const std::optional<QString> &account, const std::optional<QString> &ticket,
                    const QStringList &blocks);
