#include <QTest>

class RxQueueAndLines : public QObject {
    Q_OBJECT
private slots:
    void placeholder() { QVERIFY(true); }
};

QTEST_MAIN(RxQueueAndLines)
#include "test_rx_queue_and_lines.moc"
