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
    enterMode(s, edid ? Mode::Edid : Mode::Ir);
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
        s.edid().startDownload(m);
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

} // namespace

Q_DECLARE_METATYPE(Run)
using E = transfer::Error;
using P = transfer::Phase;

class Core : public QObject {
    Q_OBJECT
private slots:
    void runsEndAsTheDeviceAnswers_data() {
        QTest::addColumn<Run>("run");
        QTest::addColumn<int>("edidRepeat"); // byte whose answer comes twice
        QTest::addColumn<int>("irRepeat");   // code command whose answer comes twice
        QTest::addColumn<E>("error");
        QTest::addColumn<P>("phase");
        QTest::addColumn<int>("index"); // where it stood, for a failure
        QTest::newRow("EDID read") << Run::EdidRead << -1 << 0 << E::None << P::Read << -1;
        QTest::newRow("EDID read, byte 40 twice")
            << Run::EdidRead << 40 << 0 << E::OutOfStep << P::Read << -1;
        QTest::newRow("EDID read, last byte twice")
            << Run::EdidRead << 255 << 0 << E::OutOfStep << P::Read << -1;
        QTest::newRow("EDID download")
            << Run::EdidDownload << -1 << 0 << E::None << P::Verify << -1;
        QTest::newRow("EDID download, read-back byte 0 twice")
            << Run::EdidDownload << 0 << 0 << E::VerifyMismatch << P::Verify << 1;
        QTest::newRow("IR read") << Run::IrRead << -1 << 0 << E::None << P::Read << -1;
        QTest::newRow("IR read, entry 10 twice")
            << Run::IrRead << -1 << 11 << E::OutOfStep << P::Read << 80;
        QTest::newRow("IR read, last entry twice")
            << Run::IrRead << -1 << 81 << E::OutOfStep << P::Read << 80;
        QTest::newRow("IR write") << Run::IrWrite << -1 << 0 << E::None << P::Check << -1;
        QTest::newRow("IR write, an acceptance twice")
            << Run::IrWrite << -1 << 5 << E::OutOfStep << P::Check << 0;
        QTest::newRow("IR write, a read-back twice")
            << Run::IrWrite << -1 << 81 + 30 << E::VerifyMismatch << P::Check << 30;
    }
    void runsEndAsTheDeviceAnswers() {
        QFETCH(Run, run);
        QFETCH(int, edidRepeat);
        QFETCH(int, irRepeat);
        QFETCH(E, error);
        QFETCH(P, phase);
        QFETCH(int, index);
        const bool ok = error == E::None;
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
        QSignalSpy& done = run == Run::EdidRead || run == Run::EdidDownload ? edidDone : irDone;
        QCOMPARE(done.size(), 1);
        const auto o = done.first().first().value<transfer::Outcome>();
        QCOMPARE(o.error, error);
        QCOMPARE(o.phase, phase);
        if (!ok)
            QCOMPARE(o.index, index);
        QCOMPARE(c.device.ir.saved, run == Run::IrWrite && ok);
        // Nothing carries on afterwards.
        const QByteArray written = c.port->written;
        c.run(5000);
        QCOMPARE(c.port->written, written);
        QCOMPARE(done.size(), 1);
    }

    // How each fault ends a transfer: the kind, the phase and where it
    // stood, with the values of a mismatch, so that a front end can word it.
    void edidOutcomesSayWhatAndWhere_data() {
        QTest::addColumn<bool>("download");
        QTest::addColumn<int>("fault"); // 0 silent, 1 "err" at 0x50, 2 stored wrong at 0x20,
                                        // 3 no header, 4 bad checksum
        QTest::addColumn<E>("error");
        QTest::addColumn<P>("phase");
        QTest::addColumn<int>("index");
        QTest::newRow("read, silent") << false << 0 << E::TimedOut << P::Read << -1;
        QTest::newRow("read, err") << false << 1 << E::DeviceError << P::Read << 0x50;
        QTest::newRow("read, no header") << false << 3 << E::NotEdid << P::Read << -1;
        QTest::newRow("read, checksum") << false << 4 << E::BadChecksum << P::Read << -1;
        QTest::newRow("download, err") << true << 1 << E::DeviceError << P::Download << 0x50;
        QTest::newRow("download, stored wrong")
            << true << 2 << E::VerifyMismatch << P::Verify << 0x20;
    }
    void edidOutcomesSayWhatAndWhere() {
        QFETCH(bool, download);
        QFETCH(int, fault);
        CoreFixture c;
        c.device.faults.silent = fault == 0;
        c.device.edid.errorAt = fault == 1 ? 0x50 : -1;
        c.device.edid.corruptAt = fault == 2 ? 0x20 : -1;
        if (fault == 3)
            c.device.edid.images[3][0] = 0x01;
        if (fault == 4)
            c.device.edid.images[3][127] ^= 0x01;
        edid::Image m{};
        std::copy(c.device.edid.images[3].begin(), c.device.edid.images[3].end(), m.begin());
        QSignalSpy done(&c.core->edid(), &edid::EdidTransfer::finished);
        enterMode(*c.core, Mode::Edid);
        c.run();
        c.core->edid().choosePort(3);
        download ? c.core->edid().startDownload(m) : c.core->edid().startRead();
        c.run(100);
        c.run(edid::EdidTransfer::kAnswerMs);
        QCOMPARE(done.size(), 1);
        const auto o = done.first().first().value<transfer::Outcome>();
        QFETCH(E, error);
        QFETCH(P, phase);
        QFETCH(int, index);
        QCOMPARE(o.error, error);
        QCOMPARE(o.phase, phase);
        QCOMPARE(o.index, index);
        QCOMPARE(o.lastLine, error == E::DeviceError ? QString("err") : QString());
        if (error == E::VerifyMismatch) {
            QCOMPARE(o.written, std::optional<int>(m[0x20]));
            QCOMPARE(o.readBack, std::optional<int>(m[0x20] ^ 0xFF));
        }
    }

    // A byte the device refuses is asked for again, up to four times; when
    // the port fails the last of those writes, the read ends there, once,
    // as a failed write.
    void aRetryThatCannotBeWrittenEndsTheReadOnce() {
        CoreFixture c;
        c.device.edid.errorAt = 0x50;
        int asked = 0;
        c.port->refuse = [&](const QByteArray& b) {
            return b.startsWith("red 50") && ++asked == 6;
        };
        QSignalSpy done(&c.core->edid(), &edid::EdidTransfer::finished);
        QSignalSpy failures(&c.core->link(), &seriallink::Connection::failure);
        enterMode(*c.core, Mode::Edid);
        c.run();
        c.core->edid().startRead();
        c.run(edid::EdidTransfer::kAnswerMs);
        QCOMPARE(asked, 6);
        QCOMPARE(done.size(), 1);
        const auto o = done.first().first().value<transfer::Outcome>();
        QCOMPARE(o.error, E::WriteFailed);
        QCOMPARE(failures.size(), 1);
    }

    void aReadDeliversTheDevicesImage() {
        CoreFixture c;
        start(c, Run::EdidRead);
        c.run(100);
        const edid::Image& read = c.core->edid().image();
        QVERIFY(std::equal(read.begin(), read.end(), c.device.edid.images[3].begin()));
    }

    void failuresAreReportedOnceEach() {
        CoreFixture c;
        seriallink::Connection& link = c.core->link();
        QSignalSpy failures(&link, &seriallink::Connection::failure);
        link.close();
        QVERIFY(!enterMode(*c.core, Mode::Setup));
        auto* status = c.core->requests().submit(device::RoutingRequest::status(1000));
        QCOMPARE(status->result().error, device::RequestError::NotWritten);
        c.core->irCodes().readCode();
        QCOMPARE(failures.size(), 3);
        QCOMPARE(failures[0].first().value<seriallink::Failure>(),
                 seriallink::Failure::PortNotOpen);
        QCOMPARE(failures[1].first().value<seriallink::Failure>(),
                 seriallink::Failure::WriteFailed);
        QCOMPARE(failures[2].first().value<seriallink::Failure>(),
                 seriallink::Failure::WriteFailed);
        QCOMPARE(c.core->modes().isOn(protocol::Mode::Setup), false);
        QVERIFY(c.port->written.isEmpty());
    }

    void reportsReachTheRoutingStateWithoutAWindow() {
        CoreFixture c;
        QSignalSpy log(&c.core->router(), &device::Router::routingReported);
        c.device.routing = {7, 6, 5, 4, 3, 2, 1, 0};
        c.core->requests().submit(device::RoutingRequest::status(1000));
        c.run();
        for (int o = 1; o <= 8; ++o)
            QCOMPARE(c.core->routing().input(o), 9 - o);
        QCOMPARE(log.first(), (QVariantList{"1", "8"}));
    }
};

QTEST_GUILESS_MAIN(Core)
#include "test_core.moc"
