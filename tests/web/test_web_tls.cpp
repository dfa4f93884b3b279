// The web port over TLS, a throwaway CA the clients' only authority.
#include "frontends/server/server_app.h"
#include "frontends/server/web/platform/web_listener.h"
#include "state/router_state.h"
#include "testing/fakes/fake_platform.h"
#include "tests/support/certificates.h"

#include <QNetworkReply>
#include <QTest>
#include <QWebSocket>

class TestWebTls : public QObject {
    Q_OBJECT
    QNetworkReply* get(quint16 port, const QString& path = "/") {
        QNetworkRequest request(QUrl(QStringLiteral("https://127.0.0.1:%1%2").arg(port).arg(path)));
        request.setSslConfiguration(trust_);
        net_.clearConnectionCache(); // a new connection each time
        QNetworkReply* reply = net_.get(request);
        return QTest::qWaitFor([reply] { return reply->isFinished(); }) ? reply : nullptr;
    }
    QSslConfiguration trust_ = QSslConfiguration::defaultConfiguration();
    QNetworkAccessManager net_;
    QString error_;

private slots:
    void exposure() {
        using E = server::WebExposure;
        QList<E> got;
        for (const char* args : {"--web [::1]:1 --web-insecure", "--web 0.0.0.0:1",
                                 "--web 192.0.2.1:1", "--web [::]:1 --web-insecure",
                                 "--web [::]:1 --web-cert c --web-key k", "--web-cert c"})
            if (auto o = server::parseOptions(QString(args).split(' '), {}, &error_))
                got << webExposure(*o);
        QCOMPARE(got, QList<E>({E::Local, E::Refused, E::Refused, E::Insecure, E::Tls}));
    }

    // HTTPS and wss://, plain HTTP refused, a renewed certificate while the events go on.
    void serveAndRenew() {
        QTemporaryDir dir;
        QDir::setCurrent(dir.path());
        QVERIFY(makeCertificate("ca") && makeCertificate("web", "ca"));
        trust_.setCaCertificates(QSslCertificate::fromPath("ca.pem"));
        platform::FakePlatform platform;
        const QStringList args{"--no-videohub", "--no-line", "--web",     "127.0.0.1:0",
                               "--web-cert",    "web.pem",   "--web-key", "web.key"};
        server::ServerApp app(platform, *server::parseOptions(args, {{"HOME", "."}}, &error_));
        QStringList log, got;
        connect(&app, &server::ServerApp::log, [&](const QString& line) { log << line; });
        QVERIFY2(app.start(&error_, false), qPrintable(error_));
        auto served = [&] { return get(app.webPort())->sslConfiguration().peerCertificate(); };
        QNetworkReply* page = get(app.webPort());
        QVERIFY(page->readAll().startsWith("<!doctype html>"));
        QCOMPARE(page->rawHeader("Strict-Transport-Security"), "max-age=31536000");
        QVERIFY(get(app.webPort(), "/api/v1/state")->readAll().contains("\"outputs\":["));
        QWebSocket events;
        connect(&events, &QWebSocket::textMessageReceived, [&](const QString& m) { got << m; });
        events.setSslConfiguration(trust_);
        events.open(QUrl(QStringLiteral("wss://127.0.0.1:%1/api/v1/events").arg(app.webPort())));
        QTRY_VERIFY(got.value(0).contains(R"("type":"state")"));
        QTcpSocket plain;
        plain.connectToHost(QHostAddress::LocalHost, app.webPort());
        plain.write("GET / HTTP/1.1\r\n\r\n");
        QTRY_COMPARE(plain.state(), QAbstractSocket::UnconnectedState);
        QVERIFY(plain.readAll().isEmpty() && log.last().endsWith("closed: not TLS"));
        const QSslCertificate first = served();
        QVERIFY(makeCertificate("web", "ca")); // renewed
        app.reload();
        app.state().setInput(3, 5);
        QTRY_VERIFY(got.value(1).contains(R"("input":5,"output":3,"type":"output")"));
        const QSslCertificate renewed = served();
        QVERIFY(!first.isNull() && !renewed.isNull() && renewed != first);
        QVERIFY(QFile::remove("web.key") && QFile::copy("ca.key", "web.key")); // not web.pem's
        app.reload();
        QCOMPARE(served(), renewed);
        // What a request is told, on a port of its own.
        web::WebListener host(web::WebLimits{});
        host.onRequest = [](auto& r, auto& a) { a({200, {}, r.tls ? "tls" : "plain", {}}); };
        QVERIFY(host.setCertificate("ca.pem", "ca.key", &error_) &&
                host.listen(QHostAddress::LocalHost, 0));
        QCOMPARE(get(host.port())->readAll(), "tls");
    }
};

QTEST_GUILESS_MAIN(TestWebTls)
#include "test_web_tls.moc"
