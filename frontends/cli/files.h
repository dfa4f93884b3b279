#pragma once

#include <QByteArray>
#include <QSaveFile>
#include <QString>
#include <QStringList>

// The files the tool reads and writes.
namespace cli {

// At most maxBytes of a regular file. A named pipe or a device is refused
// rather than read: either may never end.
bool readInputFile(const QString& path, qint64 maxBytes, QByteArray* bytes, QString* error);

// A file written whole or not at all. It is opened (as a temporary file
// beside it) before the device is asked anything, so a file that cannot be
// written is known before the transfer; only commit() puts it in place, and
// without it the old file stays as it was.
class OutputFile {
public:
    explicit OutputFile(const QString& path) : file_(path) {}
    bool open(QString* error);
    bool commit(const QByteArray& bytes, QString* error);

private:
    QSaveFile file_;
};

// The IR code table as a text file: the 81 entries in order, one a line
// (entry 0, the custom code, first), each as the device gave it.
QByteArray irTableText(const QStringList& codes);
struct IrTable {
    QStringList codes;
    QString error; // why the text is no table; empty when it is one
};
// Blanks around an entry and CR LF line ends are allowed; a last line end
// is optional.
IrTable parseIrTable(const QByteArray& text);
// The first entry the IR code window's checks refuse, by entry and line:
// not one or two hexadecimal digits, else a data code given twice. Empty
// when the table passes.
QString irTableProblem(const QStringList& codes);

} // namespace cli
