// The switcher's model as the core uses it, against the simulated switcher
// of the same model: what a route writes and when it is answered, which
// ports are refused, and the models the program knows.

#include "tests/core/core_fixture.h"

#include <QTest>

class ModelTest : public QObject {
    Q_OBJECT
private slots:
    void routes_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("input");
        QTest::addColumn<QByteArray>("written");
        QTest::newRow("8x8 last output") << "8x8" << 8 << 1 << QByteArray("cir 70\r\n");
        QTest::newRow("4x4 last port") << "4x4" << 4 << 2 << QByteArray("cir 31\r\n");
        // Refused before the wire: a port the model does not have.
        QTest::newRow("4x4 output 5") << "4x4" << 5 << 1 << QByteArray();
        QTest::newRow("4x4 input 5") << "4x4" << 1 << 5 << QByteArray();
    }
    void routes() {
        QFETCH(QString, model);
        QFETCH(int, output);
        QFETCH(int, input);
        QFETCH(QByteArray, written);
        CoreFixture c(model);
        c.run();
        // The routing state spells only the model's ports.
        QCOMPARE(c.core->routing().route(output, input).toLatin1(), written);
        if (written.isEmpty())
            return;
        // Through the queue, as the tool and the server send it, to the
        // simulated switcher of the model, which carries it out and reports.
        device::RequestResult result;
        auto* r = device::RoutingRequest::route(output, input, 1000);
        connect(r, &device::Request::finished, this,
                [&result](const device::RequestResult& x) { result = x; });
        const qsizetype before = c.port->written.size();
        c.core->requests().submit(r);
        c.run();
        QCOMPARE(c.port->written.mid(before), written);
        QCOMPARE(result.error, device::RequestError::None);
        QCOMPARE(c.core->routing().input(output), input);
    }

    // A status request is answered by every output the model has, no more
    // and no fewer.
    void status_data() {
        QTest::addColumn<QString>("model");
        QTest::addColumn<int>("outputs");
        QTest::newRow("8x8") << "8x8" << 8;
        QTest::newRow("4x4") << "4x4" << 4;
    }
    void status() {
        QFETCH(QString, model);
        QFETCH(int, outputs);
        CoreFixture c(model);
        device::RequestResult result;
        auto* r = device::RoutingRequest::status(1000);
        connect(r, &device::Request::finished, this,
                [&result](const device::RequestResult& x) { result = x; });
        c.core->requests().submit(r);
        c.run();
        QCOMPARE(result.error, device::RequestError::None);
        QCOMPARE(result.seen, QList<bool>(outputs, true));
    }

    void names() {
        QCOMPARE(protocol::Model::names(), QStringList({"8x8", "4x4"}));
        QVERIFY(!protocol::Model::find("9x9"));
        QCOMPARE(protocol::Model::unknownMessage("9x9"),
                 QString("unknown model \"9x9\" (known: 8x8, 4x4)"));
        // The simulator knows every model the program does.
        QCOMPARE(sim::shapeNames(), protocol::Model::names());
    }
};

QTEST_GUILESS_MAIN(ModelTest)
#include "test_model.moc"
