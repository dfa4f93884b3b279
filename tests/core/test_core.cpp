// The device core on its own, against the simulated switcher in-process:
// whole exchanges, the shifted answers a doubled line causes, and the one
// failure path.

#include "core/edid/edid_image.h"
#include "tests/core/core_fixture.h"

#include <QSignalSpy>
#include <QTest>

using Mode = device::DeviceModes::Mode;

namespace {

enum class Run { EdidRead, EdidDownload, IrRead, IrWrite };

// Starts the run in its device mode; the fixture then answers it.
void start(CoreFixture& c, Run run) {
    device::Switcher& s = *c.core;
    const bool edid = run == Run::EdidRead || run == Run::EdidDownload;
    s.modes().enter(edid ? Mode::Edid : Mode::Ir);
    c.run();
    switch (run) {
    case Run::EdidRead:
        s.edid().choosePort(3);
        s.edid().startRead();
        break;
    case Run::EdidDownload: {
        edid::Image m{};
        for (int i = 0; i < edid::kImageSize; ++i)
            m[i] = std::uint8_t(i * 7);
        m[0] = 0;
        for (int i = 1; i < 7; ++i)
            m[i] = 0xFF;
        m[7] = 0;
        edid::setChecksums(m);
        s.edid().setText(edid::writtenForm(m));
        s.edid().startDownload();
        break;
    }
    case Run::IrRead:
        s.irCodes().readCode();
        break;
    case Run::IrWrite:
        for (int k = 0; k <= ir::kLastEntry; ++k)
            s.irCodes().setCode(k, QString::number(0x40 + k, 16));
        s.irCodes().writeCode();
        break;
    }
}

QString statusOf(CoreFixture& c, Run run) {
    const bool edid = run == Run::EdidRead || run == Run::EdidDownload;
    return edid ? c.core->edid().statusText() : c.core->irCodes().statusText();
}

} // namespace

Q_DECLARE_METATYPE(Run)

class Core : public QObject {
    Q_OBJECT
private slots:
    void runsEndAsTheDeviceAnswers_data() {
        QTest::addColumn<Run>("run");
        QTest::addColumn<int>("edidRepeat"); // byte whose answer comes twice
        QTest::addColumn<int>("irRepeat");   // code command whose answer comes twice
        QTest::addColumn<QString>("status");
        QTest::addColumn<bool>("ok");
        QTest::newRow("EDID read") << Run::EdidRead << -1 << 0 << "Read EDID OK!" << true;
        QTest::newRow("EDID read, byte 40 twice")
            << Run::EdidRead << 40 << 0 << "Read EDID Err!" << false;
        QTest::newRow("EDID read, last byte twice")
            << Run::EdidRead << 255 << 0 << "Read EDID Err!" << false;
        QTest::newRow("EDID download") << Run::EdidDownload << -1 << 0 << "Download OK!" << true;
        QTest::newRow("EDID download, read-back byte 0 twice")
            << Run::EdidDownload << 0 << 0 << "Verify EDID ERR!" << false;
        QTest::newRow("IR read") << Run::IrRead << -1 << 0 << "Read OK!" << true;
        QTest::newRow("IR read, entry 10 twice")
            << Run::IrRead << -1 << 11 << "Read error!" << false;
        QTest::newRow("IR read, last entry twice")
            << Run::IrRead << -1 << 81 << "Read error!" << false;
        QTest::newRow("IR write") << Run::IrWrite << -1 << 0 << "Write OK!" << true;
        QTest::newRow("IR write, an acceptance twice")
            << Run::IrWrite << -1 << 5 << "Write error!" << false;
        QTest::newRow("IR write, a read-back twice")
            << Run::IrWrite << -1 << 81 + 30 << "Write error!" << false;
    }
    void runsEndAsTheDeviceAnswers() {
        QFETCH(Run, run);
        QFETCH(int, edidRepeat);
        QFETCH(int, irRepeat);
        QFETCH(QString, status);
        QFETCH(bool, ok);
        CoreFixture c;
        c.device.edid.repeatAt = edidRepeat;
        c.device.ir.repeatAt = irRepeat;
        QSignalSpy edidDone(&c.core->edid(), &edid::EdidTransfer::finished);
        QSignalSpy irDone(&c.core->irCodes(), &ir::IrCodeRun::finished);
        start(c, run);
        c.run();
        // A read's last answer is in, but its success is told only once the
        // line has stayed quiet (a stray answer fails it at once).
        if (ok && (run == Run::EdidRead || run == Run::IrRead))
            QVERIFY(edidDone.isEmpty() && irDone.isEmpty());
        c.run(100);
        QCOMPARE(statusOf(c, run), status);
        QSignalSpy& done = run == Run::EdidRead || run == Run::EdidDownload ? edidDone : irDone;
        QCOMPARE(done.size(), 1);
        QCOMPARE(done.first().first().toBool(), ok);
        QCOMPARE(c.device.ir.saved, run == Run::IrWrite && ok);
        // Nothing carries on afterwards.
        const QByteArray written = c.port->written;
        c.run(5000);
        QCOMPARE(c.port->written, written);
        QCOMPARE(statusOf(c, run), status);
    }

    void aReadDeliversTheDevicesImage() {
        CoreFixture c;
        start(c, Run::EdidRead);
        c.run(100);
        int pos = 1;
        const edid::Image read = edid::parseView(c.core->edid().text(), pos);
        QVERIFY(std::equal(read.begin(), read.end(), c.device.edid.images[3].begin()));
    }

    void failuresAreReportedOnceEach() {
        CoreFixture c;
        seriallink::Connection& link = c.core->link();
        QSignalSpy failures(&link, &seriallink::Connection::failure);
        link.close();
        QVERIFY(!c.core->modes().enter(Mode::Setup));
        QVERIFY(!c.core->routing().status());
        c.core->irCodes().readCode();
        QCOMPARE(failures.size(), 3);
        QCOMPARE(failures[0].first().value<seriallink::Failure>(),
                 seriallink::Failure::PortNotOpen);
        QCOMPARE(failures[1].first().value<seriallink::Failure>(),
                 seriallink::Failure::WriteFailed);
        QCOMPARE(failures[2].first().value<seriallink::Failure>(),
                 seriallink::Failure::WriteFailed);
        QCOMPARE(c.core->modes().SetupMode, std::uint8_t(0));
        QVERIFY(c.port->written.isEmpty());
    }

    void reportsReachTheRoutingStateWithoutAWindow() {
        CoreFixture c;
        QSignalSpy log(&c.core->router(), &device::Router::routingReported);
        c.device.routing = {7, 6, 5, 4, 3, 2, 1, 0};
        c.core->routing().status();
        c.run();
        for (int o = 1; o <= 8; ++o)
            QCOMPARE(c.core->routing().input(o), 9 - o);
        QCOMPARE(log.first(), (QVariantList{"1", "8"}));
    }
};

QTEST_GUILESS_MAIN(Core)
#include "test_core.moc"
