#pragma once

#include <QByteArray>
#include <QString>

// Reading and writing the files an operator names. Only regular files are
// read: a named pipe would wait for a writer for ever and a device may never
// end a read, so both are refused without waiting.
namespace files {

struct ReadResult {
    enum class Problem { None, NoName, Missing, NotRegular, Failed };
    QByteArray bytes; // the first bytes of the file, at most the limit asked for
    qint64 size = 0;  // the whole file's size, however much was read
    Problem problem = Problem::None;
    QString reason; // why it was not read: "No such file or directory", "not a regular file", ...
    bool ok() const { return problem == Problem::None; }
};

// At most maxBytes from the start of the regular file at path. The file is
// opened without blocking and judged on the open descriptor, so a named pipe
// put in its place after a look at the name cannot hold the caller.
ReadResult readFile(const QString& path, qint64 maxBytes);

// At most maxBytes of standard input, read to its end (a pipe, a file).
// size is what came, up to maxBytes + 1, so a longer input shows as such.
ReadResult readStandardInput(qint64 maxBytes);

// "PATH: no such file", "PATH: not a regular file", "PATH: REASON": how the
// command-line tool names a file it could not read.
QString readProblemText(const QString& path, const ReadResult& result);

} // namespace files
