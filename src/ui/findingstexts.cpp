#include "findingstexts.h"

#include <QCoreApplication>
#include <QStringList>

#include <algorithm>

namespace findingstexts {

namespace {

qsizetype countOf(const std::vector<Finding> &findings, Finding::Level level)
{
    return std::count_if(findings.begin(), findings.end(),
                         [level](const Finding &finding) { return finding.level == level; });
}

} // namespace

QString levelWords(Finding::Level level)
{
    switch (level) {
    case Finding::Level::Fine:
        return QCoreApplication::translate("FindingsList", "Fine");
    case Finding::Level::WorthALook:
        return QCoreApplication::translate("FindingsList", "Worth a look");
    case Finding::Level::CouldNotTell:
        break;
    }
    return QCoreApplication::translate("FindingsList", "Could not tell");
}

QString headline(const std::vector<Finding> &findings)
{
    if (findings.empty())
        return {};
    const auto fine = static_cast<int>(countOf(findings, Finding::Level::Fine));
    if (fine == static_cast<int>(findings.size()))
        return QCoreApplication::translate("FindingsList", "Nothing looks wrong");
    const auto look = static_cast<int>(countOf(findings, Finding::Level::WorthALook));
    const auto unknown = static_cast<int>(countOf(findings, Finding::Level::CouldNotTell));
    QStringList parts;
    if (look > 0)
        parts.append(QCoreApplication::translate("FindingsList", "%n worth a look", nullptr, look));
    if (unknown > 0)
        parts.append(
            QCoreApplication::translate("FindingsList", "%n could not tell", nullptr, unknown));
    if (fine > 0)
        parts.append(QCoreApplication::translate("FindingsList", "%n fine", nullptr, fine));
    return parts.join(QStringLiteral(" \u00b7 "));
}

QString spoken(const Finding &finding)
{
    return QCoreApplication::translate("FindingsList", "%1: %2")
        .arg(levelWords(finding.level), finding.text);
}

QString testLines(const QString &displayName, const QString &outputHead)
{
    return displayName + u'\n' +
           (outputHead.isEmpty() ? QCoreApplication::translate("FindingsList", "(printed nothing)")
                                 : outputHead);
}

QString spokenTest(const QString &displayName, const QString &outputHead)
{
    if (outputHead.isEmpty())
        return QCoreApplication::translate("FindingsList", "Test %1, printed nothing")
            .arg(displayName);
    return QCoreApplication::translate("FindingsList", "Test %1, printed: %2")
        .arg(displayName, outputHead);
}

} // namespace findingstexts
