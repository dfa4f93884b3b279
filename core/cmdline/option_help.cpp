#include "core/cmdline/option_help.h"

#include <QStringList>
#include <algorithm>

namespace cmdline {

QString optionLines(const QList<QCommandLineOption>& options, HelpLayout layout) {
    const QString indent(layout.column, QLatin1Char(' '));
    QString out;
    for (const QCommandLineOption& o : options) {
        if (o.flags() & QCommandLineOption::HiddenFromHelp)
            continue;
        QStringList names;
        for (const QString& n : o.names())
            names.append((n.size() == 1 ? QStringLiteral("-") : QStringLiteral("--")) + n);
        const bool longOnly = std::none_of(o.names().cbegin(), o.names().cend(),
                                           [](const QString& n) { return n.size() == 1; });
        QString line =
            layout.alignLongNames && longOnly ? QStringLiteral("      ") : QStringLiteral("  ");
        line += names.join(QStringLiteral(", "));
        if (!o.valueName().isEmpty())
            line += QLatin1Char(' ') + o.valueName();
        line = line.size() < layout.column ? line.leftJustified(layout.column)
                                           : line + QStringLiteral("  ");
        out += line +
               QString(o.description()).replace(QLatin1Char('\n'), QLatin1Char('\n') + indent) +
               QLatin1Char('\n');
    }
    return out;
}

} // namespace cmdline
