#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>

#include <optional>

// A DNS query for the IPv4 addresses of name (in its ASCII form, as QUrl::toAce
// gives it), recursion desired; empty when name is no valid host name.
QByteArray dnsQuery(quint16 id, QByteArrayView name);

// The IPv4 addresses that message gives in answer to query; none when the
// server refused or knows none. Absent when message is no answer to query
// (another id or question, not a response) or is cut short: it comes from the
// network and is trusted in nothing.
std::optional<QList<QHostAddress>> dnsAnswerAddresses(QByteArrayView message, QByteArrayView query);
