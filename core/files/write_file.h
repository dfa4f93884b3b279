#pragma once

#include <QByteArrayView>
#include <QString>
#include <memory>

class QSaveFile;

namespace files {

// A file written whole or not at all. A regular file (or a new one) is
// written beside its target and only replaces it, whole, on commit(); a
// failed or abandoned write leaves the old file as it was. An existing
// target that is not a regular file (a device such as /dev/null, a named
// pipe, a terminal) is written in place and never replaced, unless the
// caller asks for it to be replaced as well. Writes are
// unbuffered and their length checked, so a short write (a full disk) can
// never commit.
class OutputFile {
public:
    // What becomes of an existing target that is not a regular file.
    enum class NonRegular {
        WriteInPlace, // a device, named pipe or terminal is written, never replaced
        Replace,      // it is replaced by a regular file, as any file chosen to be overwritten
    };
    enum class Opened {
        Ready,
        NoReader, // a named pipe no program reads yet; open() may be tried again
        Failed,
    };

    explicit OutputFile(const QString& path, NonRegular nonRegular = NonRegular::WriteInPlace);
    // An open descriptor (standard output) written in place and left open;
    // name is how errors name it.
    OutputFile(int descriptor, const QString& name);
    ~OutputFile();
    OutputFile(const OutputFile&) = delete;
    OutputFile& operator=(const OutputFile&) = delete;

    // Makes the file ready before its content is known, so that a target
    // that cannot be written is known before any work is done. The reason
    // on failure.
    Opened open(QString* reason);
    // Writes exactly these bytes and puts them in place. The reason on
    // failure; a replaced file is then left as it was.
    bool commit(QByteArrayView bytes, QString* reason);
    // Abandons the write: the target stays as it was.
    void cancel();

    const QString& name() const { return path_; }
    // Whether the target is written in place rather than replaced.
    bool inPlace() const { return fd_ >= 0; }

private:
    void closeDescriptor();

    QString path_;
    std::unique_ptr<QSaveFile> save_;
    NonRegular nonRegular_ = NonRegular::WriteInPlace;
    int fd_ = -1;
    bool ownsFd_ = true;
};

// Replaces the file with exactly these bytes, as OutputFile does; with
// WriteInPlace a named pipe no program reads is refused at once. False with
// the reason on failure.
bool saveFile(const QString& path, QByteArrayView bytes, QString* reason,
              OutputFile::NonRegular nonRegular = OutputFile::NonRegular::WriteInPlace);

} // namespace files
