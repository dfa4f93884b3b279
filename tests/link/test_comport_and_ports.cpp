#include <QTest>

class ComportAndPorts : public QObject {
    Q_OBJECT
private slots:
    void placeholder() { QVERIFY(true); }
};

QTEST_MAIN(ComportAndPorts)
#include "test_comport_and_ports.moc"
