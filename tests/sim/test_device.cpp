#include <QTest>

class Device : public QObject {
    Q_OBJECT
private slots:
    void placeholder() { QVERIFY(true); }
};

QTEST_MAIN(Device)
#include "test_device.moc"
