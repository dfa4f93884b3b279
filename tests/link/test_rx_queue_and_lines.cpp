// The receive ring and the cutting of the byte stream into reply lines.

#include "core/seriallink/line_assembly.h"
#include "core/seriallink/rx_queue.h"

#include <QRandomGenerator>
#include <QTest>

using seriallink::LineAssembler;
using seriallink::RxQueue;

namespace {

// A line assembly over its own queue that records what it hands out.
struct Lines {
    RxQueue q;
    LineAssembler a{q};
    QStringList lines; // interpreter calls, in order
    QString raw;       // text pushed raw into the receive log
    Lines() {
        a.onLine = [this](QString& l) { lines << l; };
        a.onRaw = [this](const QString& r) { raw += r; };
    }
    void put(const QByteArray& b) { q.put(b); }
};

} // namespace

class RxQueueAndLines : public QObject {
    Q_OBJECT
private slots:
    void emptyQueueGivesZeroWithoutMoving() {
        RxQueue q;
        QCOMPARE(q.size(), 0);
        QCOMPARE(int(q.take()), 0);
        q.put("a");
        QCOMPARE(char(q.take()), 'a');
    }

    void ringWrapsAround() {
        RxQueue q;
        q.put(QByteArray(510, '.'));
        q.skip(510);
        q.put("abc");
        QCOMPARE(q.size(), 3);
        QCOMPARE(char(q.take()), 'a');
        QCOMPARE(char(q.take()), 'b');
        QCOMPARE(char(q.take()), 'c');
        QCOMPARE(q.size(), 0);
        // Full again across the seam.
        QCOMPARE(q.put(QByteArray(511, 'w')), 0);
        QCOMPARE(q.size(), 511);
    }

    void oversizedChunkKeepsTheFirst511() {
        RxQueue q;
        QByteArray chunk;
        for (int i = 0; i < 600; ++i)
            chunk += char('A' + i % 26);
        QCOMPARE(q.put(chunk), 89);
        QCOMPARE(q.size(), 511);
        QCOMPARE(char(q.take()), 'A');
        q.skip(509);
        QCOMPARE(char(q.take()), chunk[510]);
    }

    // Unread bytes are never overwritten: what does not fit is dropped.
    void fullRingDropsNewBytesAndKeepsUnreadOnes() {
        RxQueue q;
        q.put(QByteArray(500, 'x'));
        QCOMPARE(q.put(QByteArray(20, 'y')), 9);
        QCOMPARE(q.size(), 511);
        QCOMPARE(q.dropped(), quint64(9));
        for (int i = 0; i < 500; ++i)
            QCOMPARE(char(q.take()), 'x');
        for (int i = 0; i < 11; ++i)
            QCOMPARE(char(q.take()), 'y');
        QCOMPARE(q.size(), 0);
        // Room again once read.
        QCOMPARE(q.put("z"), 0);
        QCOMPARE(char(q.take()), 'z');
    }

    void zeroByteAdvancesTheReadIndex() {
        RxQueue q;
        q.put(QByteArray("\0a", 2));
        QCOMPARE(int(q.take()), 0);
        QCOMPARE(q.size(), 1);
        QCOMPARE(char(q.take()), 'a');
    }

    void lineTextKeepsControlsAndSkipsHighBytes() {
        const std::uint8_t ok[] = {0x6F, 0x6B, 0x0D};
        QCOMPARE(LineAssembler::text(ok, 3), QString("ok\r"));
        const std::uint8_t high[] = {0x41, 0xC8, 0x42};
        QCOMPARE(LineAssembler::text(high, 3), QString("AB"));
        QCOMPARE(LineAssembler::text(high, 0), QString());
    }

    void crLfGivesTwoCallsInOneTick() {
        Lines l;
        l.put("ok\r\n");
        l.a.tick();
        QCOMPARE(l.lines, (QStringList{"ok\r", "\n"}));
    }

    void partialLineFlushesOnTheThirdQuietTick() {
        Lines l;
        l.put("s12");
        l.a.tick(); // tick T receives the bytes
        l.a.tick(); // T+1
        l.a.tick(); // T+2
        QVERIFY(l.lines.isEmpty());
        l.a.tick(); // T+3
        QCOMPARE(l.lines, QStringList{"s12"});
        QVERIFY(!l.a.busy());
    }

    void aByteInBetweenRestartsTheQuietCount() {
        Lines l;
        l.put("s1");
        l.a.tick();
        l.a.tick();
        l.a.tick();
        l.put("2");
        l.a.tick();
        l.a.tick();
        l.a.tick();
        QVERIFY(l.lines.isEmpty());
        l.a.tick();
        QCOMPARE(l.lines, QStringList{"s12"});
    }

    void fourteenBytesGoRawTheRestIsFlushed() {
        Lines l;
        l.put("ABCDEFGHIJKLMNOPQRST");
        l.a.tick();
        QCOMPARE(l.raw, QString("ABCDEFGHIJKLMN"));
        QVERIFY(l.lines.isEmpty());
        for (int i = 0; i < 3; ++i)
            l.a.tick();
        QCOMPARE(l.lines, QStringList{"OPQRST"});
    }

    void lineLengthBoundaries_data() {
        QTest::addColumn<int>("chars");
        QTest::addColumn<QStringList>("lines");
        QTest::addColumn<QString>("raw");
        QTest::newRow("12 + CR") << 12 << QStringList{"ABCDEFGHIJKL\r"} << QString();
        QTest::newRow("13 + CR") << 13 << QStringList{""} << QString("ABCDEFGHIJKLM\r");
        QTest::newRow("14 + CR") << 14 << QStringList{"\r"} << QString("ABCDEFGHIJKLMN");
    }
    void lineLengthBoundaries() {
        QFETCH(int, chars);
        Lines l;
        l.put(QByteArray("ABCDEFGHIJKLMN").left(chars) + "\r");
        l.a.tick();
        QTEST(l.lines, "lines");
        QTEST(l.raw, "raw");
    }

    void zeroBytesDoNotCountHighBytesDo() {
        Lines l;
        l.put(QByteArray("ok\0\0\0\0\0\0\0\0\0\0\0\0\0\0\r", 17));
        l.a.tick();
        QCOMPARE(l.lines, QStringList{"ok\r"});

        Lines h;
        h.put(QByteArray("ABCDEFGHIJKL\xC8\r"));
        h.a.tick();
        QCOMPARE(h.raw, QString("ABCDEFGHIJKL\r"));
        QCOMPARE(h.lines, QStringList{""});
    }

    // However the bytes are chunked, the same lines come out in the same order.
    void chunkingDoesNotChangeTheLines() {
        const QByteArray stream = "s12\r\nrdy\r\nok 0A\r\nABCDEFGHIJKLMNOP\r\nsrp  1  2\r\nx";
        Lines whole;
        whole.put(stream);
        for (int i = 0; i < 5; ++i)
            whole.a.tick();
        for (int step : {1, 2, 3, 7}) {
            Lines l;
            for (int i = 0; i < stream.size(); i += step) {
                l.put(stream.mid(i, step));
                l.a.tick();
            }
            for (int i = 0; i < 5; ++i)
                l.a.tick();
            QCOMPARE(l.lines, whole.lines);
            QCOMPARE(l.raw, whole.raw);
        }
        QCOMPARE(whole.lines.last(), QString("x"));
    }

    // Draining on arrival hands out the same lines, in the same order, in
    // the same tick slot as draining on the tick, whatever the chunking and
    // whatever the pauses (which decide the quiet-tick flushes).
    void arrivalDrainMatchesTickDrain() {
        const QByteArray stream = "s12\r\nrdy\r\nok 0A\r\nABCDEFGHIJKLMNOPQRS\r\nsrp  1  2\r\n"
                                  "s3\0\xC8"
                                  "4ok\rpartial\n\nxyz";
        QRandomGenerator rng(20261207);
        for (int run = 0; run < 200; ++run) {
            // Chunks of random size, each arriving in a random tick slot.
            QList<QPair<int, QByteArray>> arrivals;
            int slot = 0;
            for (qsizetype i = 0; i < stream.size();) {
                const int n = 1 + rng.bounded(6);
                slot += rng.bounded(5); // 0..4 ticks later: some pauses flush
                arrivals.append({slot, stream.mid(i, n)});
                i += n;
            }
            auto replay = [&](bool onArrival) {
                Lines l;
                QStringList stamped;
                int current = 0;
                l.a.onLine = [&](QString& line) {
                    stamped << QString::number(current) + ":" + line;
                };
                int next = 0;
                for (current = 0; current <= slot + 5; ++current) {
                    while (next < arrivals.size() && arrivals[next].first == current) {
                        l.put(arrivals[next].second);
                        if (onArrival)
                            l.a.drain();
                        ++next;
                    }
                    l.a.tick();
                }
                return qMakePair(stamped, l.raw);
            };
            const auto onTick = replay(false);
            const auto onArrival = replay(true);
            QCOMPARE(onArrival.first, onTick.first);
            QCOMPARE(onArrival.second, onTick.second);
        }
    }
};

QTEST_MAIN(RxQueueAndLines)
#include "test_rx_queue_and_lines.moc"
