// The file module: what it reads and refuses, and what each kind of target
// becomes when written. Device nodes are made in a temporary folder.

#include "core/files/read_file.h"
#include "core/files/versioned_json.h"
#include "core/files/write_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <unistd.h>

using Problem = files::ReadResult::Problem;
using NonRegular = files::OutputFile::NonRegular;
Q_DECLARE_METATYPE(Problem)
Q_DECLARE_METATYPE(NonRegular)

namespace {

// "file", "pipe", "null" (char 1,3), "full" (char 1,7), "folder", "socket"
// in dir; false when this user may not make device nodes.
bool makeNodes(const QTemporaryDir& dir) {
    const QByteArray d = QFile::encodeName(dir.path()) + '/';
    QFile f(dir.filePath("file"));
    if (!f.open(QIODevice::WriteOnly) || f.write("old") != 3 || ::mkfifo(d + "pipe", 0600) != 0 ||
        ::mkdir(d + "folder", 0700) != 0)
        return false;
    sockaddr_un a{};
    a.sun_family = AF_UNIX;
    qstrncpy(a.sun_path, d + "socket", sizeof a.sun_path);
    const int s = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const bool bound = ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return bound && ::mknod(d + "null", S_IFCHR | 0600, makedev(1, 3)) == 0 &&
           ::mknod(d + "full", S_IFCHR | 0600, makedev(1, 7)) == 0;
}

} // namespace

class FilesTest : public QObject {
    Q_OBJECT
private slots:
    void reading_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<Problem>("problem");
        QTest::newRow("file") << "file" << Problem::None;
        QTest::newRow("missing") << "missing" << Problem::Missing;
        QTest::newRow("pipe") << "pipe" << Problem::NotRegular; // no writer: no wait either
        QTest::newRow("device") << "null" << Problem::NotRegular;
        QTest::newRow("folder") << "folder" << Problem::NotRegular;
        QTest::newRow("no name") << "" << Problem::NoName;
    }
    void reading() {
        QTemporaryDir dir;
        if (!makeNodes(dir))
            QSKIP("device nodes can only be made as root");
        QFETCH(QString, name);
        const files::ReadResult r = files::readFile(name.isEmpty() ? name : dir.filePath(name), 2);
        QFETCH(Problem, problem);
        QCOMPARE(r.problem, problem);
        QCOMPARE(r.bytes, QByteArray(problem == Problem::None ? "ol" : ""));
        QCOMPARE(r.size, problem == Problem::None ? 3 : 0);
    }

    void writing_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<NonRegular>("policy");
        QTest::addColumn<QString>("reason"); // empty: written
        QTest::addColumn<QString>("after");  // what the name is then
        const NonRegular inPlace = NonRegular::WriteInPlace;
        QTest::newRow("new") << "new" << inPlace << ""
                             << "file";
        QTest::newRow("replaced") << "file" << inPlace << ""
                                  << "file";
        QTest::newRow("null device") << "null" << inPlace << ""
                                     << "device";
        QTest::newRow("full device") << "full" << inPlace << "No space left on device"
                                     << "device";
        QTest::newRow("pipe, no reader") << "pipe" << inPlace << "no program reads the named pipe"
                                         << "pipe";
        QTest::newRow("pipe, reader") << "pipe+" << inPlace << ""
                                      << "pipe";
        QTest::newRow("socket") << "socket" << inPlace << "socket"
                                << "socket";
        QTest::newRow("folder") << "folder" << inPlace << "folder"
                                << "folder";
        QTest::newRow("pipe replaced") << "pipe" << NonRegular::Replace << ""
                                       << "file";
    }
    void writing() {
        QTemporaryDir dir;
        if (!makeNodes(dir))
            QSKIP("device nodes can only be made as root");
        QFETCH(QString, name);
        const bool reader = name.endsWith('+');
        const QString path = dir.filePath(reader ? name.chopped(1) : name);
        const int fd = reader ? ::open(QFile::encodeName(path), O_RDONLY | O_NONBLOCK) : -1;
        QFETCH(NonRegular, policy);
        QString why;
        const bool ok = files::saveFile(path, "new", &why, policy);
        QFETCH(QString, reason);
        QVERIFY2(reason.isEmpty() ? ok : !ok && why.contains(reason), qPrintable(why));
        char got[8] = {};
        if (fd >= 0) {
            QCOMPARE(::read(fd, got, sizeof got), 3);
            ::close(fd);
        }
        struct stat st {};
        QCOMPARE(::lstat(QFile::encodeName(path), &st), 0);
        const QString kind = S_ISREG(st.st_mode)    ? "file"
                             : S_ISDIR(st.st_mode)  ? "folder"
                             : S_ISFIFO(st.st_mode) ? "pipe"
                             : S_ISSOCK(st.st_mode) ? "socket"
                             : S_ISCHR(st.st_mode)  ? "device"
                                                    : "other";
        QFETCH(QString, after);
        QCOMPARE(kind, after);
        if (after == "file" && ok) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            QCOMPARE(f.readAll(), QByteArray("new"));
        }
    }

    // The program's own state files: what is read of each kind of file, and
    // what a write does to it. A damaged file is set aside whole by the
    // first write, a newer version's is never overwritten.
    void versionedFiles_data() {
        QTest::addColumn<QByteArray>("file"); // none when null
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("aside");
        using S = files::VersionedJson::State;
        QTest::newRow("missing") << QByteArray() << int(S::Missing) << true << false;
        QTest::newRow("fine") << QByteArray(R"({"version": 2, "a": 1})") << int(S::Fine) << true
                              << false;
        QTest::newRow("older") << QByteArray(R"({"version": 1})") << int(S::Fine) << true << false;
        QTest::newRow("not json") << QByteArray("{\"version\": 2,") << int(S::Damaged) << true
                                  << true;
        QTest::newRow("no version") << QByteArray("{}") << int(S::Damaged) << true << true;
        QTest::newRow("version text")
            << QByteArray(R"({"version": "2"})") << int(S::Damaged) << true << true;
        QTest::newRow("a list") << QByteArray("[2]") << int(S::Damaged) << true << true;
        QTest::newRow("too large")
            << QByteArray(R"({"version": 2, "a": ")") + QByteArray(100, 'x') + "\"}"
            << int(S::Damaged) << true << true;
        QTest::newRow("newer") << QByteArray(R"({"version": 3})") << int(S::Newer) << false
                               << false;
    }
    void versionedFiles() {
        QFETCH(QByteArray, file);
        QFETCH(int, state);
        QFETCH(bool, written);
        QFETCH(bool, aside);
        QTemporaryDir dir;
        const QString path = dir.filePath("state/x.json");
        QVERIFY(QDir().mkpath(dir.filePath("state")));
        QFile f(path);
        QVERIFY(file.isNull() || (f.open(QFile::WriteOnly) && f.write(file) == file.size()));
        f.close();
        files::VersionedJson json(path, 2, 64);
        json.now = [] { return QDateTime(QDate(2026, 3, 4), QTime(5, 6, 7)); };
        QCOMPARE(int(json.read()), state);
        QCOMPARE(json.root().isEmpty(), state != int(files::VersionedJson::State::Fine) &&
                                            state != int(files::VersionedJson::State::Newer));
        QString error;
        QCOMPARE(json.write(QJsonObject{{"b", 2}}, &error), written);
        QCOMPARE(error.isEmpty(), written);
        const QString asidePath = path + ".damaged-20260304-050607";
        QCOMPARE(json.aside(), aside ? asidePath : QString());
        QCOMPARE(QFile::exists(asidePath), aside);
        if (aside) {
            QFile kept(asidePath);
            QVERIFY(kept.open(QFile::ReadOnly));
            QCOMPARE(kept.readAll(), file);
        }
        QVERIFY(f.open(QFile::ReadOnly));
        QCOMPARE(f.readAll().contains("\"b\""), written);
        files::VersionedJson again(path, 2, 64);
        QCOMPARE(int(again.read()), int(written ? files::VersionedJson::State::Fine
                                                : files::VersionedJson::State::Newer));
    }
};

QTEST_MAIN(FilesTest)
#include "test_files.moc"
