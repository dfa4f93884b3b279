// The server's web port on the loopback address, its line owned through the
// in-process simulated switcher: the JSON API's answers as table rows, the
// events, Videohub clients beside it, and the port's limits. Every answer
// and event is recorded for check_openapi.py, which holds them against the
// OpenAPI document.

#include "core/edid/edid_image.h"
#include "frontends/server/job_runner.h"
#include "frontends/server/line_owner.h"
#include "frontends/server/metrics_page.h"
#include "frontends/server/server_app.h"
#include "frontends/server/web/event_hub.h"
#include "frontends/server/web/web_api.h"
#include "frontends/server/web/web_auth.h"
#include "frontends/server/web/web_server.h"
#include "sim/device.h"
#include "sim/inprocess_port.h"
#include "state/accounts.h"
#include "state/room_store.h"
#include "state/router_state.h"
#include "state/scenes/scene_service.h"
#include "testing/fakes/fake_clock.h"
#include "testing/fakes/fake_platform.h"

#include "frontends/server/web/event_hub.h"
#include "frontends/server/web/web_api.h"

#include <QDir>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkCookie>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QWebSocket>

namespace {

void record(const QJsonObject& entry) {
    static QFile file(QStringLiteral(HDMI_WEB_RECORD));
    if (!file.isOpen() && !file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        qFatal("cannot write %s", HDMI_WEB_RECORD);
    file.write(QJsonDocument(entry).toJson(QJsonDocument::Compact) + '\n');
    file.flush();
}

struct Reply {
    int status = 0;
    QByteArray body;
    QJsonObject json;
    QList<QNetworkReply::RawHeaderPair> headers;
    QByteArray header(const QByteArray& name) const {
        for (const auto& [n, v] : headers)
            if (n.compare(name, Qt::CaseInsensitive) == 0)
                return v;
        return {};
    }
};

struct Rig {
    // model: the server's and the simulated switcher's.
    explicit Rig(const QString& stateDir, const web::WebLimits& limits = {},
                 const QString& model = protocol::Model::standard().name)
        : device(*sim::findShape(model)) {
        platform.portFactory = sim::InProcessPort::factory(device, made, true);
        server::Options o;
        o.model = *protocol::Model::find(model);
        o.videohub = server::Endpoint{QHostAddress(QHostAddress::LocalHost), 0};
        o.line.reset();
        o.web.reset(); // its own, beside, with the limits given
        o.stateDir = stateDir;
        o.pollSeconds = 0;
        app = std::make_unique<server::ServerApp>(platform, o);
        app->owner().times = {50, 400, 300, 30000};
        net.setProxy(QNetworkProxy::NoProxy); // loopback only, no system proxy asked
        web = std::make_unique<web::WebServer>(app->state(), QStringLiteral("Test Matrix"), limits,
                                               stateDir);
        QObject::connect(web.get(), &web::WebServer::event, [this](const QString& l) { log << l; });
        web->setMetrics([this] { return app->metrics().render(); });
        QString error;
        ok = app->start(&error, false) &&
             web->listener().listen(QHostAddress(QHostAddress::LocalHost), 0) &&
             QTest::qWaitFor([this] { return app->state().present(); }, 5000);
    }
    Reply call(const QByteArray& method, const QString& path, const QByteArray& body = "{}",
               const QByteArray& type = "application/json") {
        QNetworkRequest request(
            QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(web->listener().port()).arg(path)));
        if (!type.isEmpty())
            request.setRawHeader("Content-Type", type);
        for (const auto& [name, value] : std::as_const(headers))
            request.setRawHeader(name, value);
        QNetworkReply* r =
            method == "GET" ? net.get(request) : net.sendCustomRequest(request, method, body);
        if (!QTest::qWaitFor([r] { return r->isFinished(); }, 15000))
            return {};
        Reply out{r->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(),
                  r->readAll(),
                  {},
                  r->rawHeaderPairs()};
        r->deleteLater();
        const QJsonDocument doc = QJsonDocument::fromJson(out.body);
        out.json = doc.object();
        if (recorded)
            record({{"method", QString::fromLatin1(method)},
                    {"path", path},
                    {"status", out.status},
                    {"body", out.body.isEmpty() ? QJsonValue()
                             : doc.isObject()   ? QJsonValue(out.json)
                                                : QJsonValue(QString())}});
        return out;
    }
    bool sent(const QByteArray& command) const { return made && made->written.contains(command); }
    // The session cookie of the latest sign-in, as a Cookie field.
    QByteArray cookie() {
        return net.cookieJar()
            ->cookiesForUrl(
                QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(web->listener().port())))
            .value(0)
            .toRawForm(QNetworkCookie::NameAndValueOnly);
    }
    // Signs in; the cookie goes with every later call.
    bool signIn(const char* user) {
        return call("POST", "/api/v1/login",
                    QStringLiteral(R"({"user": "%1", "password": "pw-%1"})").arg(user).toUtf8())
                   .status == 200;
    }

    sim::Device device;
    sim::InProcessPort* made = nullptr;
    platform::FakePlatform platform{{false, true}};
    QStringList log; // before the servers, which log as they go
    std::unique_ptr<server::ServerApp> app;
    std::unique_ptr<web::WebServer> web;
    QNetworkAccessManager net;
    QList<QPair<QByteArray, QByteArray>> headers; // sent with every call
    // Its answers go to the OpenAPI check, which holds the standard model's
    // document.
    bool recorded = true;
    bool ok = false;
};

// A client of the event stream.
struct Events {
    explicit Events(quint16 port, const QString& origin = {}, bool kept = true,
                    const QList<QPair<QByteArray, QByteArray>>& headers = {})
        : ws(origin) {
        QObject::connect(&ws, &QWebSocket::textMessageReceived, [this, kept](const QString& text) {
            const QJsonObject m = QJsonDocument::fromJson(text.toUtf8()).object();
            if (kept)
                record({{"event", m}});
            got << m;
        });
        ws.setProxy(QNetworkProxy::NoProxy);
        QNetworkRequest request(QUrl(QStringLiteral("ws://127.0.0.1:%1/api/v1/events").arg(port)));
        for (const auto& [name, value] : headers)
            request.setRawHeader(name, value);
        ws.open(request);
    }
    bool has(const QJsonObject& m, int ms = 5000) {
        return QTest::qWaitFor([&] { return got.contains(m); }, ms);
    }
    QWebSocket ws;
    QList<QJsonObject> got;
};

// Bytes on a plain connection, for the port's limits and for Videohub.
struct Raw {
    explicit Raw(quint16 port, bool reads = true, const char* from = "127.0.0.1") {
        s.bind(QHostAddress(QLatin1String(from)));
        if (reads)
            QObject::connect(&s, &QTcpSocket::readyRead, [this] { got += s.readAll(); });
        s.connectToHost(QHostAddress::LocalHost, port);
        if (!reads) {
            s.waitForConnected(3000);
            s.setReadBufferSize(1);
            s.setSocketOption(QAbstractSocket::ReceiveBufferSizeSocketOption, 4096);
        }
    }
    bool has(const QByteArray& text, int ms = 5000) {
        return QTest::qWaitFor([&] { return got.contains(text); }, ms);
    }
    bool closed(int ms = 5000) {
        return QTest::qWaitFor([&] { return s.state() == QAbstractSocket::UnconnectedState; }, ms);
    }
    QTcpSocket s;
    QByteArray got;
};

QJsonObject message(const char* type, std::initializer_list<QPair<QString, QJsonValue>> fields) {
    QJsonObject m{{QStringLiteral("type"), QLatin1String(type)}};
    for (const auto& [k, v] : fields)
        m.insert(k, v);
    return m;
}

QJsonObject outputsWith(std::initializer_list<QPair<int, int>> routes) {
    QJsonArray list;
    for (int o = 1; o <= 8; ++o) {
        int input = o;
        for (const auto& [ro, ri] : routes)
            input = ro == o ? ri : input;
        list.append(QJsonObject{{"number", o}, {"input", input}});
    }
    return {{"outputs", list}};
}

} // namespace

class TestWebApi : public QObject {
    Q_OBJECT
private slots:
    void api_data();
    void api();
    void pageAndHeaders();
    void locksRefusalsAndAbsence();
    void sharedWithVideohub();
    void slowReaderDropped();
    void limits();
    void crowd();
    void hostNames_data();
    void hostNames();
    void access_data();
    void access();
    void signInLimited();
    void streamsFollowAccounts();
    void sessionsEnd();
    void trailKeptReadable();
    void streamCaps();
    void behindProxy();
    void accountsFileLost();
    void sceneNamesRoundTrip();
    void noAccounts();
    void rolesAsDocumented();
    void aSmallerModel();
    void scenes();
    void rooms();
    void backupAndRestoreJobs();

private:
    QTemporaryDir dir_;
    QTemporaryDir accountsDir_; // users and tokens made once: hashing takes time
    QByteArray token_;
    bool accountsMade_ = false;
    bool makeAccounts();
    // The next test makes them again ("gone" was removed).
    void forgetAccounts();
};

void TestWebApi::api_data() {
    QTest::addColumn<QByteArray>("method");
    QTest::addColumn<QString>("path");
    QTest::addColumn<QByteArray>("type");
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<int>("status");
    QTest::addColumn<QJsonObject>("answer"); // these fields, as given
    QTest::addColumn<QByteArray>("wire");    // sent to the switcher; none on an error

    auto row = [](const QString& name, const char* method, const QString& path,
                  const QByteArray& body, int status, const QJsonObject& answer = {},
                  const char* wire = "", const char* type = "application/json") {
        QTest::newRow(qPrintable(name)) << QByteArray(method) << path << QByteArray(type) << body
                                        << status << answer << QByteArray(wire);
    };
    auto code = [](const char* word) { return QJsonObject{{"code", word}}; };
    auto label = [](const QString& text) {
        return QJsonDocument(QJsonObject{{"label", text}}).toJson();
    };
    const QString route = QStringLiteral("/api/v1/outputs/%1/input");
    const QString salvo = QStringLiteral("/api/v1/routes");
    row("state", "GET", "/api/v1/state", {}, 200,
        {{"name", "Test Matrix"}, {"present", true}, {"presets", QJsonArray{1, 2, 3}}});
    row("health", "GET", "/api/v1/health", {}, 200, {{"status", "ok"}, {"switcher", true}});
    row("openapi", "GET", "/api/v1/openapi.json", {}, 200, {{"openapi", "3.0.3"}});
    row("route", "PUT", route.arg(1), R"({"input": 2})", 200, {{"output", 1}, {"input", 2}},
        "cir 01\r\n");
    row("route, charset given", "PUT", route.arg(8), R"({"input": 1})", 200,
        {{"output", 8}, {"input", 1}}, "cir 70\r\n", "Application/JSON; charset=utf-8");
    for (const char* o : {"0", "9", "x", "1x"})
        row(QStringLiteral("output %1").arg(o), "PUT", route.arg(o), R"({"input": 2})", 404,
            code("not_found"));
    for (const char* b : {R"({"input": 9})", R"({"input": 2.5})", R"({"input": "2"})", "{}"})
        row(b, "PUT", route.arg(2), b, 400, code("bad_input"));
    for (const char* b : {"{", "[2]", ""})
        row(QStringLiteral("not an object: %1").arg(b), "PUT", route.arg(2), b, 400,
            code("bad_json"));
    row("no content type", "PUT", route.arg(2), R"({"input": 2})", 415,
        code("unsupported_media_type"), "", "");
    row("a form", "POST", "/api/v1/presets/1/recall", "a=b", 415, code("unsupported_media_type"),
        "", "application/x-www-form-urlencoded");
    row("GET a route", "GET", route.arg(2), {}, 405, code("method_not_allowed"));
    row("salvo", "POST", salvo,
        R"({"routes": [{"output": 3, "input": 4}, {"output": 4, "input": 5}]})", 200,
        outputsWith({{3, 4}, {4, 5}}), "cir 23\r\ncir 34\r\n");
    row("salvo, one route bad", "POST", salvo,
        R"({"routes": [{"output": 3, "input": 4}, {"output": 9, "input": 5}]})", 400,
        code("bad_routes"));
    row("salvo, none", "POST", salvo, R"({"routes": []})", 400, code("bad_routes"));
    row("recall", "POST", "/api/v1/presets/2/recall", "{}", 200, {}, "msw 1");
    row("save", "POST", "/api/v1/presets/3/save", "{}", 204, {}, "msa 2");
    row("preset 4", "POST", "/api/v1/presets/4/recall", "{}", 404, code("not_found"));
    const QString camera = QString::fromUtf8("Cam\xc3\xa9ra 3");
    row("input label", "PUT", "/api/v1/inputs/3/label", label(camera), 200,
        {{"side", "input"}, {"number", 3}, {"label", camera}});
    // 64 characters beyond the 16-bit range: 128 UTF-16 units, allowed.
    const QString film = QString::fromUtf8("\xf0\x9f\x8e\xa5").repeated(64);
    row("64 characters", "PUT", "/api/v1/outputs/8/label", label(film), 200, {{"label", film}});
    row("65 characters", "PUT", "/api/v1/outputs/8/label", label(QString(65, 'a')), 400,
        code("bad_label"));
    row("control character", "PUT", "/api/v1/inputs/1/label", label("a\tb"), 400,
        code("bad_label"));
    row("label not text", "PUT", "/api/v1/inputs/1/label", R"({"label": 5})", 400,
        code("bad_label"));
    row("empty label: the default", "PUT", "/api/v1/outputs/2/label", label(""), 200,
        {{"side", "output"}, {"number", 2}, {"label", "Output 2"}});
    row("input 9 label", "PUT", "/api/v1/inputs/9/label", label("x"), 404, code("not_found"));
    row("no such path", "GET", "/api/v1/nothing", {}, 404, code("not_found"));
    row("POST the page", "POST", "/", "{}", 405, code("method_not_allowed"));
}

void TestWebApi::api() {
    QFETCH(QByteArray, method);
    QFETCH(QString, path);
    QFETCH(QByteArray, type);
    QFETCH(QByteArray, body);
    QFETCH(QJsonObject, answer);
    QFETCH(QByteArray, wire);
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    const qsizetype before = rig.made->written.size();
    const Reply r = rig.call(method, path, body, type);
    QTEST(r.status, "status");
    for (auto it = answer.begin(); it != answer.end(); ++it)
        QCOMPARE(r.json.value(it.key()), it.value());
    const QByteArray said = rig.made->written.mid(before);
    if (r.status >= 400 || wire.isEmpty())
        QVERIFY2(!said.contains("cir") && !said.contains("msw") && !said.contains("msa"), said);
    else
        QVERIFY2(said.contains(wire), said);
    if (r.status == 200 && method != "GET" && path.endsWith(QLatin1String("input")))
        QCOMPARE(rig.app->state().input(answer.value("output").toInt()),
                 answer.value("input").toInt());
}

void TestWebApi::pageAndHeaders() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    for (const auto& [path, type] : {std::pair{"/", "text/html; charset=utf-8"},
                                     {"/app.js", "text/javascript; charset=utf-8"},
                                     {"/style.css", "text/css; charset=utf-8"},
                                     {"/api/v1/state", "application/json"}}) {
        const Reply r = rig.call("GET", QLatin1String(path), {}, {});
        QCOMPARE(r.status, 200);
        QCOMPARE(r.header("Content-Type"), QByteArray(type));
        QVERIFY(r.header("Content-Security-Policy").contains("default-src 'self'"));
        QVERIFY(r.header("Content-Security-Policy").contains("frame-ancestors 'none'"));
        QCOMPARE(r.header("X-Content-Type-Options"), QByteArray("nosniff"));
        QCOMPARE(r.header("Referrer-Policy"), QByteArray("no-referrer"));
    }
    // No inline script: the page's only script is the module it loads.
    const QByteArray page = rig.call("GET", QStringLiteral("/"), {}, {}).body;
    QCOMPARE(page.count("<script"), 1);
    QVERIFY(page.contains("<script type=\"module\" src=\"app.js\"></script>"));
}

void TestWebApi::locksRefusalsAndAbsence() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Events events(rig.web->listener().port());
    QVERIFY(QTest::qWaitFor([&] { return !events.got.isEmpty(); }));
    QCOMPARE(events.got[0]["type"], "state");
    Raw hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    hub.s.write("VIDEO OUTPUT LOCKS:\n3 O\n\n"); // output 4, by 127.0.0.1 over Videohub
    QVERIFY(
        events.has(message("lock", {{"output", 4}, {"locked", true}, {"holder", "127.0.0.1"}})));
    QCOMPARE(rig.call("GET", "/api/v1/state").json["outputs"][3]["locked"], true);
    const qsizetype before = rig.made->written.size();
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/4/input", R"({"input": 1})").json["error"],
             "Output 4 is locked by another client.");
    QCOMPARE(rig.call("POST", "/api/v1/routes",
                      R"({"routes": [{"output": 1, "input": 3}, {"output": 4, "input": 3}]})")
                 .status,
             409);
    QCOMPARE(rig.call("POST", "/api/v1/presets/1/recall").status, 409);
    QCOMPARE(rig.made->written.size(), before);

    // A switcher that takes the route and never reports it, then one that
    // refuses it: nothing claimed either time.
    rig.device.faults.ignoreRoutes = true;
    const Reply ignored = rig.call("PUT", "/api/v1/outputs/2/input", R"({"input": 6})");
    QCOMPARE(ignored.status, 504);
    QCOMPARE(ignored.json["code"], "timed_out");
    QVERIFY(rig.sent("cir 15"));
    rig.device.faults.ignoreRoutes = false;
    rig.device.faults.refuseRoutes = true;
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/2/input", R"({"input": 7})").status, 502);
    QCOMPARE(rig.app->state().input(2), 2);
    QCOMPARE(rig.call("GET", "/api/v1/state").json["outputs"][1]["input"], 2);

    rig.device.faults.silent = true; // and stays away when the port opens again
    rig.made->close();
    emit rig.made->lost();
    QVERIFY(events.has(message("present", {{"present", false}})));
    const Reply health = rig.call("GET", "/api/v1/health");
    QCOMPARE(health.status, 503);
    QCOMPARE(health.json, (QJsonObject{{"status", "degraded"}, {"switcher", false}}));
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/2/input", R"({"input": 6})").json["code"], "absent");
}

void TestWebApi::sharedWithVideohub() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Events one(rig.web->listener().port()), two(rig.web->listener().port());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WebSocket received but no slots"));
    Events stranger(rig.web->listener().port(), QStringLiteral("http://elsewhere.example"));
    Raw hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    for (Events* e : {&one, &two}) {
        QVERIFY(QTest::qWaitFor([&] { return !e->got.isEmpty(); }));
        QJsonObject state = e->got[0];
        QCOMPARE(state.take("type"), "state");
        QCOMPARE(state, rig.call("GET", "/api/v1/state").json);
    }
    hub.s.write("VIDEO OUTPUT ROUTING:\n5 2\n\n");
    for (Events* e : {&one, &two})
        QVERIFY(e->has(message("output", {{"output", 6}, {"input", 3}})));
    QVERIFY(rig.call("PUT", "/api/v1/inputs/1/label", R"({"label": "Desk"})").status == 200);
    QVERIFY(hub.has("INPUT LABELS:\n0 Desk\n\n"));
    QVERIFY(one.has(message("label", {{"side", "input"}, {"number", 1}, {"label", "Desk"}})));
    hub.s.write("OUTPUT LABELS:\n7 Stage\n\n");
    QVERIFY(two.has(message("label", {{"side", "output"}, {"number", 8}, {"label", "Stage"}})));
    QCOMPARE(rig.call("GET", "/api/v1/state").json["outputs"][7]["label"], "Stage");
    // A page of another site never gets the stream.
    QVERIFY(stranger.got.isEmpty());
    QCOMPARE(stranger.ws.state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(rig.web->events().clients(), 2);
}

void TestWebApi::slowReaderDropped() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    Events good(rig.web->listener().port(), {}, false);
    Raw deaf(rig.web->listener().port(), false);
    deaf.s.write("GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
                 "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
                 "Sec-WebSocket-Version: 13\r\n\r\n");
    QVERIFY(QTest::qWaitFor([&] { return rig.web->events().clients() == 2; }));
    // Routing reports, 40-odd bytes of event each, until the deaf one goes.
    for (int i = 0; i < 200000 && rig.web->events().clients() == 2; ++i) {
        rig.made->deliverNow(i % 2 ? "s17\r\n" : "s18\r\n");
        if (i % 500 == 0)
            QTest::qWait(1);
    }
    QVERIFY(QTest::qWaitFor([&] { return rig.web->events().clients() == 1; }));
    QCOMPARE(rig.log.filter(QStringLiteral("dropped: it does not read")).size(), 1);
    rig.made->deliverNow("s15\r\n");
    QVERIFY(good.has(message("output", {{"output", 1}, {"input", 5}}), 20000));
}

void TestWebApi::limits() {
    web::WebLimits limits;
    limits.requestMs = 600;
    limits.idleMs = 1500;
    Rig rig(dir_.path(), limits);
    QVERIFY(rig.ok);
    const quint16 port = rig.web->listener().port();
    Raw headers(port), body(port), trickle(port), idle(port);
    headers.s.write("GET /api/v1/health HTTP/1.1\r\nX: " + QByteArray(17000, 'a') + "\r\n\r\n");
    body.s.write("PUT /api/v1/outputs/1/input HTTP/1.1\r\nContent-Type: application/json\r\n"
                 "Content-Length: 16385\r\n\r\n");
    QVERIFY(headers.has("HTTP/1.1 431 ") && headers.closed());
    QVERIFY(body.has("HTTP/1.1 413 ") && body.closed());
    QVERIFY(body.got.contains(R"("code":"body_too_large")"));
    Raw twice(port);
    twice.s.write("PUT /api/v1/outputs/1/input HTTP/1.1\r\nContent-Type: application/json\r\n"
                  "Content-Length: 12\r\nContent-Length: 0\r\n\r\n{\"input\": 7}");
    QVERIFY(twice.has("HTTP/1.1 400 ") && twice.closed());
    QVERIFY(twice.got.contains(R"("code":"ambiguous_length")"));
    // A request trickled in: closed when its time is up, whatever it sends.
    trickle.s.write("GET /api/v1/health HTTP/1.1\r\n");
    for (int i = 0; i < 20 && trickle.s.state() == QAbstractSocket::ConnectedState; ++i) {
        trickle.s.write("X: y\r\n");
        QTest::qWait(100);
    }
    QVERIFY(trickle.closed() && trickle.got.isEmpty());
    // Answered, then closed once idle.
    idle.s.write("GET /api/v1/health HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QVERIFY(idle.has("HTTP/1.1 200 ") && idle.closed());
    // Two requests in a row: the second's answer waits for the first's.
    Raw pipelined(port);
    pipelined.s.write(
        "PUT /api/v1/outputs/1/input HTTP/1.1\r\nContent-Type: application/json\r\n"
        "Content-Length: 12\r\n\r\n{\"input\": 7}GET /api/v1/health HTTP/1.1\r\n\r\n");
    QVERIFY(pipelined.has("\"status\":\"ok\""));
    QVERIFY(pipelined.got.indexOf("\"output\":1") < pipelined.got.indexOf("\"status\":\"ok\""));
    QVERIFY(rig.sent("cir 06"));
    QCOMPARE(rig.log.filter(QStringLiteral("too large")).size(), 2);
}

void TestWebApi::crowd() {
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    // 200 connections from 20 addresses, idle or with a request begun:
    // each beyond a cap takes the place of the one idle longest, and a
    // well-behaved client still gets in.
    std::vector<std::unique_ptr<Raw>> crowd;
    for (int i = 0; i < 200; ++i) {
        crowd.push_back(
            std::make_unique<Raw>(rig.web->listener().port(), true,
                                  qPrintable(QStringLiteral("127.0.0.%1").arg(2 + i % 20))));
        if (i % 2)
            crowd.back()->s.write("GET / HTTP/1.1\r\n");
    }
    // (Those beyond the system's backlog of 50 come in as it retries.)
    QVERIFY(QTest::qWaitFor(
        [&] { return rig.log.filter(QStringLiteral("to make room")).size() >= 100; }, 10000));
    QVERIFY(rig.web->listener().clients() <= 32);
    QCOMPARE(rig.call("GET", "/api/v1/health").status, 200);
    QCOMPARE(rig.log.filter(QStringLiteral("too many")).size(), 0);
}

// Another site's page whose name was made to point here (DNS rebinding)
// gets nothing; the server's own names and addresses do.
void TestWebApi::hostNames_data() {
    QTest::addColumn<QByteArray>("host");
    QTest::addColumn<bool>("served");
    QTest::newRow("another site") << QByteArray("evil.example:9980") << false;
    QTest::newRow("a name not given") << QByteArray("matrix.example.org") << false;
    QTest::newRow("a name given") << QByteArray("Matrix.Venue.lan:9980") << true;
    QTest::newRow("localhost") << QByteArray("LOCALHOST.") << true;
    QTest::newRow("IPv4") << QByteArray("192.0.2.10:9980") << true;
    QTest::newRow("IPv6") << QByteArray("[::1]:9980") << true;
}

void TestWebApi::hostNames() {
    QFETCH(QByteArray, host);
    QFETCH(bool, served);
    Rig rig(dir_.path());
    QVERIFY(rig.ok);
    rig.web->setHostNames({"matrix.venue.lan"});
    Raw raw(rig.web->listener().port());
    raw.s.write("PUT /api/v1/outputs/1/input HTTP/1.1\r\nHost: " + host +
                "\r\nContent-Type: application/json\r\nContent-Length: 12\r\n\r\n{\"input\": 5}");
    QVERIFY(raw.has(served ? "HTTP/1.1 200 " : "HTTP/1.1 421 "));
    QCOMPARE(rig.sent("cir 04"), served);
}

bool TestWebApi::makeAccounts() {
    if (accountsMade_)
        return true;
    server::Accounts a(accountsDir_.path());
    QString why;
    for (const auto& [name, role] : {std::pair{"viewer", server::Role::Viewer},
                                     {"operator", server::Role::Operator},
                                     {"admin", server::Role::Admin},
                                     {"gone", server::Role::Admin}})
        if (a.addUser(QLatin1String(name), role, QByteArray("pw-") + name) !=
            server::Accounts::Edit::Done)
            return false;
    accountsMade_ = a.addToken(QStringLiteral("script"), server::Role::Operator, &token_) ==
                        server::Accounts::Edit::Done &&
                    a.save(&why);
    return accountsMade_;
}

// Each path for each caller: the status it gets. A refused request does
// nothing (no command reaches the switcher).
void TestWebApi::access_data() {
    QTest::addColumn<QString>("caller");
    QTest::addColumn<QList<int>>("statuses"); // in the order of the paths below
    //                           state me audit route salvo recall save label health metrics
    QTest::newRow("nobody") << "" << QList<int>{401, 401, 401, 401, 401, 401, 401, 401, 200, 401};
    QTest::newRow("viewer") << "viewer"
                            << QList<int>{200, 200, 403, 403, 403, 403, 403, 403, 200, 200};
    QTest::newRow("operator") << "operator"
                              << QList<int>{200, 200, 403, 200, 200, 200, 403, 403, 200, 200};
    QTest::newRow("admin") << "admin"
                           << QList<int>{200, 200, 200, 200, 200, 200, 204, 200, 200, 200};
    QTest::newRow("operator token")
        << "token" << QList<int>{200, 200, 403, 200, 200, 200, 403, 403, 200, 200};
    QTest::newRow("bad token") << "bad token"
                               << QList<int>{401, 401, 401, 401, 401, 401, 401, 401, 200, 401};
    QTest::newRow("expired session")
        << "expired" << QList<int>{401, 401, 401, 401, 401, 401, 401, 401, 200, 401};
    QTest::newRow("removed user") << "removed"
                                  << QList<int>{401, 401, 401, 401, 401, 401, 401, 401, 200, 401};
}

void TestWebApi::access() {
    QFETCH(QString, caller);
    QFETCH(QList<int>, statuses);
    QVERIFY(makeAccounts());
    Rig rig(accountsDir_.path());
    QVERIFY(rig.ok);
    platform::FakeClock clock;
    rig.web->auth().now = [&clock] { return clock.now(); };
    if (caller == QLatin1String("token"))
        rig.headers = {{"Authorization", "Bearer " + token_}};
    else if (caller == QLatin1String("bad token"))
        rig.headers = {{"Authorization", "Bearer " + token_.left(token_.size() - 1) + "x"}};
    else if (caller == QLatin1String("expired")) {
        QVERIFY(rig.signIn("admin"));
        QCOMPARE(rig.call("GET", "/api/v1/me").status, 200);
        clock.advance(web::WebAuth::kSessionIdleMs + 1);
    } else if (caller == QLatin1String("removed")) {
        QVERIFY(rig.signIn("gone"));
        server::Accounts a(accountsDir_.path());
        QString why;
        QVERIFY(a.load(&why));
        QCOMPARE(a.removeUser(QStringLiteral("gone")), server::Accounts::Edit::Done);
        QVERIFY(a.save(&why));
        QVERIFY(QTest::qWaitFor([&] { return rig.call("GET", "/api/v1/me").status == 401; }, 1000));
    } else if (!caller.isEmpty()) {
        QVERIFY(rig.signIn(qPrintable(caller)));
    }
    const struct {
        const char* method;
        const char* path;
        const char* wire;
    } paths[] = {{"GET", "/api/v1/state", ""},
                 {"GET", "/api/v1/me", ""},
                 {"GET", "/api/v1/audit", ""},
                 {"PUT", "/api/v1/outputs/1/input", "cir 01"},
                 {"POST", "/api/v1/routes", "cir 12"},
                 {"POST", "/api/v1/presets/1/recall", "msw 0"},
                 {"POST", "/api/v1/presets/2/save", "msa 1"},
                 {"PUT", "/api/v1/inputs/1/label", ""},
                 {"GET", "/api/v1/health", ""},
                 {"GET", "/metrics", ""}};
    const QByteArray bodies[] = {{},
                                 {},
                                 {},
                                 R"({"input": 2})",
                                 R"({"routes": [{"output": 2, "input": 3}]})",
                                 "{}",
                                 "{}",
                                 R"({"label": "Desk"})",
                                 {},
                                 {}};
    for (int k = 0; k < int(std::size(paths)); ++k) {
        const qsizetype before = rig.made->written.size();
        const Reply r = rig.call(paths[k].method, QLatin1String(paths[k].path), bodies[k]);
        QVERIFY2(r.status == statuses[k],
                 qPrintable(QStringLiteral("%1 %2: %3")
                                .arg(QLatin1String(paths[k].method), QLatin1String(paths[k].path))
                                .arg(r.status)));
        if (*paths[k].wire)
            QCOMPARE(rig.made->written.mid(before).contains(paths[k].wire), r.status < 300);
    }
    if (caller == QLatin1String("admin")) {
        const QJsonArray trail = rig.call("GET", "/api/v1/audit").json["entries"].toArray();
        QStringList lines;
        for (const QJsonValue& e : trail)
            lines << e["who"].toString() + ": " + e["what"].toString();
        QVERIFY(lines.contains("admin: signed in"));
        QVERIFY(lines.contains("admin: route output 1 to input 2"));
        QVERIFY(lines.contains("admin: label input 1 \"Desk\""));
        QCOMPARE(rig.call("POST", "/api/v1/logout").status, 204);
        QCOMPARE(rig.call("GET", "/api/v1/me").status, 401);
    }
    if (caller == QLatin1String("removed"))
        forgetAccounts();
}

void TestWebApi::forgetAccounts() {
    accountsMade_ = false;
    accountsDir_.remove();
    QVERIFY(QDir().mkpath(accountsDir_.path()));
}

// Five failures from one address within a minute: every sign-in from it,
// the right one too, waits until a minute after the fifth; a wrong password
// and an unknown user are told the same.
void TestWebApi::signInLimited() {
    QVERIFY(makeAccounts());
    Rig rig(accountsDir_.path());
    QVERIFY(rig.ok);
    platform::FakeClock clock;
    rig.web->auth().now = [&clock] { return clock.now(); };
    const Reply wrong =
        rig.call("POST", "/api/v1/login", R"({"user": "admin", "password": "nope"})");
    const Reply unknown =
        rig.call("POST", "/api/v1/login", R"({"user": "nobody", "password": "nope"})");
    QCOMPARE(wrong.status, 401);
    QCOMPARE(unknown.body, wrong.body);
    QCOMPARE(rig.call("POST", "/api/v1/login", R"({"user": 5})").status, 400);
    for (int i = 0; i < 3; ++i) {
        clock.advance(10000);
        rig.call("POST", "/api/v1/login", R"({"user": "admin", "password": "nope"})");
    }
    clock.advance(1000); // a second after the fifth failure
    const Reply refused =
        rig.call("POST", "/api/v1/login", R"({"user": "admin", "password": "pw-admin"})");
    QCOMPARE(refused.status, 429);
    QCOMPARE(refused.header("Retry-After"), "59");
    clock.advance(58999);
    QCOMPARE(
        rig.call("POST", "/api/v1/login", R"({"user": "admin", "password": "pw-admin"})").status,
        429);
    clock.advance(1);
    QVERIFY(rig.signIn("admin"));
    QCOMPARE(rig.app->state().audit().entries().back().what, "signed in");
}

// An event stream ends with its user; a page of another site, and a script
// without a token, never get one once accounts exist.
void TestWebApi::streamsFollowAccounts() {
    QVERIFY(makeAccounts());
    Rig rig(accountsDir_.path());
    QVERIFY(rig.ok);
    QVERIFY(rig.signIn("gone"));
    const QByteArray cookie =
        rig.net.cookieJar()
            ->cookiesForUrl(
                QUrl(QStringLiteral("http://127.0.0.1:%1/").arg(rig.web->listener().port())))
            .value(0)
            .toRawForm(QNetworkCookie::NameAndValueOnly);
    QVERIFY(!cookie.isEmpty());
    const QString own = QStringLiteral("http://127.0.0.1:%1").arg(rig.web->listener().port());
    Events page(rig.web->listener().port(), own, true, {{"Cookie", cookie}});
    Events script(rig.web->listener().port(), {}, true, {{"Authorization", "Bearer " + token_}});
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WebSocket received but no slots"));
    Events anonymous(rig.web->listener().port());
    QTest::ignoreMessage(QtWarningMsg, QRegularExpression("WebSocket received but no slots"));
    Events stranger(rig.web->listener().port(), QStringLiteral("http://elsewhere.example"), true,
                    {{"Cookie", cookie}});
    QVERIFY(QTest::qWaitFor([&] { return !page.got.isEmpty() && !script.got.isEmpty(); }));
    QVERIFY(QTest::qWaitFor([&] {
        return anonymous.ws.state() == QAbstractSocket::UnconnectedState &&
               stranger.ws.state() == QAbstractSocket::UnconnectedState;
    }));
    QVERIFY(anonymous.got.isEmpty() && stranger.got.isEmpty());
    server::Accounts a(accountsDir_.path());
    QString why;
    QVERIFY(a.load(&why));
    QCOMPARE(a.removeUser(QStringLiteral("gone")), server::Accounts::Edit::Done);
    QVERIFY(a.save(&why));
    QVERIFY(QTest::qWaitFor([&] { return page.ws.state() == QAbstractSocket::UnconnectedState; },
                            1000));
    QCOMPARE(script.ws.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(rig.app->state().audit().entries().back().what, "user \"gone\" removed");
    forgetAccounts();
}

// A session and its stream end at once with a new password, with its
// user's 21st sign-in, and when its idle time is up, request or none.
void TestWebApi::sessionsEnd() {
    QVERIFY(makeAccounts());
    Rig rig(accountsDir_.path());
    QVERIFY(rig.ok);
    const QString own = QStringLiteral("http://127.0.0.1:%1").arg(rig.web->listener().port());
    const auto stream = [&] {
        return std::make_unique<Events>(
            rig.web->listener().port(), own, true,
            QList<QPair<QByteArray, QByteArray>>{{"Cookie", rig.cookie()}});
    };
    const auto ends = [](Events& e) {
        return QTest::qWaitFor([&] { return !e.got.isEmpty(); }) &&
               QTest::qWaitFor([&] { return e.ws.state() == QAbstractSocket::UnconnectedState; },
                               1500);
    };
    QVERIFY(rig.signIn("gone"));
    auto renamed = stream();
    server::Accounts a(accountsDir_.path());
    QString why;
    QVERIFY(a.load(&why));
    QCOMPARE(a.setPassword(QStringLiteral("gone"), "another"), server::Accounts::Edit::Done);
    QVERIFY(a.save(&why));
    QVERIFY(ends(*renamed));
    QCOMPARE(rig.call("GET", "/api/v1/me").status, 401);
    QCOMPARE(a.setPassword(QStringLiteral("gone"), "pw-gone"), server::Accounts::Edit::Done);
    QVERIFY(a.save(&why));

    QVERIFY(rig.signIn("viewer"));
    auto first = stream();
    for (int i = 0; i < web::WebAuth::kSessionsPerUser; ++i)
        QVERIFY(rig.signIn("viewer"));
    QVERIFY(ends(*first));
    QCOMPARE(rig.web->auth().sessions(), web::WebAuth::kSessionsPerUser);
    QCOMPARE(rig.call("GET", "/api/v1/me").status, 200);

    rig.web->auth().sessionIdleMs = 400;
    QVERIFY(rig.signIn("admin"));
    auto idle = stream();
    QVERIFY(ends(*idle));
    QCOMPARE(rig.web->auth().sessions(), 0);
}

// Texts from clients with line ends in them forge no log line; 520
// refused labels of 4,000 characters leave a trail that is small and still
// answers, whole to a client that reads, however large.
void TestWebApi::trailKeptReadable() {
    web::WebLimits limits;
    limits.maxUnsent = 16 * 1024;
    Rig rig(dir_.path(), limits);
    QVERIFY(rig.ok);
    rig.web->setScenes(&rig.app->scenes());
    QStringList lines;
    QObject::connect(&rig.app->state().audit(), &server::AuditTrail::logged,
                     [&](const QString& l) { lines << l; });
    QObject::connect(rig.web.get(), &web::WebServer::traffic,
                     [&](const QString& l) { lines << l; });
    QCOMPARE(rig.call("PUT", "/api/v1/scenes/a%0Aaudit%3A%20alice%20from%2010.9.9.9",
                      R"({"routes": [{"output": 1, "input": 1}]})")
                 .status,
             400);
    QCOMPARE(rig.call("GET", "/api/v1/nothing%E2%80%A8audit:%20alice%0d%0aaudit:").status, 404);
    QCOMPARE(rig.call("POST", "/api/v1/scenes/" + QString(300, 'n') + "%0A/capture").status, 400);
    Raw hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    hub.s.write(
        QStringLiteral("OUTPUT LABELS:\n2 Desk\u2028audit: alice from 10.9.9.9: x\n\n").toUtf8());
    const QByteArray block = "INPUT LABELS:\n1 " + QByteArray(4000, 'x') + "\n\n";
    for (int i = 0; i < 520; ++i)
        hub.s.write(block);
    QVERIFY(QTest::qWaitFor([&] { return hub.got.count("NAK") == 521; }, 20000));
    for (const QString& l : std::as_const(lines))
        QVERIFY2(!l.contains('\n') && !l.contains('\r') && !l.contains(QChar(0x2028)) &&
                     l.size() <= 1200,
                 qPrintable(l.left(300)));
    QCOMPARE(lines.filter("\\naudit: alice from 10.9.9.9").size(), 2); // trail and traffic
    QCOMPARE(lines.filter("\\u2028audit: alice").size(), 1);
    QCOMPARE(lines.filter("label output 3 (34 characters) (refused: invalid)").size(), 1);
    QCOMPARE(lines.filter(QString(197, 'n') + "...\"").size(), 1);

    const Reply all = rig.call("GET", "/api/v1/audit");
    QCOMPARE(all.status, 200);
    const QJsonArray entries = all.json["entries"].toArray();
    QCOMPARE(entries.size(), server::AuditTrail::kKept);
    QCOMPARE(entries.last()["what"], "label input 2 (4000 characters) (refused: invalid)");
    const Reply latest = rig.call("GET", "/api/v1/audit?limit=2");
    QCOMPARE(latest.json["entries"].toArray(), (QJsonArray{entries[498], entries[499]}));
    QCOMPARE(rig.call("GET", "/api/v1/audit?limit=0").status, 400);

    // More than maxUnsent, to a client that reads: not one that does not.
    Raw reader(rig.web->listener().port());
    reader.s.write("GET /api/v1/audit HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
    QVERIFY(reader.has("\"who\":\"videohub\"}]}"));
    QVERIFY(reader.got.size() > limits.maxUnsent);
    QVERIFY(rig.log.filter("does not read").isEmpty());
}

// Event streams have caps of their own: 4 from an address, 8 of a user or
// token, half the port in all; a refused one is told why, and a sign-in
// still gets in.
void TestWebApi::streamCaps() {
    QVERIFY(makeAccounts());
    std::vector<std::unique_ptr<Raw>> streams;
    const auto open = [&](Rig& rig, int address, const QByteArray& fields) {
        streams.push_back(
            std::make_unique<Raw>(rig.web->listener().port(), true,
                                  qPrintable(QStringLiteral("127.0.0.%1").arg(address))));
        streams.back()->s.write(
            "GET /api/v1/events HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\n"
            "Connection: Upgrade\r\nSec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\n"
            "Sec-WebSocket-Version: 13\r\n" +
            fields + "\r\n");
        Raw& s = *streams.back();
        return QTest::qWaitFor([&] {
                   return s.got.startsWith("HTTP/1.1 101 ") ? s.got.contains("\r\n\r\n")
                                                            : s.got.endsWith("}");
               }) && s.got.startsWith("HTTP/1.1 101 ")
                   ? QStringLiteral("open")
                   : QJsonDocument::fromJson(s.got.mid(s.got.indexOf('{')))["error"].toString();
    };
    QStringList got;
    {
        Rig rig(accountsDir_.path());
        QVERIFY(rig.ok);
        for (int i = 0; i < 10; ++i)
            got << open(rig, i < 5 ? 2 : i < 9 ? 3 : 4, "Authorization: Bearer " + token_ + "\r\n");
        QCOMPARE(got.join('|'), "open|open|open|open|This address has 4 event streams open "
                                "already.|open|open|open|open|script has 8 event streams open "
                                "already.");
        QVERIFY(rig.signIn("viewer"));
    }
    got.clear();
    streams.clear();
    QTemporaryDir none;
    Rig rig(none.path());
    QVERIFY(rig.ok);
    for (int i = 0; i < 25; ++i)
        got << open(rig, 2 + i / 5, {});
    QCOMPARE(got.count("open"), 16);
    QCOMPARE(got.mid(20).join('|'), QStringList(5, "The server has 16 event streams open, as many "
                                                   "as it takes.")
                                        .join('|'));
    QCOMPARE(rig.call("GET", "/api/v1/health").status, 200);
    QCOMPARE(rig.web->events().clients(), 16);
}

// A forwarded request is never this machine's own; with the proxy
// believed, its client's address counts for the sign-in limit and the
// trail, and its scheme for the cookie. Sign-ins waiting from other
// addresses do not hold up the right one.
void TestWebApi::behindProxy() {
    {
        QTemporaryDir none;
        Rig rig(none.path());
        QVERIFY(rig.ok);
        QStringList got;
        for (const bool trust : {false, true})
            for (const char* field : {"X-Forwarded-For: 192.0.2.7", "X-Forwarded-For: 127.0.0.1",
                                      "Forwarded: for=127.0.0.1", "X-Other: 1"}) {
                rig.web->setTrustProxy(trust);
                const QByteArrayList pair = QByteArray(field).split(':');
                rig.headers = {{pair[0], pair[1].trimmed()}};
                got << QString::number(rig.call("GET", "/api/v1/me").status);
            }
        // Believed, 192.0.2.7 is not in --allow.
        QCOMPARE(got.join(' '), "401 401 401 200 403 401 401 200");
    }
    QVERIFY(makeAccounts());
    web::WebLimits limits;
    limits.allow = {QHostAddress::parseSubnet("192.0.2.0/24"),
                    QHostAddress::parseSubnet("2001:db8::/32")};
    Rig rig(accountsDir_.path(), limits);
    QVERIFY(rig.ok);
    rig.web->setTrustProxy(true);
    const QByteArray wrong = R"({"user": "admin", "password": "nope"})";
    rig.headers = {{"X-Forwarded-For", "10.1.1.1, 192.0.2.7"}};
    for (int i = 0; i < 5; ++i)
        QCOMPARE(rig.call("POST", "/api/v1/login", wrong).status, 401);
    QCOMPARE(rig.call("POST", "/api/v1/login", wrong).status, 429);
    rig.headers = {{"Forwarded", R"(for=192.0.2.7, for="[2001:db8::1]:4711";proto=https)"}};
    const Reply in =
        rig.call("POST", "/api/v1/login", R"({"user": "admin", "password": "pw-admin"})");
    QCOMPARE(in.status, 200);
    QVERIFY(in.header("Set-Cookie").contains("; Secure"));
    const auto& trail = rig.app->state().audit().entries();
    QCOMPARE(trail.back().from + ": " + trail.back().what, "2001:db8::1: signed in");
    QCOMPARE(trail[trail.size() - 2].from, "192.0.2.7");

    rig.headers.clear();
    std::vector<std::unique_ptr<Raw>> others;
    for (int i = 0; i < 5; ++i) {
        others.push_back(
            std::make_unique<Raw>(rig.web->listener().port(), true,
                                  qPrintable(QStringLiteral("127.0.0.%1").arg(2 + i % 4))));
        others.back()->s.write("POST /api/v1/login HTTP/1.1\r\nContent-Type: application/json\r\n"
                               "Content-Length: 37\r\n\r\n" +
                               wrong);
        QVERIFY(others.back()->s.waitForBytesWritten(1000));
    }
    QVERIFY(others.back()->has("HTTP/1.1 429 ")); // a second from 127.0.0.2
    QVERIFY(rig.signIn("admin"));
    for (int i = 0; i < 4; ++i)
        QVERIFY(others[i]->has("HTTP/1.1 401 "));
}

// The accounts file damaged, or gone while accounts existed: nobody gets
// in, this machine included, and the trail says so rather than that every
// user was removed; mended or made again, it is read as usual.
void TestWebApi::accountsFileLost() {
    QVERIFY(makeAccounts());
    QTemporaryDir dir;
    const QString file = dir.filePath("accounts.json");
    QVERIFY(QFile::copy(accountsDir_.filePath("accounts.json"), file));
    Rig rig(dir.path());
    QVERIFY(rig.ok);
    const auto trail = [&] {
        QStringList out;
        for (const auto& e : rig.app->state().audit().entries())
            out << e.what;
        return out;
    };
    const auto me = [&] { return rig.call("GET", "/api/v1/me"); };
    QCOMPARE(me().json["code"], "unauthorized");
    QFile damaged(file);
    QVERIFY(damaged.open(QIODevice::WriteOnly | QIODevice::Truncate));
    damaged.close();
    QVERIFY(QTest::qWaitFor([&] { return !trail().isEmpty(); }, 2000));
    QCOMPARE(trail(), QStringList{"accounts file damaged; nobody may sign in"});
    QVERIFY(QFile::remove(file) && QFile::copy(accountsDir_.filePath("accounts.json"), file));
    QVERIFY(QTest::qWaitFor([&] { return !rig.web->auth().accountsBroken(); }, 2000));
    QVERIFY(QFile::remove(file));
    QVERIFY(QTest::qWaitFor([&] { return trail().size() == 2; }, 2000));
    QCOMPARE(trail().last(), "accounts file gone; nobody may sign in");
    QCOMPARE(rig.log.filter("is gone, and accounts existed").size(), 1);
    QVERIFY(me().json["error"].toString().contains("cannot read its accounts"));
    server::Accounts made(dir.path()); // as "user add" makes it
    QString why;
    QVERIFY(made.addUser("anew", server::Role::Viewer, "pw-anew") == server::Accounts::Edit::Done &&
            made.save(&why));
    QVERIFY(QTest::qWaitFor([&] { return !rig.web->auth().accountsBroken(); }, 2000));
    QVERIFY(rig.signIn("anew"));
    QVERIFY(trail().contains("user \"anew\" added as viewer"));
    QVERIFY(trail().contains("user \"admin\" removed"));
}

// A new scene may not be named what a URL path does not carry back
// ("." and "..", a lone "%"); one kept under such a name from before is
// still recalled and removed by its escaped name.
void TestWebApi::sceneNamesRoundTrip() {
    QTemporaryDir dir;
    QFile kept(dir.filePath("scenes.json"));
    QVERIFY(kept.open(QIODevice::WriteOnly) &&
            kept.write(R"({"version": 1, "scenes": [{"name": ".", "routes": [{"output": 1,
                          "input": 2}]}]})") > 0);
    kept.close();
    Rig rig(dir.path());
    QVERIFY(rig.ok);
    rig.web->setScenes(&rig.app->scenes());
    const auto status = [&](const QByteArray& line) {
        Raw raw(rig.web->listener().port());
        raw.s.write(line + " HTTP/1.1\r\nContent-Type: application/json\r\nContent-Length: 39"
                           "\r\n\r\n{\"routes\": [{\"output\": 1, \"input\": 3}]}");
        return raw.has("\r\n\r\n") ? raw.got.mid(9, 3).toInt() : 0;
    };
    QStringList got;
    for (const char* line :
         {"PUT /api/v1/scenes/%2E%2E", "PUT /api/v1/scenes/..", "PUT /api/v1/scenes/50%25",
          "POST /api/v1/scenes/a%25z/capture", "PUT /api/v1/scenes/50%2525",
          "PUT /api/v1/scenes/%2E", "POST /api/v1/scenes/%2E/recall", "DELETE /api/v1/scenes/%2E"})
        got << QString::number(status(line));
    QCOMPARE(got.join(' '), "400 400 400 400 200 200 200 204");
    QVERIFY(rig.sent("cir 02"));
    QCOMPARE(rig.call("GET", "/api/v1/scenes").json["scenes"][0]["name"], "50%25");
}

// Without accounts, the server's own machine has every right and others
// none; a file that cannot be read lets nobody in.
void TestWebApi::noAccounts() {
    QTemporaryDir dir;
    server::RouterState state;
    server::Accounts accounts(dir.path());
    web::WebAuth auth(accounts, state.audit());
    web::Request local{"GET", "/api/v1/me", {}, QHostAddress(QStringLiteral("127.0.0.1")), {}};
    web::Request lan = local;
    lan.peer = QHostAddress(QStringLiteral("192.0.2.7"));
    const auto me = auth.identify(local);
    QVERIFY(std::holds_alternative<web::Caller>(me));
    QCOMPARE(std::get<web::Caller>(me).role, server::Role::Admin);
    const auto refused = auth.identify(lan);
    QVERIFY(std::holds_alternative<web::Response>(refused));
    QCOMPARE(std::get<web::Response>(refused).status, 401);
    QVERIFY(std::get<web::Response>(refused).body.contains("user add"));
    auth.setAccountsBroken(true);
    QVERIFY(std::holds_alternative<web::Response>(auth.identify(local)));
    // Over HTTPS the cookie is one no other host could have set.
    for (const bool tls : {false, true}) {
        local.tls = tls;
        QVERIFY(auth.signOut(local).headers.value(0).second.startsWith(tls ? "__Host-hmx_session=; "
                                                                           : "hmx_session=; "));
    }
}

// Scenes through the API: names with a "/" in them, a clash in another
// letter case, a recall as one salvo, "active" following the routing, a
// recall refused whole by a lock, capture and removal.
void TestWebApi::scenes() {
    QTemporaryDir dir;
    Rig rig(dir.path());
    QVERIFY(rig.ok);
    rig.web->setScenes(&rig.app->scenes());
    Events events(rig.web->listener().port());
    const QString lecture = QStringLiteral("/api/v1/scenes/Lecture%2FHall");
    const Reply made =
        rig.call("PUT", lecture,
                 R"({"routes": [{"output": 2, "input": 3}, {"output": 1, "input": 2}],
                                    "schedule": ["mon-fri 07:30"]})");
    QCOMPARE(made.status, 200);
    QCOMPARE(made.json["name"], "Lecture/Hall");
    QCOMPARE(made.json["schedule"], QJsonArray{"Mon-Fri 07:30"});
    QCOMPARE(made.json["active"], false);
    QCOMPARE(rig.call("PUT", "/api/v1/scenes/lecture%2Fhall",
                      R"({"routes": [{"output": 1, "input": 1}]})")
                 .json["code"],
             "name_clash");
    QCOMPARE(
        rig.call("PUT", "/api/v1/scenes/x", R"({"routes": [{"output": 9, "input": 1}]})").status,
        400);
    QCOMPARE(rig.call("POST", lecture + "/recall").status, 200);
    QVERIFY(rig.sent("cir 01") && rig.sent("cir 12"));
    // The latest "scenes" event says whether the scene is active.
    auto active = [&](bool on) {
        return QTest::qWaitFor([&] {
            for (auto m = events.got.crbegin(); m != events.got.crend(); ++m)
                if ((*m)["type"] == "scenes")
                    return (*m)["scenes"][0]["active"] == on;
            return false;
        });
    };
    QVERIFY(active(true));
    QCOMPARE(rig.call("GET", "/api/v1/scenes").json["scenes"][0]["active"], true);
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/1/input", R"({"input": 5})").status, 200);
    QVERIFY(active(false));

    Raw hub(rig.app->videohubPort());
    QVERIFY(hub.has("END PRELUDE:"));
    hub.s.write("VIDEO OUTPUT LOCKS:\n1 O\n\n"); // output 2
    QVERIFY(QTest::qWaitFor([&] { return !rig.app->state().lockOwner(2).isEmpty(); }));
    const qsizetype before = rig.made->written.size();
    QCOMPARE(rig.call("POST", lecture + "/recall").json["code"], "locked");
    QCOMPARE(rig.made->written.size(), before);

    const Reply captured = rig.call("POST", "/api/v1/scenes/Now/capture", R"({"outputs": [1, 3]})");
    QCOMPARE(captured.status, 200);
    QCOMPARE(captured.json["routes"], (QJsonArray{QJsonObject{{"output", 1}, {"input", 5}},
                                                  QJsonObject{{"output", 3}, {"input", 3}}}));
    QCOMPARE(rig.call("POST", "/api/v1/scenes/Now/capture", R"({"outputs": [9]})").status, 400);
    QCOMPARE(rig.call("DELETE", "/api/v1/scenes/now").status, 204);
    QCOMPARE(rig.call("DELETE", "/api/v1/scenes/Now").status, 404);
    QCOMPARE(rig.call("POST", "/api/v1/scenes/Now/recall").status, 404);
    const QStringList trail = [&] {
        QStringList out;
        for (const auto& e : rig.app->state().audit().entries())
            out << e.who + ": " + e.what;
        return out;
    }();
    QVERIFY(trail.contains("local: recall scene \"Lecture/Hall\""));
    QVERIFY(trail.contains("local: recall scene \"Lecture/Hall\" (refused: locked)"));
}

// The role each path needs in the code is the one the OpenAPI document
// gives it, path for path (the event stream is the WebSocket's own).
void TestWebApi::rolesAsDocumented() {
    QFile f(QStringLiteral(":/web/openapi.json"));
    QVERIFY(f.open(QIODevice::ReadOnly));
    const QJsonObject paths = QJsonDocument::fromJson(f.readAll())["paths"].toObject();
    static const QRegularExpression placeholder(QStringLiteral("\\{[^}]*\\}"));
    QStringList documented;
    for (auto p = paths.begin(); p != paths.end(); ++p)
        for (const QString& method : p->toObject().keys())
            if (const QJsonValue role = p->toObject()[method].toObject()["x-role"];
                role.isString() && p.key() != QLatin1String("/api/v1/events"))
                documented.append(
                    QStringLiteral("%1 %2 %3")
                        .arg(method.toUpper(),
                             QString(p.key()).replace(placeholder, QStringLiteral("{}")),
                             role.toString()));
    QStringList inCode = web::WebApi::accessTable();
    documented.sort();
    inCode.sort();
    QCOMPARE(inCode, documented);
}

// A backup through the API restored onto a server with a fresh switcher:
// the switcher's parts, the labels and the scenes come across; one job at a
// time; a damaged document changes nothing; every job is in the trail.
void TestWebApi::backupAndRestoreJobs() {
    QTemporaryDir dirA, dirB;
    Rig a(dirA.path()), b(dirB.path());
    QVERIFY(a.ok && b.ok);
    for (Rig* r : {&a, &b}) {
        r->web->setScenes(&r->app->scenes());
        r->web->setJobs(&r->app->jobs());
    }
    a.device.edid.images[1][0x10] = 0x77;
    edid::setChecksums(a.device.edid.images[1]);
    a.device.ir.codes[5] = 0x66;
    a.device.settings.longCable = 3;
    QCOMPARE(a.call("PUT", "/api/v1/outputs/3/input", R"({"input": 6})").status, 200);
    QCOMPARE(a.call("PUT", "/api/v1/inputs/2/label", R"({"label": "Lectern"})").status, 200);
    QCOMPARE(a.call("PUT", "/api/v1/scenes/Evening", R"({"routes": [{"output": 1, "input": 4}]})")
                 .status,
             200);
    Events events(b.web->listener().port());
    // Polls the job until it is over.
    auto run = [](Rig& r, const QByteArray& body) {
        const Reply started = r.call("POST", "/api/v1/jobs", body);
        if (started.status != 202)
            return started.json;
        const QString path = QStringLiteral("/api/v1/jobs/%1").arg(started.json["id"].toInt());
        QJsonObject job;
        const bool over = QTest::qWaitFor(
            [&] {
                job = r.call("GET", path).json;
                return job["state"] != "running";
            },
            30000);
        return over ? job : QJsonObject();
    };
    const Reply first = a.call("POST", "/api/v1/jobs", R"({"kind": "backup"})");
    QCOMPARE(first.status, 202);
    QCOMPARE(a.call("POST", "/api/v1/jobs", R"({"kind": "backup"})").status, 409);
    QVERIFY(QTest::qWaitFor([&] { return !a.app->jobs().running(); }, 30000));
    const QJsonObject made = run(a, R"({"kind": "backup"})");
    QCOMPARE(made["state"], "done");
    const QJsonObject document = made["result"].toObject();
    QVERIFY(!document.contains("accounts"));

    QJsonObject damaged = document;
    damaged["model"] = "4x4";
    QCOMPARE(b.call("POST", "/api/v1/jobs",
                    QJsonDocument(QJsonObject{{"kind", "restore"}, {"backup", damaged}}).toJson())
                 .json["code"],
             "bad_backup");
    const QJsonObject dry = run(
        b, QJsonDocument(QJsonObject{{"kind", "restore"}, {"backup", document}, {"dry_run", true}})
               .toJson());
    QCOMPARE(dry["state"], "done");
    const QJsonArray lines = dry["result"]["differences"].toArray();
    QVERIFY(lines.contains("output 3: input 3 \u2192 input 6"));
    QVERIFY(lines.contains("input 2 label: \"Input 2\" \u2192 \"Lectern\""));
    QVERIFY(dry["result"]["written"].toArray().isEmpty());
    QVERIFY(b.device.edid.images != a.device.edid.images);

    const QJsonObject done =
        run(b, QJsonDocument(QJsonObject{{"kind", "restore"}, {"backup", document}}).toJson());
    QCOMPARE(done["state"], "done");
    QCOMPARE(b.device.edid.images, a.device.edid.images);
    QCOMPARE(b.device.ir.codes, a.device.ir.codes);
    QCOMPARE(b.device.settings.longCable, 3);
    QCOMPARE(b.device.routing, a.device.routing);
    QCOMPARE(b.app->state().inputLabel(2), "Lectern");
    QVERIFY(b.app->scenes().store().find("Evening"));
    QVERIFY(events.has(message("job", {{"id", done["id"]},
                                       {"kind", "restore"},
                                       {"state", "done"},
                                       {"done", done["done"]},
                                       {"total", done["total"]},
                                       {"result", done["result"]}})));
    QCOMPARE(b.call("DELETE", QStringLiteral("/api/v1/jobs/%1").arg(done["id"].toInt())).status,
             409);
    QStringList trail;
    for (const auto& e : b.app->state().audit().entries())
        trail << e.what;
    QVERIFY2(trail.contains("restore (dry run)") && trail.contains("restore"),
             qPrintable(trail.join('\n')));
}

QTEST_GUILESS_MAIN(TestWebApi)
// Every front end of a 4x4 server counts its ports: the Videohub prelude,
// the web state, the API's ranges and the OpenAPI document's bounds.
void TestWebApi::aSmallerModel() {
    QTemporaryDir folder; // no labels from the other tests
    Rig rig(folder.path(), {}, "4x4");
    rig.recorded = false;
    QVERIFY(rig.ok);
    QTcpSocket hub;
    QByteArray prelude;
    connect(&hub, &QTcpSocket::readyRead, [&] { prelude += hub.readAll(); });
    hub.connectToHost(QHostAddress::LocalHost, rig.app->videohubPort());
    QVERIFY(QTest::qWaitFor([&] { return prelude.contains("END PRELUDE:"); }, 5000));
    QVERIFY2(prelude.contains("Model name: HDMI Matrix 4x4\n"), prelude);
    QVERIFY2(prelude.contains("Video inputs: 4\nVideo processing units: 0\nVideo outputs: 4\n"),
             prelude);
    QVERIFY2(prelude.contains("VIDEO OUTPUT ROUTING:\n0 0\n1 1\n2 2\n3 3\n\n"), prelude);
    QVERIFY2(prelude.contains("INPUT LABELS:\n0 Input 1\n1 Input 2\n2 Input 3\n3 Input 4\n\n"),
             prelude);

    const Reply state = rig.call("GET", "/api/v1/state");
    QCOMPARE(state.json.value("outputs").toArray().size(), 4);
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/4/input", R"({"input": 2})").status, 200);
    QVERIFY(rig.sent("cir 31\r\n"));
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/5/input", R"({"input": 2})").status, 404);
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/1/input", R"({"input": 5})").status, 400);
    QCOMPARE(
        rig.call("POST", "/api/v1/routes", R"({"routes": [{"output": 5, "input": 1}]})").status,
        400);

    // Each bound of the document is the model's: 4 ports a side, 3 presets.
    const QByteArray document = rig.call("GET", "/api/v1/openapi.json").body;
    QSet<int> maxima;
    const QRegularExpression maximum(QStringLiteral("\"maximum\": *([0-9]+)"));
    for (auto it = maximum.globalMatch(QString::fromUtf8(document)); it.hasNext();)
        maxima.insert(it.next().captured(1).toInt());
    QCOMPARE(maxima, QSet<int>({4, 3}));
    QVERIFY(document.contains("Output number, 1 to 4;") && !document.contains("1 to 8"));
    const QJsonObject stateSchema = QJsonDocument::fromJson(document)
                                        .object()["components"]
                                        .toObject()["schemas"]
                                        .toObject()["State"]
                                        .toObject()["properties"]
                                        .toObject();
    // The outputs are all of them but for a caller kept to rooms.
    QCOMPARE(stateSchema["inputs"].toObject()["minItems"].toInt(), 4);
    QCOMPARE(stateSchema["outputs"].toObject()["minItems"].toInt(), 0);
    for (const char* side : {"inputs", "outputs"})
        QCOMPARE(stateSchema[side].toObject()["maxItems"].toInt(), 4);
}

// Rooms made by an administrator; a token kept to one routes its outputs,
// hears of them alone, and is refused every other, with nothing sent.
void TestWebApi::rooms() {
    QTemporaryDir dir;
    QByteArray token;
    {
        server::Accounts a(dir.path());
        QString why;
        QCOMPARE(a.addToken("hall", server::Role::Admin, &token, {"Hall A"}),
                 server::Accounts::Edit::Done);
        QVERIFY(a.addUser("admin", server::Role::Admin, "pw-admin") ==
                    server::Accounts::Edit::Done &&
                a.save(&why));
    }
    Rig rig(dir.path());
    QVERIFY(rig.ok);
    rig.web->setScenes(&rig.app->scenes());
    QVERIFY(rig.signIn("admin"));
    QCOMPARE(
        rig.call("PUT", "/api/v1/rooms/Hall%20A", R"({"outputs": [2, 1, 2]})").json,
        QJsonDocument::fromJson(R"({"name": "Hall A", "outputs": [1, 2], "scenes": []})").object());
    QCOMPARE(rig.call("PUT", "/api/v1/rooms/Foyer", R"({"outputs": [5]})").status, 200);
    for (const char* bad : {R"({"outputs": [9]})", R"({"outputs": []})", R"({"outputs": "1"})"})
        QCOMPARE(rig.call("PUT", "/api/v1/rooms/Foyer", bad).json["code"], "bad_room");
    QCOMPARE(rig.call("PUT", "/api/v1/rooms/A%2CB", R"({"outputs": [1]})").status, 400);
    QCOMPARE(
        rig.call("PUT", "/api/v1/scenes/Talk", R"({"routes": [{"output": 1, "input": 4}]})").status,
        200);
    QCOMPARE(rig.call("GET", "/api/v1/rooms").json["rooms"][1]["scenes"], QJsonArray{"Talk"});
    Events all(rig.web->listener().port(),
               QStringLiteral("http://127.0.0.1:%1").arg(rig.web->listener().port()), true,
               {{"Cookie", rig.cookie()}});

    rig.headers = {{"Authorization", "Bearer " + token}};
    Events hall(rig.web->listener().port(), {}, true, rig.headers);
    QVERIFY(QTest::qWaitFor([&] { return !hall.got.isEmpty(); }));
    QCOMPARE(hall.got[0]["outputs"].toArray().size(), 2);
    const Reply rooms = rig.call("GET", "/api/v1/rooms");
    QCOMPARE(rooms.json["rooms"].toArray().size(), 1);
    QCOMPARE(rooms.json["rooms"][0]["name"], "Hall A");
    QCOMPARE(rig.call("GET", "/api/v1/scenes").json["scenes"][0]["name"], "Talk");
    const qsizetype before = rig.made->written.size();
    for (const auto& [method, path, body] :
         {std::tuple{"PUT", "/api/v1/outputs/5/input", R"({"input": 3})"},
          {"POST", "/api/v1/routes",
           R"({"routes": [{"output": 1, "input": 3}, {"output": 5, "input": 3}]})"},
          {"POST", "/api/v1/presets/1/recall", "{}"},
          {"PUT", "/api/v1/outputs/5/label", R"({"label": "Not mine"})"},
          {"PUT", "/api/v1/inputs/1/label", R"({"label": "Not mine"})"},
          {"PUT", "/api/v1/rooms/Hall%20A", R"({"outputs": [1, 2, 5]})"},
          {"GET", "/api/v1/audit", ""}})
        QVERIFY2(rig.call(method, path, body).status == 403, path);
    QCOMPARE(rig.made->written.size(), before);
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/2/input", R"({"input": 6})").status, 200);
    QVERIFY(rig.sent("cir 15\r\n"));
    QCOMPARE(rig.call("POST", "/api/v1/scenes/Talk/recall").status, 200);

    // Output 5's change reaches the unlimited page, not the room's.
    rig.headers.clear();
    QCOMPARE(rig.call("PUT", "/api/v1/outputs/5/input", R"({"input": 7})").status, 200);
    QVERIFY(all.has(message("output", {{"output", 5}, {"input", 7}})));
    QVERIFY(hall.has(message("output", {{"output", 2}, {"input", 6}})));
    for (const QJsonObject& m : std::as_const(hall.got))
        QVERIFY(m["output"] != 5 && m["number"] != 5);
    // The room grows: the stream is told its new state at once.
    QCOMPARE(rig.call("PUT", "/api/v1/rooms/Hall%20A", R"({"outputs": [1, 2, 5]})").status, 200);
    QVERIFY(QTest::qWaitFor([&] {
        return hall.got.last()["type"] == "scenes" &&
               hall.got[hall.got.size() - 3]["outputs"].toArray().size() == 3;
    }));
    QCOMPARE(rig.call("DELETE", "/api/v1/rooms/Foyer", {}).status, 204);
    QCOMPARE(rig.call("DELETE", "/api/v1/rooms/Foyer", {}).status, 404);
    const QJsonArray trail = rig.call("GET", "/api/v1/audit").json["entries"].toArray();
    QVERIFY(std::any_of(trail.begin(), trail.end(), [](const QJsonValue& e) {
        return e["what"] == "save room \"Hall A\" (outputs [1,2,5])";
    }));

    // Kept in the state folder; the accounts file says it holds rooms.
    server::RoomStore kept(dir.path(), protocol::Model::standard());
    QString why;
    QVERIFY(kept.load(&why));
    QCOMPARE(kept.outputsOf({"hall a", "Foyer"}), QList<int>({1, 2, 5}));
    QFile accounts(dir.filePath("accounts.json"));
    QVERIFY(accounts.open(QIODevice::ReadOnly));
    QCOMPARE(QJsonDocument::fromJson(accounts.readAll())["version"], 2);
}

#include "test_web_api.moc"
