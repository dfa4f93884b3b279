#include "frontends/server/web/web_api.h"

#include "core/backup/backup_file.h"
#include "core/protocol/numbers.h"
#include "frontends/server/job_runner.h"
#include "state/room_store.h"
#include "state/scenes/scene_service.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>
#include <algorithm>
#include <cmath>
#include <limits>

namespace web {

namespace {

// The bounds of the OpenAPI document, which is written for the standard
// model, made the model's: a port or preset number's "maximum", told apart by
// where it stands (the property or schema that holds it, a path parameter's
// description). side: what the enclosing keys say it numbers.
enum class Numbered { Unknown, Inputs, Outputs, Presets };

Numbered numberedBy(const QString& key, Numbered outer) {
    if (key.startsWith(QLatin1String("input"), Qt::CaseInsensitive))
        return Numbered::Inputs;
    // A salvo's routes: one per output at most.
    if (key.startsWith(QLatin1String("output"), Qt::CaseInsensitive) ||
        key == QLatin1String("routes"))
        return Numbered::Outputs;
    if (key.startsWith(QLatin1String("preset"), Qt::CaseInsensitive))
        return Numbered::Presets;
    return outer;
}

QJsonValue withBounds(const QJsonValue& v, Numbered side, const protocol::Model& model) {
    if (v.isArray()) {
        QJsonArray a = v.toArray();
        for (auto&& item : a)
            item = withBounds(item, side, model);
        return a;
    }
    if (!v.isObject())
        return v;
    QJsonObject o = v.toObject();
    // A path parameter says in its description what it numbers.
    if (o.contains(QLatin1String("in")) && o.contains(QLatin1String("description")))
        side =
            numberedBy(o.value(QLatin1String("description")).toString().section(u' ', 0, 0), side);
    const int count = side == Numbered::Presets   ? model.presets
                      : side == Numbered::Inputs  ? model.inputs
                      : side == Numbered::Outputs ? model.outputs
                                                  : std::max(model.inputs, model.outputs);
    // ... and its bounds in words ("Output number, 1 to 8; ...").
    if (o.contains(QLatin1String("in")) && o.contains(QLatin1String("description"))) {
        static const QRegularExpression range(QStringLiteral("\\b1 to [0-9]+\\b"));
        o.insert(QLatin1String("description"),
                 o.value(QLatin1String("description"))
                     .toString()
                     .replace(range, QStringLiteral("1 to %1").arg(count)));
    }
    // A list of the whole side has as many items as the side has ports.
    const bool wholeSide = o.contains(QLatin1String("minItems")) &&
                           o.value(QLatin1String("minItems")) == o.value(QLatin1String("maxItems"));
    for (auto it = o.begin(); it != o.end(); ++it) {
        if ((it.key() == QLatin1String("maximum") &&
             o.value(QLatin1String("minimum")).toInt() == 1) ||
            it.key() == QLatin1String("maxItems") ||
            (it.key() == QLatin1String("minItems") && wholeSide))
            it.value() = count;
        else
            it.value() = withBounds(it.value(), numberedBy(it.key(), side), model);
    }
    return o;
}

using server::Outcome;
using server::RouterState;
using Side = RouterState::Side;

// A JSON whole number from 1 to max; 0 when it is not one.
int bodyNumber(const QJsonValue& v, int max) {
    if (!v.isDouble())
        return 0;
    const double d = v.toDouble();
    return d >= 1 && d <= max && d == std::floor(d) ? int(d) : 0;
}

QString sideName(Side side) {
    return side == Side::Inputs ? QStringLiteral("input") : QStringLiteral("output");
}

// A new scene's name must come back the same through a URL path: "." and
// ".." are taken out by every browser and proxy as path steps, and a "%"
// not starting an escape is read differently by different clients. Scenes
// already kept under such a name may still be used and removed.
bool roundTrips(const QString& name) {
    static const QRegularExpression loneEscape(QStringLiteral("%(?![0-9A-Fa-f]{2})"));
    return name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(loneEscape);
}

bool within(const std::optional<QList<int>>& reach, int output) {
    return !reach || reach->contains(output);
}

QJsonArray numbers(const QList<int>& list) {
    QJsonArray a;
    for (const int n : list)
        a.append(n);
    return a;
}

} // namespace

WebApi::WebApi(RouterState& state, const QString& name, WebAuth& auth, QObject* parent)
    : QObject(parent), state_(state), name_(name), auth_(auth) {}

QString WebApi::clientOf(const QHostAddress& peer) {
    return QStringLiteral("web ") + peer.toString();
}

Response WebApi::json(int status, const QJsonObject& body) {
    return Response{
        status, "application/json", QJsonDocument(body).toJson(QJsonDocument::Compact), {}};
}

Response WebApi::error(int status, const QString& code, const QString& sentence) {
    return json(status, {{QStringLiteral("error"), sentence}, {QStringLiteral("code"), code}});
}

QJsonValue WebApi::inputOf(int output) const {
    const int input = state_.input(output);
    return input >= 1 ? QJsonValue(input) : QJsonValue(QJsonValue::Null);
}

bool WebApi::lockedFor(const QString& client, int output) const {
    const QString owner = state_.lockOwner(output);
    return !owner.isEmpty() && owner != client;
}

std::optional<QList<int>> WebApi::reach(const Caller& caller) const {
    if (caller.kind == Caller::Kind::Local)
        return std::nullopt;
    // Read now, not when the caller signed in: a change of the account's
    // rooms, or of a room, holds from the next request and event on.
    const auto account = auth_.accounts().find(caller.who, caller.kind == Caller::Kind::Token);
    if (!account || account->rooms.isEmpty())
        return std::nullopt;
    return rooms_ ? rooms_->outputsOf(account->rooms) : QList<int>();
}

QJsonObject WebApi::lockObject(const QString& client, int output, QJsonObject into) const {
    const bool locked = lockedFor(client, output);
    into.insert(QStringLiteral("locked"), locked);
    if (locked)
        into.insert(QStringLiteral("holder"), state_.lockOwner(output));
    return into;
}

QJsonObject WebApi::state(const QString& client, const std::optional<QList<int>>& reach) const {
    QJsonArray inputs, outputs, presets;
    for (int i = 1; i <= state_.model().inputs; ++i)
        inputs.append(QJsonObject{{QStringLiteral("number"), i},
                                  {QStringLiteral("label"), state_.label(Side::Inputs, i)}});
    for (int o = 1; o <= state_.model().outputs; ++o)
        if (within(reach, o))
            outputs.append(lockObject(client, o,
                                      {{QStringLiteral("number"), o},
                                       {QStringLiteral("label"), state_.label(Side::Outputs, o)},
                                       {QStringLiteral("input"), inputOf(o)}}));
    for (int p = 1; p <= state_.model().presets; ++p)
        presets.append(p);
    return {{QStringLiteral("name"), name_},
            {QStringLiteral("present"), state_.present()},
            {QStringLiteral("inputs"), inputs},
            {QStringLiteral("outputs"), outputs},
            {QStringLiteral("presets"), presets}};
}

QJsonObject WebApi::outputs() const {
    QJsonArray list;
    for (int o = 1; o <= state_.model().outputs; ++o)
        list.append(
            QJsonObject{{QStringLiteral("number"), o}, {QStringLiteral("input"), inputOf(o)}});
    return {{QStringLiteral("outputs"), list}};
}

Response WebApi::failure(Outcome outcome, const QList<int>& outputs, const QString& client) const {
    const QString sentence = server::outcomeSentence(outcome);
    switch (outcome) {
    case Outcome::Locked:
        for (const int o : outputs)
            if (lockedFor(client, o))
                return error(409, QStringLiteral("locked"),
                             QStringLiteral("Output %1 is locked by another client.").arg(o));
        return error(409, QStringLiteral("locked"), sentence);
    case Outcome::Absent:
        return error(503, QStringLiteral("absent"), sentence);
    case Outcome::Busy: {
        Response r = error(429, QStringLiteral("busy"), sentence);
        r.headers.emplaceBack("Retry-After", "1");
        return r;
    }
    case Outcome::Failed:
        return error(502, QStringLiteral("failed"), sentence);
    case Outcome::TimedOut:
        return error(504, QStringLiteral("timed_out"), sentence);
    case Outcome::Forbidden:
        return error(403, QStringLiteral("forbidden"), sentence);
    case Outcome::Invalid:
    case Outcome::Done:
    case Outcome::Queued:
        break;
    }
    return error(400, QStringLiteral("invalid"), sentence);
}

void WebApi::finish(Outcome outcome, const Answer& answer, const std::function<Response()>& success,
                    const QList<int>& outputs, const QString& client) {
    answer(outcome == Outcome::Done ? success() : failure(outcome, outputs, client));
}

// One request on its way through the table.
struct WebApi::Call {
    const Request& r;
    const Answer& answer;
    QList<int> numbers; // the path's numbers, in order
    QString name;       // the path's name of a scene, decoded
    Caller caller;
    QString client; // the identity the state knows the client by
    QPointer<WebApi> self;

    void send(const Response& response) const { answer(response); }
    // The JSON object of a PUT or POST; nothing (and answered) when it is
    // not one. The media type is required so that a plain cross-site form,
    // which cannot send it, can change nothing.
    std::optional<QJsonObject> body() const {
        const QByteArray type = r.header("content-type").split(';').first().trimmed().toLower();
        if (type != "application/json") {
            send(error(415, QStringLiteral("unsupported_media_type"),
                       QStringLiteral("Send the body as Content-Type: application/json.")));
            return std::nullopt;
        }
        QJsonParseError parsed;
        const QJsonDocument doc = QJsonDocument::fromJson(r.body, &parsed);
        if (parsed.error != QJsonParseError::NoError || !doc.isObject()) {
            send(error(400, QStringLiteral("bad_json"),
                       QStringLiteral("The body is not a JSON object (send {} for none).")));
            return std::nullopt;
        }
        return doc.object();
    }
};

// A path under /api/v1/, its method and who may use it. In the path, {o},
// {i} and {p} stand for an output, an input and a preset number; a number
// out of range is no path at all (404).
struct WebApi::Endpoint {
    const char* method;
    const char* path;
    Access access;
    void (WebApi::*run)(Call&);
    // Concerns every output, or the server as a whole: refused to a caller
    // kept to rooms.
    bool whole = false;
};

const WebApi::Endpoint WebApi::kEndpoints[] = {
    {"GET", "health", Access::Public, &WebApi::getHealth},
    {"GET", "openapi.json", Access::Public, &WebApi::getOpenApi},
    {"POST", "login", Access::Public, &WebApi::postLogin},
    {"POST", "logout", Access::Public, &WebApi::postLogout},
    {"GET", "me", Access::Viewer, &WebApi::getMe},
    {"GET", "state", Access::Viewer, &WebApi::getState},
    {"POST", "routes", Access::Operator, &WebApi::postRoutes},
    {"PUT", "outputs/{o}/input", Access::Operator, &WebApi::putInput},
    {"POST", "presets/{p}/recall", Access::Operator, &WebApi::postRecall},
    {"POST", "presets/{p}/save", Access::Admin, &WebApi::postSave, true},
    {"PUT", "inputs/{i}/label", Access::Admin, &WebApi::putLabel, true},
    {"PUT", "outputs/{o}/label", Access::Admin, &WebApi::putLabel},
    {"GET", "audit", Access::Admin, &WebApi::getAudit, true},
    {"GET", "scenes", Access::Viewer, &WebApi::getScenes},
    {"PUT", "scenes/{s}", Access::Admin, &WebApi::putScene, true},
    {"DELETE", "scenes/{s}", Access::Admin, &WebApi::deleteScene, true},
    {"POST", "scenes/{s}/recall", Access::Operator, &WebApi::postSceneRecall},
    {"POST", "scenes/{s}/capture", Access::Admin, &WebApi::postSceneCapture, true},
    {"GET", "rooms", Access::Viewer, &WebApi::getRooms},
    {"PUT", "rooms/{r}", Access::Admin, &WebApi::putRoom, true},
    {"DELETE", "rooms/{r}", Access::Admin, &WebApi::deleteRoom, true},
    {"POST", "jobs", Access::Admin, &WebApi::postJob, true},
    {"GET", "jobs/{j}", Access::Admin, &WebApi::getJob, true},
    {"DELETE", "jobs/{j}", Access::Admin, &WebApi::deleteJob, true},
};

QStringList WebApi::accessTable() {
    static const QRegularExpression placeholder(QStringLiteral("\\{[^}]*\\}"));
    QStringList lines{QStringLiteral("GET %1 viewer").arg(QLatin1String(kMetricsPath))};
    for (const Endpoint& e : kEndpoints)
        lines.append(
            QStringLiteral("%1 /api/v1/%2 %3")
                .arg(QLatin1String(e.method),
                     QString::fromLatin1(e.path).replace(placeholder, QStringLiteral("{}")),
                     e.access == Access::Public
                         ? QStringLiteral("public")
                         : server::roleName(e.access == Access::Admin ? server::Role::Admin
                                            : e.access == Access::Operator
                                                ? server::Role::Operator
                                                : server::Role::Viewer)));
    return lines;
}

QByteArray WebApi::ownOrigin(const Request& r) {
    // A reverse proxy on this machine that ends TLS says so; nobody else
    // is believed (a browser cannot set the field on a page's requests
    // without asking first, and that question is not answered).
    const bool secure =
        r.tls || (r.peer.isLoopback() &&
                  r.header("x-forwarded-proto").compare("https", Qt::CaseInsensitive) == 0);
    return (secure ? QByteArray("https://") : QByteArray("http://")) + r.header("host");
}

std::variant<Caller, Response> WebApi::admit(const Request& r, Access access) {
    auto who = auth_.identify(r);
    if (access == Access::Public) {
        if (auto* caller = std::get_if<Caller>(&who))
            return *caller;
        return Caller{QString(), server::Role::Viewer, Caller::Kind::Local, {}};
    }
    const auto* caller = std::get_if<Caller>(&who);
    if (!caller)
        return who;
    const server::Role needed = access == Access::Admin      ? server::Role::Admin
                                : access == Access::Operator ? server::Role::Operator
                                                             : server::Role::Viewer;
    if (caller->role < needed)
        return error(
            403, QStringLiteral("forbidden"),
            QStringLiteral("This needs the role %1; %2 has the role %3.")
                .arg(server::roleName(needed), caller->who, server::roleName(caller->role)));
    // A session's cookie goes with every request the browser makes to this
    // server, whichever page asks; a change asked by another site's page is
    // refused even where SameSite is not kept.
    const QByteArray origin = r.header("origin");
    if (caller->kind == Caller::Kind::User && r.method != "GET" && !origin.isEmpty() &&
        origin != ownOrigin(r))
        return error(403, QStringLiteral("forbidden_origin"),
                     QStringLiteral("Changes are taken from this server's own page only."));
    return who;
}

void WebApi::handle(const Request& r, const Answer& answer) {
    // Split as sent, then decoded: a scene's name may hold a "/".
    QStringList parts = (r.rawPath.isEmpty() ? r.path : r.rawPath).mid(8).split(QLatin1Char('/'));
    for (QString& part : parts)
        part = QUrl::fromPercentEncoding(part.toUtf8());
    // The endpoints of this path, its numbers and name.
    QList<const Endpoint*> matches;
    QList<int> numbers;
    QString name;
    for (const Endpoint& e : kEndpoints) {
        const QStringList pattern = QString::fromLatin1(e.path).split(QLatin1Char('/'));
        if (pattern.size() != parts.size())
            continue;
        QList<int> found;
        bool match = true;
        for (qsizetype k = 0; match && k < pattern.size(); ++k) {
            const QString& want = pattern[k];
            const int max = want == QLatin1String("{o}")   ? state_.model().outputs
                            : want == QLatin1String("{i}") ? state_.model().inputs
                            : want == QLatin1String("{p}") ? state_.model().presets
                                                           : 0;
            if (want == QLatin1String("{s}"))
                match = !parts[k].isEmpty() && scenes_;
            else if (want == QLatin1String("{r}"))
                match = !parts[k].isEmpty() && rooms_;
            else if (want == QLatin1String("{j}")) {
                const int n = protocol::portNumber(parts[k], std::numeric_limits<int>::max());
                match = n > 0 && jobs_;
                found.append(n);
            } else if (max == 0)
                match = want == parts[k];
            else if (const int n = protocol::portNumber(parts[k], max))
                found.append(n);
            else
                match = false;
        }
        if (match) {
            matches.append(&e);
            numbers = found;
            if (pattern.size() > 1 &&
                (pattern[1] == QLatin1String("{s}") || pattern[1] == QLatin1String("{r}")))
                name = parts[1];
        }
    }
    if (matches.isEmpty()) {
        answer(
            error(404, QStringLiteral("not_found"), QStringLiteral("There is no %1.").arg(r.path)));
        return;
    }
    const Endpoint* endpoint = nullptr;
    QByteArrayList methods;
    for (const Endpoint* e : std::as_const(matches)) {
        methods.append(e->method);
        if (r.method == e->method)
            endpoint = e;
    }
    if (!endpoint) {
        Response out = error(405, QStringLiteral("method_not_allowed"),
                             QStringLiteral("%1 takes %2 only.")
                                 .arg(r.path, QString::fromLatin1(methods.join(", "))));
        out.headers.emplaceBack("Allow", methods.join(", "));
        answer(out);
        return;
    }
    const auto who = admit(r, endpoint->access);
    if (const auto* refusal = std::get_if<Response>(&who)) {
        answer(*refusal);
        return;
    }
    const auto reach = this->reach(std::get<Caller>(who));
    if (reach && (endpoint->whole ||
                  (!numbers.isEmpty() && QByteArray(endpoint->path).startsWith("outputs/") &&
                   !reach->contains(numbers[0])))) {
        answer(error(
            403, QStringLiteral("forbidden"),
            QStringLiteral("%1 is kept to its rooms' outputs.").arg(std::get<Caller>(who).who)));
        return;
    }
    if (!name.isEmpty() && endpoint->run != &WebApi::putRoom &&
        (r.method == "PUT" || r.path.endsWith(QLatin1String("/capture"))) && !roundTrips(name) &&
        !scenes_->store().find(name)) {
        answer(error(400, QStringLiteral("bad_scene"),
                     QStringLiteral("A scene's name cannot be \".\" or \"..\", nor hold a % that "
                                    "does not start an escape such as %25.")));
        return;
    }
    Call call{
        r, answer, numbers, name, std::get<Caller>(who), clientOf(r.peer), QPointer<WebApi>(this)};
    (this->*endpoint->run)(call);
}

void WebApi::metrics(const Request& r, const Answer& answer,
                     const std::function<QByteArray()>& page) {
    if (r.method != "GET") {
        Response out = error(405, QStringLiteral("method_not_allowed"),
                             QStringLiteral("%1 takes GET only.").arg(r.path));
        out.headers.emplaceBack("Allow", "GET");
        return answer(out);
    }
    const auto who = admit(r, Access::Viewer);
    if (const auto* refusal = std::get_if<Response>(&who))
        return answer(*refusal);
    answer(Response{200, "text/plain; version=0.0.4; charset=utf-8", page(), {}});
}

server::RouterState::Asker WebApi::asker(const Call& c) const {
    RouterState::Asker a{
        c.client, c.caller.who, c.r.peer.toString(), c.caller.role, server::Frontend::Web, false,
        {}};
    if (const auto outputs = reach(c.caller)) {
        a.limited = true;
        a.outputs = *outputs;
    }
    return a;
}

void WebApi::request(Call& c, const RouterState::Change& change,
                     std::function<Response()> success) {
    QList<int> outputs;
    for (const RouterState::Route& r : change.routes)
        outputs.append(r.output);
    if (change.kind != RouterState::Change::Kind::Routes)
        outputs = state_.allPorts(Side::Outputs);
    auto done = [self = c.self, answer = c.answer, success, outputs,
                 client = c.client](Outcome outcome) {
        if (self)
            self->finish(outcome, answer, success, outputs, client);
    };
    const Outcome now = state_.ask(asker(c), change, done);
    if (now != Outcome::Queued)
        done(now);
}

void WebApi::getState(Call& c) {
    c.send(json(200, state(c.client, reach(c.caller))));
}

void WebApi::getHealth(Call& c) {
    c.send(state_.present() ? json(200, {{QStringLiteral("status"), QStringLiteral("ok")},
                                         {QStringLiteral("switcher"), true}})
                            : json(503, {{QStringLiteral("status"), QStringLiteral("degraded")},
                                         {QStringLiteral("switcher"), false}}));
}

void WebApi::getOpenApi(Call& c) {
    QFile f(QStringLiteral(":/web/openapi.json"));
    f.open(QIODevice::ReadOnly);
    QByteArray document = f.readAll();
    // The standard model's document goes out as written, byte for byte; a
    // rewritten one would come out with its keys reordered.
    if (state_.model().name != protocol::Model::standard().name)
        document = QJsonDocument(withBounds(QJsonDocument::fromJson(document).object(),
                                            Numbered::Unknown, state_.model())
                                     .toObject())
                       .toJson();
    c.send(Response{200, "application/json", document, {}});
}

void WebApi::postRoutes(Call& c) {
    const std::optional<QJsonObject> b = c.body();
    if (!b)
        return;
    const QJsonArray list = b->value(QStringLiteral("routes")).toArray();
    QList<RouterState::Route> routes;
    for (const QJsonValue& v : list) {
        const int o =
            bodyNumber(v.toObject().value(QStringLiteral("output")), state_.model().outputs);
        const int i =
            bodyNumber(v.toObject().value(QStringLiteral("input")), state_.model().inputs);
        if (!o || !i)
            break;
        routes.append({o, i});
    }
    if (routes.isEmpty() || routes.size() != list.size() || list.size() > state_.model().outputs) {
        c.send(error(400, QStringLiteral("bad_routes"),
                     QStringLiteral("Send {\"routes\": [{\"output\": 1 to %1, \"input\": "
                                    "1 to %2}, ...]}, 1 to %1 routes.")
                         .arg(state_.model().outputs)
                         .arg(state_.model().inputs)));
        return;
    }
    request(c, RouterState::Change::toRoutes(routes),
            [self = c.self] { return json(200, self->outputs()); });
}

void WebApi::putInput(Call& c) {
    const int o = c.numbers[0];
    const std::optional<QJsonObject> b = c.body();
    if (!b)
        return;
    const int i = bodyNumber(b->value(QStringLiteral("input")), state_.model().inputs);
    if (!i) {
        c.send(error(400, QStringLiteral("bad_input"),
                     QStringLiteral("Send {\"input\": 1 to %1}.").arg(state_.model().inputs)));
        return;
    }
    request(c, RouterState::Change::toRoutes({{o, i}}), [o, i] {
        return json(200, {{QStringLiteral("output"), o}, {QStringLiteral("input"), i}});
    });
}

void WebApi::postRecall(Call& c) {
    const int p = c.numbers[0];
    if (!c.body())
        return;
    request(c, RouterState::Change::presetRecall(p),
            [self = c.self] { return json(200, self->outputs()); });
}

void WebApi::postSave(Call& c) {
    const int p = c.numbers[0];
    if (!c.body())
        return;
    request(c, RouterState::Change::presetSave(p), [] { return Response{204, {}, {}, {}}; });
}

void WebApi::putLabel(Call& c) {
    const Side side =
        c.r.path.startsWith(QLatin1String("/api/v1/inputs/")) ? Side::Inputs : Side::Outputs;
    const int n = c.numbers[0];
    const std::optional<QJsonObject> b = c.body();
    if (!b)
        return;
    const QJsonValue text = b->value(QStringLiteral("label"));
    const Outcome outcome =
        text.isString()
            ? state_.ask(asker(c), RouterState::Change::toLabels(side, {{n, text.toString()}}))
            : Outcome::Invalid;
    if (outcome == Outcome::Done)
        c.send(json(200, {{QStringLiteral("side"), sideName(side)},
                          {QStringLiteral("number"), n},
                          {QStringLiteral("label"), state_.label(side, n)}}));
    else if (outcome == Outcome::Invalid)
        c.send(error(400, QStringLiteral("bad_label"),
                     QStringLiteral("Send {\"label\": text}: at most 64 characters, no control "
                                    "characters; empty for the default.")));
    else
        c.send(
            error(500, QStringLiteral("not_kept"), QStringLiteral("The label could not be kept.")));
}

void WebApi::postLogin(Call& c) {
    if (const std::optional<QJsonObject> b = c.body())
        auth_.signIn(c.r, *b, c.answer);
}

void WebApi::postLogout(Call& c) {
    c.send(auth_.signOut(c.r));
}

void WebApi::getMe(Call& c) {
    c.send(json(200, {{QStringLiteral("user"), c.caller.kind == Caller::Kind::Local
                                                   ? QJsonValue(QJsonValue::Null)
                                                   : QJsonValue(c.caller.who)},
                      {QStringLiteral("role"), server::roleName(c.caller.role)}}));
}

void WebApi::getAudit(Call& c) {
    const auto& all = state_.audit().entries();
    const QUrlQuery query(c.r.query);
    qsizetype limit = qsizetype(all.size());
    if (query.hasQueryItem(QStringLiteral("limit"))) {
        limit = protocol::portNumber(query.queryItemValue(QStringLiteral("limit")),
                                     server::AuditTrail::kKept);
        if (!limit)
            return c.send(error(
                400, QStringLiteral("bad_limit"),
                QStringLiteral("limit is a number from 1 to %1.").arg(server::AuditTrail::kKept)));
    }
    QJsonArray entries;
    for (auto it = all.end() - std::min(limit, qsizetype(all.size())); it != all.end(); ++it) {
        const server::AuditTrail::Entry& e = *it;
        entries.append(QJsonObject{{QStringLiteral("time"), e.time.toString(Qt::ISODateWithMs)},
                                   {QStringLiteral("who"), e.who},
                                   {QStringLiteral("from"), e.from},
                                   {QStringLiteral("what"), e.what}});
    }
    c.send(json(200, {{QStringLiteral("entries"), entries}}));
}

QJsonObject WebApi::scenes(const std::optional<QList<int>>& reach) const {
    QJsonArray list;
    if (scenes_)
        for (const server::Scene& scene : scenes_->store().scenes()) {
            if (!std::all_of(scene.routes.begin(), scene.routes.end(),
                             [&](const RouterState::Route& r) { return within(reach, r.output); }))
                continue;
            QJsonArray routes;
            for (const RouterState::Route& r : scene.routes)
                routes.append(QJsonObject{{QStringLiteral("output"), r.output},
                                          {QStringLiteral("input"), r.input}});
            list.append(QJsonObject{
                {QStringLiteral("name"), scene.name},
                {QStringLiteral("routes"), routes},
                {QStringLiteral("schedule"), QJsonArray::fromStringList(scene.schedule)},
                {QStringLiteral("active"), scenes_->isActive(scene)}});
        }
    return {{QStringLiteral("scenes"), list}};
}

Response WebApi::sceneRefusal(int result, const QString& reason) {
    using Result = server::SceneStore::Result;
    switch (Result(result)) {
    case Result::Unknown:
        return error(404, QStringLiteral("not_found"), reason);
    case Result::Clash:
        return error(409, QStringLiteral("name_clash"), reason);
    case Result::Full:
        return error(409, QStringLiteral("full"), reason);
    case Result::NotKept:
        return error(500, QStringLiteral("not_kept"), reason);
    case Result::Invalid:
    case Result::Done:
        break;
    }
    return error(400, QStringLiteral("bad_scene"), reason);
}

void WebApi::getScenes(Call& c) {
    c.send(json(200, scenes(reach(c.caller))));
}

void WebApi::putScene(Call& c) {
    const std::optional<QJsonObject> b = c.body();
    if (!b)
        return;
    const QJsonValue routesValue = b->value(QStringLiteral("routes"));
    const QJsonValue scheduleValue = b->value(QStringLiteral("schedule"));
    QList<RouterState::Route> routes;
    bool good = routesValue.isArray() && (scheduleValue.isUndefined() || scheduleValue.isArray());
    for (const QJsonValue& v : routesValue.toArray()) {
        const int o =
            bodyNumber(v.toObject().value(QStringLiteral("output")), state_.model().outputs);
        const int i =
            bodyNumber(v.toObject().value(QStringLiteral("input")), state_.model().inputs);
        good = good && o && i;
        routes.append({o, i});
    }
    QStringList schedule;
    for (const QJsonValue& v : scheduleValue.toArray()) {
        good = good && v.isString();
        schedule.append(v.toString());
    }
    if (!good) {
        c.send(error(400, QStringLiteral("bad_scene"),
                     QStringLiteral("Send {\"routes\": [{\"output\": 1 to %1, \"input\": 1 to "
                                    "%2}, ...], \"schedule\": [\"Mon-Fri 07:30\", ...]}.")
                         .arg(state_.model().outputs)
                         .arg(state_.model().inputs)));
        return;
    }
    QString reason;
    const auto result = scenes_->store().put(c.name, routes, schedule, &reason);
    state_.audit().record(
        c.caller.who, c.r.peer.toString(),
        QStringLiteral("save scene \"%1\"").arg(server::AuditTrail::clipped(c.name)),
        result == server::SceneStore::Result::Done ? Outcome::Done : Outcome::Invalid);
    if (result != server::SceneStore::Result::Done)
        return c.send(sceneRefusal(int(result), reason));
    c.send(json(200, sceneObject(c.name)));
}

void WebApi::deleteScene(Call& c) {
    QString reason;
    const auto result = scenes_->store().remove(c.name, &reason);
    if (result != server::SceneStore::Result::Done)
        return c.send(sceneRefusal(int(result), reason));
    state_.audit().record(
        c.caller.who, c.r.peer.toString(),
        QStringLiteral("remove scene \"%1\"").arg(server::AuditTrail::clipped(c.name)));
    c.send(Response{204, {}, {}, {}});
}

void WebApi::postSceneRecall(Call& c) {
    if (!c.body())
        return;
    if (!scenes_->store().find(c.name))
        return c.send(error(404, QStringLiteral("not_found"),
                            QStringLiteral("There is no scene \"%1\".").arg(c.name)));
    auto done = [self = c.self, answer = c.answer, client = c.client](Outcome outcome) {
        if (self)
            self->finish(
                outcome, answer, [self] { return json(200, self->outputs()); },
                self->state_.allPorts(Side::Outputs), client);
    };
    const Outcome now = scenes_->recall(c.name, asker(c), done);
    if (now != Outcome::Queued)
        done(now);
}

void WebApi::postSceneCapture(Call& c) {
    const std::optional<QJsonObject> b = c.body();
    if (!b)
        return;
    QList<int> outputs;
    const QJsonValue list = b->value(QStringLiteral("outputs"));
    bool good = list.isUndefined() || (list.isArray() && !list.toArray().isEmpty());
    for (const QJsonValue& v : list.toArray()) {
        const int o = bodyNumber(v, state_.model().outputs);
        good = good && o;
        outputs.append(o);
    }
    if (!good)
        return c.send(error(400, QStringLiteral("bad_outputs"),
                            QStringLiteral("Send {} for every output, or {\"outputs\": [1 to "
                                           "%1, ...]}.")
                                .arg(state_.model().outputs)));
    QString reason;
    const auto result = scenes_->capture(c.name, outputs, &reason);
    state_.audit().record(
        c.caller.who, c.r.peer.toString(),
        QStringLiteral("capture scene \"%1\"").arg(server::AuditTrail::clipped(c.name)),
        result == server::SceneStore::Result::Done ? Outcome::Done : Outcome::Invalid);
    if (result != server::SceneStore::Result::Done)
        return c.send(sceneRefusal(int(result), reason));
    c.send(json(200, sceneObject(c.name)));
}

void WebApi::postJob(Call& c) {
    const std::optional<QJsonObject> b = c.body();
    if (!b)
        return;
    const QString kind = b->value(QStringLiteral("kind")).toString();
    const QJsonValue dryRun = b->value(QStringLiteral("dry_run"));
    if ((kind != QLatin1String("backup") && kind != QLatin1String("restore")) ||
        !(dryRun.isUndefined() || dryRun.isBool()))
        return c.send(error(400, QStringLiteral("bad_job"),
                            QStringLiteral("Send {\"kind\": \"backup\"} or {\"kind\": \"restore\", "
                                           "\"backup\": {...}, \"dry_run\": true or false}.")));
    std::optional<backup::Backup> restore;
    if (kind == QLatin1String("restore")) {
        const QByteArray document =
            QJsonDocument(b->value(QStringLiteral("backup")).toObject()).toJson();
        const backup::Parsed parsed = backup::parse(document, state_.model());
        if (!parsed.backup)
            return c.send(error(
                400, QStringLiteral("bad_backup"),
                QStringLiteral("The backup was refused, nothing written: %1.").arg(parsed.error)));
        restore = parsed.backup;
    }
    QJsonObject job;
    switch (jobs_->start(asker(c), restore, dryRun.toBool(), &job)) {
    case server::JobRunner::Started::Busy:
        return c.send(error(409, QStringLiteral("busy"),
                            QStringLiteral("Another backup or restore is running.")));
    case server::JobRunner::Started::Absent:
        return c.send(failure(Outcome::Absent, {}, c.client));
    case server::JobRunner::Started::Started:
        break;
    }
    c.send(json(202, job));
}

void WebApi::getJob(Call& c) {
    const QJsonObject job = jobs_->find(c.numbers.value(0));
    if (job.isEmpty())
        return c.send(
            error(404, QStringLiteral("not_found"), QStringLiteral("There is no such job.")));
    c.send(json(200, job));
}

void WebApi::deleteJob(Call& c) {
    const int id = c.numbers.value(0);
    if (jobs_->find(id).isEmpty())
        return c.send(
            error(404, QStringLiteral("not_found"), QStringLiteral("There is no such job.")));
    if (!jobs_->cancel(id))
        return c.send(
            error(409, QStringLiteral("not_running"), QStringLiteral("The job is not running.")));
    c.send(json(202, jobs_->find(id)));
}

QJsonObject WebApi::sceneObject(const QString& name) const {
    const std::optional<server::Scene> scene = scenes_->store().find(name);
    for (const QJsonValue& v : scenes()[QStringLiteral("scenes")].toArray())
        if (scene && v[QStringLiteral("name")] == scene->name)
            return v.toObject();
    return {};
}

} // namespace web

namespace web {

QJsonObject WebApi::rooms(const Caller& caller) const {
    QJsonArray list;
    if (!rooms_)
        return {{QStringLiteral("rooms"), list}};
    const auto account =
        caller.kind == Caller::Kind::Local
            ? std::nullopt
            : auth_.accounts().find(caller.who, caller.kind == Caller::Kind::Token);
    const QStringList own = account ? account->rooms : QStringList();
    for (const server::Room& room : rooms_->rooms()) {
        if (!own.isEmpty() && !own.contains(room.name, Qt::CaseInsensitive))
            continue;
        // A room's scenes: those that route its outputs and no other.
        QJsonArray scenes;
        for (const QJsonValue& scene :
             this->scenes(room.outputs)[QStringLiteral("scenes")].toArray())
            scenes.append(scene[QStringLiteral("name")]);
        list.append(QJsonObject{{QStringLiteral("name"), room.name},
                                {QStringLiteral("outputs"), numbers(room.outputs)},
                                {QStringLiteral("scenes"), scenes}});
    }
    return {{QStringLiteral("rooms"), list}};
}

void WebApi::getRooms(Call& c) {
    c.send(json(200, rooms(c.caller)));
}

void WebApi::putRoom(Call& c) {
    const std::optional<QJsonObject> b = c.body();
    if (!b)
        return;
    QList<int> outputs;
    const QJsonValue list = b->value(QStringLiteral("outputs"));
    bool good = list.isArray();
    for (const QJsonValue& v : list.toArray()) {
        const int o = bodyNumber(v, state_.model().outputs);
        good = good && o;
        outputs.append(o);
    }
    QString reason =
        QStringLiteral("Send {\"outputs\": [1 to %1, ...]}.").arg(state_.model().outputs);
    const auto result =
        good ? rooms_->put(c.name, outputs, &reason) : server::RoomStore::Result::Invalid;
    state_.audit().record(
        c.caller.who, c.r.peer.toString(),
        QStringLiteral("save room \"%1\" (outputs %2)")
            .arg(server::AuditTrail::clipped(c.name),
                 server::AuditTrail::clipped(QString::fromUtf8(
                     QJsonDocument(numbers(outputs)).toJson(QJsonDocument::Compact)))),
        result == server::RoomStore::Result::Done ? Outcome::Done : Outcome::Invalid);
    if (result == server::RoomStore::Result::Done) {
        for (const QJsonValue& room : rooms(c.caller)[QStringLiteral("rooms")].toArray())
            if (room[QStringLiteral("name")].toString().compare(c.name, Qt::CaseInsensitive) == 0)
                return c.send(json(200, room.toObject()));
    }
    c.send(result == server::RoomStore::Result::Full ? error(409, QStringLiteral("full"), reason)
           : result == server::RoomStore::Result::NotKept
               ? error(500, QStringLiteral("not_kept"), reason)
               : error(400, QStringLiteral("bad_room"), reason));
}

void WebApi::deleteRoom(Call& c) {
    QString reason;
    const auto result = rooms_->remove(c.name, &reason);
    if (result == server::RoomStore::Result::Unknown)
        return c.send(error(404, QStringLiteral("not_found"), reason));
    if (result != server::RoomStore::Result::Done)
        return c.send(error(500, QStringLiteral("not_kept"), reason));
    state_.audit().record(
        c.caller.who, c.r.peer.toString(),
        QStringLiteral("remove room \"%1\"").arg(server::AuditTrail::clipped(c.name)));
    c.send(Response{204, {}, {}, {}});
}

} // namespace web
