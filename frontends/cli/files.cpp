#include "frontends/cli/files.h"

#include "core/ir/ir_codes.h"

#include <QFile>
#include <QFileInfo>
#include <array>

namespace cli {

bool readInputFile(const QString& path, qint64 maxBytes, QByteArray* bytes, QString* error) {
    const QFileInfo info(path);
    if (!info.exists()) {
        *error = QStringLiteral("%1: no such file").arg(path);
        return false;
    }
    if (!info.isFile()) {
        *error = QStringLiteral("%1: not a regular file").arg(path);
        return false;
    }
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        *error = QStringLiteral("%1: %2").arg(path, f.errorString());
        return false;
    }
    *bytes = f.read(maxBytes);
    if (f.error() != QFileDevice::NoError) {
        *error = QStringLiteral("%1: %2").arg(path, f.errorString());
        return false;
    }
    return true;
}

bool OutputFile::open(QString* error) {
    if (file_.open(QIODevice::WriteOnly))
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(file_.fileName(), file_.errorString());
    return false;
}

bool OutputFile::commit(const QByteArray& bytes, QString* error) {
    if (file_.write(bytes) == bytes.size() && file_.commit())
        return true;
    *error = QStringLiteral("cannot write %1: %2").arg(file_.fileName(), file_.errorString());
    file_.cancelWriting();
    return false;
}

QByteArray irTableText(const QStringList& codes) {
    QByteArray t;
    for (const QString& c : codes)
        t += c.toLatin1() + '\n';
    return t;
}

IrTable parseIrTable(const QByteArray& text) {
    IrTable t;
    QList<QByteArray> lines = text.split('\n');
    if (text.endsWith('\n'))
        lines.removeLast();
    if (lines.size() != ir::kEntries) {
        t.error = QStringLiteral("holds %1 lines; the IR code table has %2 entries, one a line")
                      .arg(lines.size())
                      .arg(ir::kEntries);
        return t;
    }
    for (const QByteArray& l : lines)
        t.codes << QString::fromLatin1(l.trimmed());
    return t;
}

QString irTableProblem(const QStringList& codes) {
    std::array<bool, ir::kEntries> formatError{};
    for (int k = 0; k < ir::kEntries; ++k) {
        if (!ir::panduanHex(codes.value(k)))
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
