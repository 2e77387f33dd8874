#pragma once

#include "findings.h"
#include "reportfindings.h"

#include <QString>

#include <optional>
#include <vector>

// What differs between an older and a newer report of the same battery.
struct ReportChange
{
    enum class Kind
    {
        // A finding of a topic that the older report has no finding of.
        Appeared,
        Gone,
        // The same topic with another level or text.
        Changed,
        TestDomain,
        Account,
        Ticket,
        OnlyInOld,
        OnlyInNew
    };
    Kind kind = Kind::Changed;
    std::optional<Finding> before;
    std::optional<Finding> after;
    // The test domain, account or ticket on each side; for a block in only
    // one report, its name in afterText.
    std::optional<QString> beforeText;
    std::optional<QString> afterText;
};

// Every change, most important first: the findings worth a look, then those
// that could not be told, the reports' test domains, accounts and tickets, the
// fine findings, and last the blocks present in only one of the two. A finding
// counts by the level of either side, the higher one.
std::vector<ReportChange> reportChanges(const ReportReading &before, const ReportReading &after);

// One line per change, as --compare prints it.
QString changeLine(const ReportChange &change);

// What --compare prints when nothing changed.
QString noChangeLine();
