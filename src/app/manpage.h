#pragma once

#include <QString>
#include <QStringList>

#include <optional>

// The manual page's option entries in roff, one tagged paragraph per help text:
// the option names before the first ", " in bold, the rest as the paragraph.
QString manPageOptions(const QStringList &helpTexts);

// The manual page: the template with its one line that reads exactly
// manPageOptionsMarker replaced by the option entries; nothing when the template
// does not hold that line exactly once.
std::optional<QString> manPage(const QString &manTemplate, const QStringList &helpTexts);

inline constexpr char manPageOptionsMarker[] = ".\\\" options from the help texts";
