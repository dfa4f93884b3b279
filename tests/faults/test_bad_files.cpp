// Bad files and environments: EDID files of every wrong size and kind,
// saves that cannot succeed (read-only folder, full disk) or race another
// holder of the file, a COMPORT file holding anything, and a working
// directory that cannot be written or has gone. The program keeps working,
// shows what happened, and never damages a file already on disk.
//
// The tests run as root, where permission bits stop no read or write; they
// use other means the kernel enforces for everyone instead: a read that the
// kernel fails (/proc/self/mem at address 0), a path through a regular file,
// tmpfs mounts that are read-only or full. Where a mount is refused the case
// is skipped, saying so.

#include "core/seriallink/comport.h"
#include "frontends/windows/edid/edid_window.h"
#include "frontends/windows/edid/hex_view.h"
#include "tests/edid/edid_test_util.h"
#include "tests/faults/fault_util.h"

#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPushButton>
#include <QTest>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <mutex>
#include <sys/mount.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

using namespace edidtest;
using namespace faults;
using Msg = platform::FakeDialogs::Message;

namespace {

// A tmpfs of the given size (and read-only if asked) over a folder, for as
// long as the object lives.
class TmpfsMount {
public:
    TmpfsMount(const QString& path, const char* options, bool readOnly = false) : path_(path) {
        QDir().mkpath(path);
        ok_ = ::mount("tmpfs", path.toLocal8Bit().constData(), "tmpfs", readOnly ? MS_RDONLY : 0,
                      options) == 0;
        if (!ok_)
            error_ = QString::fromLocal8Bit(strerror(errno));
    }
    ~TmpfsMount() {
        if (ok_)
            ::umount2(path_.toLocal8Bit().constData(), MNT_DETACH);
    }
    bool ok() const { return ok_; }
    QString error() const { return error_; }

private:
    QString path_;
    bool ok_ = false;
    QString error_;
};

// The EDID window open on the fake platform.
struct EdidWindowRig {
    EdidWindowRig() : w(f.form->edidWindow()) {
        f.form->onEdidClicked();
        f.receive("edm\r\n");
        f.takeWritten();
    }
    QString path(const QString& name) const { return f.dir.filePath(name); }
    void load(const QString& path) {
        f.dialogs().fileAnswers << path;
        w.openButton->click();
    }
    void save(const QString& path) {
        f.dialogs().fileAnswers << path;
        w.saveAsButton->click();
    }
    QList<Msg>& messages() { return f.dialogs().messages; }

    FormFixture f;
    EdidWindow& w;
};

edid::Image zeros() {
    return edid::Image{};
}

// Runs work, which may open the named pipe at path. A helper thread opens
// the pipe's other end after five seconds to rescue a program that waits
// for a writer (or, with reader set, for a reader); false when it had to.
bool returnsUnrescued(const QString& path, bool reader, const std::function<void()>& work) {
    std::mutex m;
    std::condition_variable cv;
    bool done = false;
    std::atomic<bool> rescued{false};
    std::thread rescuer([&] {
        std::unique_lock lock(m);
        if (!cv.wait_for(lock, std::chrono::seconds(5), [&] { return done; })) {
            rescued = true;
            const int fd = ::open(path.toLocal8Bit().constData(), reader ? O_RDONLY : O_WRONLY);
            if (fd >= 0)
                ::close(fd);
        }
    });
    work();
    {
        std::lock_guard lock(m);
        done = true;
    }
    cv.notify_one();
    rescuer.join();
    return !rescued;
}

bool returnsWithoutAWriter(const QString& path, const std::function<void()>& work) {
    return returnsUnrescued(path, false, work);
}

bool returnsWithoutAReader(const QString& path, const std::function<void()>& work) {
    return returnsUnrescued(path, true, work);
}

} // namespace

class BadFiles : public QObject {
    Q_OBJECT

private slots:
    // ---------------------------------------------------------------------
    // EDID files to load

    void edidFilesOfTheWrongSize_data() {
        QTest::addColumn<int>("size");
        QTest::addColumn<QString>("box");
        QTest::addColumn<QString>("status");
        QTest::newRow("empty") << 0 << "EDID format error!"
                               << "EDID error!";
        QTest::newRow("1 byte") << 1 << "EDID format error!"
                                << "EDID error!";
        QTest::newRow("255 bytes") << 255 << "EDID CheckSum error!"
                                   << "CheckSum error!";
    }
    // A short file is the start of an image; the rest is taken as zeros,
    // shown in full, and the tests say what is wrong with it.
    void edidFilesOfTheWrongSize() {
        QFETCH(int, size);
        QFETCH(QString, box);
        QFETCH(QString, status);
        EdidWindowRig x;
        const edid::Image m = sampleImage();
        QVERIFY(m[255] != 0); // else the 255-byte file would pass
        QVERIFY(writeFile(x.path("short.bin"), bytesOf(m).left(size)));
        x.load(x.path("short.bin"));
        edid::Image shown = zeros();
        std::copy(m.begin(), m.begin() + size, shown.begin());
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(shown));
        QCOMPARE(x.messages(), (QList<Msg>{{box, kEdidFileTitle}}));
        QCOMPARE(x.w.statusText(), status);
        QCOMPARE(QFileInfo(x.path("short.bin")).size(), qint64(size));
    }

    // A sparse file of 4 GiB whose first 256 bytes are an image: only those
    // are read, so it loads at once and the program's memory stays as it
    // was.
    void aHugeSparseEdidFile() {
        EdidWindowRig x;
        const QString path = x.path("huge.bin");
        QVERIFY(writeFile(path, bytesOf(sampleImage())));
        {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite));
            if (!f.resize(qint64(4) << 30))
                QSKIP("the temporary folder's file system takes no 4 GiB file");
        }
        x.load(x.path("warm.bin")); // a first, failing load pages the code in
        const qint64 before = residentKb();
        QElapsedTimer clock;
        clock.start();
        x.load(path);
        const qint64 ms = clock.elapsed();
        const qint64 after = residentKb();
        qInfo("4 GiB sparse file loaded in %lld ms; resident memory %lld kB -> %lld kB", ms, before,
              after);
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(sampleImage()));
        QVERIFY(x.messages().isEmpty());
        QCOMPARE(x.w.statusText(), QString("Open EDID "));
        QVERIFY2(after - before < 4096, "loading read more than the image");
        QCOMPARE(QFileInfo(path).size(), qint64(4) << 30);
    }

    // A directory, a file the kernel will not read (it opens, but reading
    // address 0 of the process's own memory fails) and a path that vanished
    // between the dialog and the load all end the load as a cancel does:
    // an empty view, "Open EDID ", no box, nothing created.
    void edidFilesThatCannotBeRead_data() {
        QTest::addColumn<QString>("kind");
        QTest::newRow("directory") << "directory";
        QTest::newRow("read fails") << "read fails";
        QTest::newRow("vanished") << "vanished";
        QTest::newRow("through a file") << "through a file";
    }
    void edidFilesThatCannotBeRead() {
        QFETCH(QString, kind);
        EdidWindowRig x;
        QString path = x.path("x.bin");
        if (kind == "directory") {
            QVERIFY(QDir().mkdir(path));
        } else if (kind == "read fails") {
            QVERIFY(QFile::link("/proc/self/mem", path));
            QFile probe(path);
            QVERIFY(probe.open(QIODevice::ReadOnly));
            QVERIFY(probe.read(256).isEmpty());
        } else if (kind == "vanished") {
            QVERIFY(writeFile(path, bytesOf(sampleImage())));
            QVERIFY(QFile::remove(path));
        } else {
            QVERIFY(writeFile(x.path("plain"), "x"));
            path = x.path("plain/x.bin");
        }
        x.w.hexView->setText("12  34  ");
        x.load(path);
        QCOMPARE(x.w.hexView->text(), QString());
        QCOMPARE(x.w.statusText(), QString("Open EDID "));
        QVERIFY(x.messages().isEmpty());
        if (kind == "vanished" || kind == "through a file")
            QVERIFY(!QFileInfo::exists(path));
        // The window still works: a good file loads next.
        QVERIFY(writeFile(x.path("good.bin"), bytesOf(sampleImage())));
        x.load(x.path("good.bin"));
        QCOMPARE(x.w.hexView->text(), edid::writtenForm(sampleImage()));
    }

    // A named pipe with nobody writing: opening it for reading would wait
    // for a writer for ever. The load must come back by itself, as for any
    // file that is no image.
    void anEdidFileThatIsAPipeDoesNotHang() {
        EdidWindowRig x;
        const QString path = x.path("pipe.bin");
        QCOMPARE(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        x.w.hexView->setText("12  34  ");
        QVERIFY2(returnsWithoutAWriter(path, [&] { x.load(path); }),
                 "loading a named pipe waited for a writer");
        QCOMPARE(x.w.hexView->text(), QString());
        QCOMPARE(x.w.statusText(), QString("Open EDID "));
        QVERIFY(x.messages().isEmpty());
    }

    // ---------------------------------------------------------------------
    // EDID files to save

    // A folder the file cannot be created in: a read-only tmpfs (as root,
    // the only kind of read-only folder there is) and a path through a
    // regular file. The box says why; the status does not claim success.
    void savingWhereNothingCanBeWritten_data() {
        QTest::addColumn<bool>("readOnlyMount");
        QTest::newRow("path through a file") << false;
        QTest::newRow("read-only mount") << true;
    }
    void savingWhereNothingCanBeWritten() {
        QFETCH(bool, readOnlyMount);
        EdidWindowRig x;
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        x.w.setStatus("before");
        QString path;
        std::unique_ptr<TmpfsMount> mount;
        if (readOnlyMount) {
            mount = std::make_unique<TmpfsMount>(x.path("ro"), "size=64k", true);
            if (!mount->ok())
                QSKIP(qPrintable("no read-only tmpfs can be mounted here: " + mount->error()));
            path = x.path("ro/x.bin");
        } else {
            QVERIFY(writeFile(x.path("plain"), "keep"));
            path = x.path("plain/x.bin");
        }
        x.save(path);
        QCOMPARE(x.messages().size(), 1);
        QVERIFY(x.messages()[0].text.startsWith("Cannot save " + path + ": "));
        qInfo("%s", qPrintable(x.messages()[0].text));
        QCOMPARE(x.w.statusText(), QString("before"));
        QVERIFY(!QFileInfo::exists(path));
        if (!readOnlyMount)
            QCOMPARE(readFile(x.path("plain")), QByteArray("keep"));
    }

    // A full disk: a 64 KiB tmpfs holding an earlier save and filled to the
    // last byte. Saving over the earlier file fails with a box, and the
    // earlier file keeps every byte.
    void savingOntoAFullDisk() {
        EdidWindowRig x;
        TmpfsMount mount(x.path("small"), "size=64k");
        if (!mount.ok())
            QSKIP(qPrintable("no tmpfs can be mounted here: " + mount.error()));
        const QString old = x.path("small/old.bin");
        edid::Image before = sampleImage();
        before[20] = 0x5A;
        QVERIFY(writeFile(old, bytesOf(before)));
        {
            QFile filler(x.path("small/filler"));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(1024, 'f');
            while (filler.write(block) == block.size()) {
            }
            while (filler.write("f", 1) == 1) {
            }
        }
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        x.w.setStatus("before");
        x.save(old);
        QCOMPARE(x.messages().size(), 1);
        QVERIFY(x.messages()[0].text.startsWith("Cannot save " + old + ": "));
        qInfo("%s", qPrintable(x.messages()[0].text));
        QCOMPARE(x.w.statusText(), QString("before"));
        QCOMPARE(readFile(old), bytesOf(before));
        QCOMPARE(QDir(x.path("small")).entryList(QDir::Files | QDir::Hidden),
                 (QStringList{"filler", "old.bin"})); // no half-written leftovers
    }

    // A named pipe where the file should go: the save does not wait for a
    // reader; like any file chosen to be overwritten, the pipe is replaced
    // by the 256 bytes.
    void savingOntoAPipeDoesNotHang() {
        EdidWindowRig x;
        const QString path = x.path("pipe.bin");
        QCOMPARE(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        QVERIFY2(returnsWithoutAReader(path, [&] { x.save(path); }),
                 "saving onto a named pipe waited for a reader");
        QCOMPARE(x.w.statusText(), QString("Save done!"));
        QVERIFY(x.messages().isEmpty());
        QVERIFY(QFileInfo(path).isFile());
        QCOMPARE(readFile(path), bytesOf(sampleImage()));
    }

    // Saving over a file another program holds open (Linux allows it): the
    // file then holds exactly the new 256 bytes, and the holder still reads
    // the old content through its handle.
    void savingOverAFileHeldOpen() {
        EdidWindowRig x;
        const QString path = x.path("held.bin");
        const QByteArray old(300, '\x21');
        QVERIFY(writeFile(path, old));
        QFile holder(path);
        QVERIFY(holder.open(QIODevice::ReadWrite));
        x.w.hexView->setText(edid::writtenForm(sampleImage()));
        x.save(path);
        QCOMPARE(x.w.statusText(), QString("Save done!"));
        QVERIFY(x.messages().isEmpty());
        QCOMPARE(readFile(path), bytesOf(sampleImage()));
        QCOMPARE(holder.readAll(), old);
    }

    // ---------------------------------------------------------------------
    // COMPORT and the working directory

    void comportHoldingAnything_data() {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("port");
        QTest::newRow("garbage") << QByteArray("\x01\xff junk \x80\r\n", 11) << 1;
        QTest::newRow("negative") << QByteArray(" -3 \r\n") << 1;
        QTest::newRow("enormous") << QByteArray(" 99999999999999999999999 \r\n") << 1;
        QTest::newRow("ten") << QByteArray(" 10 \r\n") << 1;
        QTest::newRow("zero bytes") << QByteArray(8, '\0') << 1;
        QTest::newRow("nine") << QByteArray(" 9 \r\n") << 10;
    }
    // Whatever COMPORT holds, start-up opens a port from the list (COM1
    // for anything that is not an index 0..9) and greets the device.
    void comportHoldingAnything() {
        QFETCH(QByteArray, content);
        QFETCH(int, port);
        FormFixture f(false);
        QVERIFY(writeFile(f.dir.filePath("COMPORT"), content));
        f.form->startUp();
        QCOMPARE(f.port().openedDevices, QStringList{QStringLiteral("/dev/fake%1").arg(port)});
        QCOMPARE(f.form->portList->currentIndex(), port - 1);
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
        QCOMPARE(readFile(f.dir.filePath("COMPORT")), seriallink::comportText(port - 1));
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    // 50 MB of digits: only a short prefix is read, so start-up neither
    // waits for the file nor takes its size in memory; the number is far
    // beyond any index, so COM1 is used and COMPORT rewritten.
    void aHugeComport() {
        FormFixture f(false);
        const QString path = f.dir.filePath("COMPORT");
        QVERIFY(writeFile(path, QByteArray(50 * 1000 * 1000, '7')));
        const qint64 before = residentKb();
        QElapsedTimer clock;
        clock.start();
        f.form->startUp();
        const qint64 ms = clock.elapsed();
        const qint64 after = residentKb();
        qInfo("start-up with a 50 MB COMPORT: %lld ms; resident memory %lld kB -> %lld kB", ms,
              before, after);
        QCOMPARE(f.port().openedDevices, QStringList{"/dev/fake1"});
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
        QCOMPARE(readFile(path), seriallink::comportText(0));
        QVERIFY2(after - before < 16 * 1024, "start-up read the whole file");
    }

    // A directory named COMPORT can be neither read nor replaced: start-up
    // uses COM1, and so does choosing a port later; the directory and
    // what is in it stay.
    void aComportThatIsADirectory() {
        FormFixture f(false);
        QDir dir(f.dir.path());
        QVERIFY(dir.mkpath("COMPORT/inside"));
        f.form->startUp();
        QCOMPARE(f.port().openedDevices, QStringList{"/dev/fake1"});
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
        f.form->portList->setCurrentIndex(4);
        f.form->onPortChosen();
        f.form->onConnectClicked();
        QCOMPARE(f.port().openedDevices.last(), QString("/dev/fake5"));
        QVERIFY(QFileInfo(dir.filePath("COMPORT/inside")).isDir());
        QVERIFY(f.dialogs().messages.isEmpty());
    }

    // COMPORT a named pipe with nobody writing: start-up must not wait for
    // a writer. It uses COM1, greets the device and writes COMPORT anew.
    void aComportThatIsAPipe() {
        FormFixture f(false);
        const QString path = f.dir.filePath("COMPORT");
        QCOMPARE(::mkfifo(path.toLocal8Bit().constData(), 0600), 0);
        QVERIFY2(returnsWithoutAWriter(path, [&] { f.form->startUp(); }),
                 "start-up waited for a writer to COMPORT");
        QCOMPARE(f.port().openedDevices, QStringList{"/dev/fake1"});
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
        // Unreadable, it was replaced, as a missing one is created.
        QCOMPARE(readFile(path), seriallink::comportText(0));
    }

    // The working directory removed before start-up, or after it: COMPORT
    // can be neither read nor written, yet start-up opens COM1 and greets
    // the device, and the port list still changes ports.
    void theWorkingDirectoryRemoved() {
        {
            FormFixture f(false);
            QVERIFY(f.dir.remove());
            f.form->startUp();
            QCOMPARE(f.port().openedDevices, QStringList{"/dev/fake1"});
            QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
            QVERIFY(f.dialogs().messages.isEmpty());
        }
        FormFixture f;
        f.takeWritten();
        QVERIFY(f.dir.remove());
        f.form->portList->setCurrentIndex(2);
        f.form->onPortChosen();
        QVERIFY(!f.form->link().isOpen());
        f.form->onConnectClicked();
        QCOMPARE(f.port().openedDevices.last(), QString("/dev/fake3"));
        QVERIFY(f.form->connectedLamp->isLit());
        f.form->onStatusClicked();
        QCOMPARE(f.takeWritten(), QByteArray("bc \r\n"));
        QVERIFY(f.dialogs().messages.isEmpty());
        QVERIFY(!QFileInfo::exists(f.dir.filePath("COMPORT")));
    }

    // The working directory on a read-only tmpfs: no COMPORT can be
    // created, start-up still opens COM1, and changing the port works.
    void aReadOnlyWorkingDirectory() {
        QTemporaryDir top;
        const QString wd = top.filePath("ro");
        TmpfsMount mount(wd, "size=64k", true);
        if (!mount.ok())
            QSKIP(qPrintable("no read-only tmpfs can be mounted here: " + mount.error()));
        const QString previous = QDir::currentPath();
        QVERIFY(QDir::setCurrent(wd));
        {
            platform::FakePlatform platform;
            MainWindow form(platform, platform.fakeDialogs());
            form.startUp();
            QCOMPARE(platform.port()->openedDevices, QStringList{"/dev/fake1"});
            QCOMPARE(platform.port()->written, QByteArray("bc \r\n"));
            form.portList->setCurrentIndex(9);
            form.onPortChosen();
            form.onConnectClicked();
            QCOMPARE(platform.port()->openedDevices.last(), QString("/dev/fake10"));
            QVERIFY(platform.fakeDialogs().messages.isEmpty());
            QVERIFY(QDir(wd).entryList(QDir::NoDotAndDotDot | QDir::AllEntries).isEmpty());
        }
        QDir::setCurrent(previous);
    }
};

QTEST_MAIN(BadFiles)
#include "test_bad_files.moc"
