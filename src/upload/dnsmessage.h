#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QHostAddress>
#include <QList>

#include <optional>

// A DNS query for the IPv4 addresses of name (in its ASCII form, as QUrl::toAce
// gives it), recursion desired; empty when name is no valid host name.
QByteArray dnsQuery(quint16 id, QByteArrayView name);

// The IPv4 addresses that message gives in answer to query for the name asked,
// or for a name that its CNAME records lead to (a chain of at most 8); none
// when the server refused, knows none or cut its answer short (truncated).
// Absent when message is no answer to query (another id or question, not a
// response) or is malformed: it comes from the network and is trusted in
// nothing.
std::optional<QList<QHostAddress>> dnsAnswerAddresses(QByteArrayView message, QByteArrayView query);
