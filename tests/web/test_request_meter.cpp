// The web port's request meter: where requests end and which are over the
// limits, as the bytes arrive in any pieces.

#include "frontends/server/web/request_meter.h"

#include <QTest>

using Verdict = web::RequestMeter::Verdict;
Q_DECLARE_METATYPE(Verdict)

class TestRequestMeter : public QObject {
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
};

void TestRequestMeter::requests_data() {
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<Verdict>("verdict");
    QTest::addColumn<int>("completed");
    QTest::addColumn<bool>("inRequest");

    const QByteArray get = "GET / HTTP/1.1\r\nHost: a\r\n\r\n";
    const QByteArray put = "PUT /x HTTP/1.1\r\ncontent-LENGTH:  5 \r\n\r\n{\"a\"}";
    QTest::newRow("one GET") << get << Verdict::Fine << 1 << false;
    QTest::newRow("pipelined, line ends between")
        << get + "\r\n" + put + get << Verdict::Fine << 3 << false;
    QTest::newRow("LF line ends") << QByteArray("GET / HTTP/1.1\nHost: a\n\n") << Verdict::Fine << 1
                                  << false;
    QTest::newRow("no fields") << QByteArray("GET / HTTP/1.0\r\n\r\n") << Verdict::Fine << 1
                               << false;
    QTest::newRow("body awaited") << put.chopped(1) << Verdict::Fine << 0 << true;
    QTest::newRow("head awaited") << get.chopped(2) << Verdict::Fine << 0 << true;
    QTest::newRow("only line ends") << QByteArray("\r\n\r\n") << Verdict::Fine << 0 << false;
    QTest::newRow("head at the limit")
        << "GET / HTTP/1.1\r\nX: " + QByteArray(64 - 23, 'a') + "\r\n\r\n"
        << Verdict::Fine << 1 << false;
    QTest::newRow("head over the limit")
        << "GET / HTTP/1.1\r\nX: " + QByteArray(64 - 22, 'a') + "\r\n\r\n"
        << Verdict::HeadTooLarge << 0 << true;
    QTest::newRow("endless line") << QByteArray(65, 'G') << Verdict::HeadTooLarge << 0 << true;
    QTest::newRow("body at the limit")
        << "PUT / HTTP/1.1\r\nContent-Length: 32\r\n\r\n" + QByteArray(32, 'b') << Verdict::Fine
        << 1 << false;
    QTest::newRow("body over the limit, told at once")
        << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 33\r\n\r\n") << Verdict::BodyTooLarge << 0
        << true;
    QTest::newRow("huge length")
        << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 99999999999999999999\r\n\r\n")
        << Verdict::Fine << 1 << false;
    QTest::newRow("one length twice")
        << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 2, 2\r\n\r\nab") + get
        << Verdict::Fine << 2 << false;
    QTest::newRow("two lengths")
        << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 2\r\nContent-Length: 40\r\n\r\nab") + get
        << Verdict::Ambiguous << 0 << true;
    QTest::newRow("two lengths in one field")
        << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 2, 3\r\n\r\nab") << Verdict::Ambiguous << 0
        << true;
    QTest::newRow("length and coding")
        << QByteArray("PUT / HTTP/1.1\nTransfer-Encoding: chunked\nContent-Length: 2\n\n")
        << Verdict::Ambiguous << 0 << true;
    QTest::newRow("length and another coding")
        << QByteArray("PUT / HTTP/1.1\r\nContent-Length: 2\r\nTransfer-Encoding: gzip\r\n\r\n")
        << Verdict::Ambiguous << 0 << true;
    QTest::newRow("chunked") << QByteArray(
                                    "PUT / HTTP/1.1\r\nTransfer-Encoding: gzip, Chunked\r\n\r\n")
                             << Verdict::LengthRequired << 0 << true;
    const auto upload = [](const QByteArray& line, int length) {
        return line + "\r\nContent-Length: " + QByteArray::number(length) + "\r\n\r\n" +
               QByteArray(length, 'u');
    };
    QTest::newRow("upload at its limit")
        << upload("POST /jobs?dry HTTP/1.1", 48) << Verdict::Fine << 1 << false;
    QTest::newRow("upload over its limit")
        << upload("POST /jobs HTTP/1.1", 49) << Verdict::BodyTooLarge << 0 << true;
    QTest::newRow("upload's path, another method")
        << upload("PUT /jobs HTTP/1.1", 40) << Verdict::BodyTooLarge << 0 << true;
    QTest::newRow("upload's path, longer")
        << upload("POST /jobsx HTTP/1.1", 40) << Verdict::BodyTooLarge << 0 << true;
    QTest::newRow("upload, then a body at the plain limit")
        << upload("POST /jobs HTTP/1.1", 40) + upload("POST / HTTP/1.1", 33)
        << Verdict::BodyTooLarge << 1 << true;
    QTest::newRow("stays refused") << "PUT / HTTP/1.1\r\nContent-Length: 33\r\n\r\n" + get
                                   << Verdict::BodyTooLarge << 0 << true;
}

void TestRequestMeter::requests() {
    QFETCH(QByteArray, bytes);
    // Whole, then a byte at a time: the pieces must not matter.
    for (const qsizetype piece : {bytes.size(), qsizetype(1)}) {
        web::RequestMeter meter(64, 32);
        meter.allowUpload("POST /jobs", 48);
        Verdict verdict = Verdict::Fine;
        for (qsizetype i = 0; i < bytes.size(); i += piece)
            verdict =
                meter.feed(QByteArrayView(bytes).sliced(i, std::min(piece, bytes.size() - i)));
        QTEST(verdict, "verdict");
        QTEST(meter.completed(), "completed");
        QTEST(meter.inRequest(), "inRequest");
    }
}

QTEST_GUILESS_MAIN(TestRequestMeter)
#include "test_request_meter.moc"
