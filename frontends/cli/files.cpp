#include "frontends/cli/files.h"

#include "core/ir/ir_codes.h"

#include <array>

namespace cli {

QByteArray irTableText(const QStringList& codes) {
    QByteArray t;
    for (const QString& c : codes)
        t += c.toLatin1() + '\n';
    return t;
}

IrTable parseIrTable(const QByteArray& text) {
    IrTable t;
    // An editor's UTF-8 byte-order mark is no part of the first entry.
    const QByteArray body = text.startsWith("\xEF\xBB\xBF") ? text.mid(3) : text;
    QList<QByteArray> lines = body.split('\n');
    // Blank lines at the end (an editor's, a script's) are no entries.
    while (!lines.isEmpty() && lines.last().trimmed().isEmpty())
        lines.removeLast();
    if (lines.size() != ir::kEntries) {
        t.error = QStringLiteral("holds %1 lines; the IR code table has %2 entries, one a line")
                      .arg(lines.size())
                      .arg(ir::kEntries);
        return t;
    }
    for (const QByteArray& l : lines)
        t.codes << QString::fromUtf8(l.trimmed());
    return t;
}

QString irTableProblem(const QStringList& codes) {
    std::array<bool, ir::kEntries> formatError{};
    for (int k = 0; k < ir::kEntries; ++k) {
        if (!ir::isHexCode(codes.value(k)))
            return QStringLiteral("line %1: entry %2 \"%3\" is not one or two hexadecimal digits")
                .arg(k + 1)
                .arg(k)
                .arg(codes.value(k));
    }
    const auto dup = ir::findDuplicates(codes, formatError);
    for (int k = 1; k < ir::kEntries; ++k) {
        if (!dup[k])
            continue;
        for (int j = k + 1; j < ir::kEntries; ++j)
            if (ir::sameCode(codes.value(k), codes.value(j)))
                return QStringLiteral("line %1: entry %2 \"%3\" is the same code as entry %4 "
                                      "(line %5)")
                    .arg(j + 1)
                    .arg(j)
                    .arg(codes.value(j))
                    .arg(k)
                    .arg(k + 1);
    }
    return {};
}

} // namespace cli
