#include <QTest>

class Dispatcher : public QObject {
    Q_OBJECT
private slots:
    void placeholder() { QVERIFY(true); }
};

QTEST_MAIN(Dispatcher)
#include "test_dispatcher.moc"
