#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

// The IR code table files the tool reads and writes. (Reading and writing
// any file goes through core/files.)
namespace cli {

// The IR code table as a text file: the 81 entries in order, one a line
// (entry 0, the custom code, first), each as the device gave it.
QByteArray irTableText(const QStringList& codes);
// What is read of a table file at most.
inline constexpr qint64 kMaxIrTableSize = 64 * 1024;
struct IrTable {
    QStringList codes;
    QString error; // why the text is no table; empty when it is one
};
// Blanks around an entry and CR LF line ends are allowed; a last line end
// is optional, blank lines after the last entry and a UTF-8 byte-order mark
// are ignored.
IrTable parseIrTable(const QByteArray& text);
// The first entry the IR code window's checks refuse, by entry and line:
// not one or two hexadecimal digits, else a data code given twice. Empty
// when the table passes.
QString irTableProblem(const QStringList& codes);

} // namespace cli
