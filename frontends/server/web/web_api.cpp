#include "frontends/server/web/web_api.h"

#include "core/protocol/shape.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QPointer>
#include <QRegularExpression>
#include <cmath>

namespace web {

namespace {

using server::Outcome;
using server::RouterState;
using Side = RouterState::Side;

// A path number: decimal digits only, 1 to max; 0 when it is not one.
int pathNumber(const QString& text, int max) {
    static const QRegularExpression digits(QStringLiteral("^[0-9]{1,3}$"));
    const int n = digits.match(text).hasMatch() ? text.toInt() : 0;
    return n >= 1 && n <= max ? n : 0;
}

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

} // namespace

WebApi::WebApi(RouterState& state, const QString& name, QObject* parent)
    : QObject(parent), state_(state), name_(name) {}

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

QJsonObject WebApi::state(const QString& client) const {
    QJsonArray inputs, outputs, presets;
    for (int i = 1; i <= protocol::kInputs; ++i)
        inputs.append(QJsonObject{{QStringLiteral("number"), i},
                                  {QStringLiteral("label"), state_.label(Side::Inputs, i)}});
    for (int o = 1; o <= protocol::kOutputs; ++o)
        outputs.append(QJsonObject{{QStringLiteral("number"), o},
                                   {QStringLiteral("label"), state_.label(Side::Outputs, o)},
                                   {QStringLiteral("input"), inputOf(o)},
                                   {QStringLiteral("locked"), lockedFor(client, o)}});
    for (int p = 1; p <= protocol::kPresets; ++p)
        presets.append(p);
    return {{QStringLiteral("name"), name_},
            {QStringLiteral("present"), state_.present()},
            {QStringLiteral("inputs"), inputs},
            {QStringLiteral("outputs"), outputs},
            {QStringLiteral("presets"), presets}};
}

QJsonObject WebApi::outputs() const {
    QJsonArray list;
    for (int o = 1; o <= protocol::kOutputs; ++o)
        list.append(
            QJsonObject{{QStringLiteral("number"), o}, {QStringLiteral("input"), inputOf(o)}});
    return {{QStringLiteral("outputs"), list}};
}

Response WebApi::failure(Outcome outcome, const QList<int>& outputs, const QString& client) const {
    switch (outcome) {
    case Outcome::Locked: {
        int locked = 0;
        for (const int o : outputs)
            if (!locked && lockedFor(client, o))
                locked = o;
        return error(409, QStringLiteral("locked"),
                     locked ? QStringLiteral("Output %1 is locked by another client.").arg(locked)
                            : QStringLiteral("An output is locked by another client."));
    }
    case Outcome::Absent:
        return error(503, QStringLiteral("absent"), QStringLiteral("The switcher is not there."));
    case Outcome::Busy: {
        Response r = error(429, QStringLiteral("busy"),
                           QStringLiteral("Too many of this client's requests are waiting."));
        r.headers.emplaceBack("Retry-After", "1");
        return r;
    }
    case Outcome::Failed:
        return error(502, QStringLiteral("failed"),
                     QStringLiteral("The switcher refused it or reported something else."));
    case Outcome::TimedOut:
        return error(504, QStringLiteral("timed_out"),
                     QStringLiteral("The switcher did not report it in time."));
    case Outcome::Invalid:
    case Outcome::Done:
    case Outcome::Queued:
        break;
    }
    return error(400, QStringLiteral("invalid"), QStringLiteral("The switcher cannot take this."));
}

void WebApi::finish(Outcome outcome, const Answer& answer, const std::function<Response()>& success,
                    const QList<int>& outputs, const QString& client) {
    answer(outcome == Outcome::Done ? success() : failure(outcome, outputs, client));
}

void WebApi::handle(const Request& r, const Answer& answer) {
    const QStringList parts = r.path.mid(8).split(QLatin1Char('/')); // after "/api/v1/"
    const QString client = clientOf(r.peer);
    const QString& what = parts.value(0);
    const bool three = parts.size() == 3;

    auto notFound = [&] {
        answer(
            error(404, QStringLiteral("not_found"), QStringLiteral("There is no %1.").arg(r.path)));
    };
    // The method the path takes; false (and answered) for another.
    auto takes = [&](const char* method) {
        if (r.method == method)
            return true;
        Response out =
            error(405, QStringLiteral("method_not_allowed"),
                  QStringLiteral("%1 takes %2 only.").arg(r.path, QLatin1String(method)));
        out.headers.emplaceBack("Allow", method);
        answer(out);
        return false;
    };
    // The JSON object of a PUT or POST; nothing (and answered) when it is not
    // one. The media type is required so that a plain cross-site form, which
    // cannot send it, can change nothing.
    auto body = [&]() -> std::optional<QJsonObject> {
        const QByteArray type = r.header("content-type").split(';').first().trimmed().toLower();
        if (type != "application/json") {
            answer(error(415, QStringLiteral("unsupported_media_type"),
                         QStringLiteral("Send the body as Content-Type: application/json.")));
            return std::nullopt;
        }
        QJsonParseError parsed;
        const QJsonDocument doc = QJsonDocument::fromJson(r.body, &parsed);
        if (parsed.error != QJsonParseError::NoError || !doc.isObject()) {
            answer(error(400, QStringLiteral("bad_json"),
                         QStringLiteral("The body is not a JSON object (send {} for none).")));
            return std::nullopt;
        }
        return doc.object();
    };
    QPointer<WebApi> self(this);
    // Sends a routing request's answer now, or once the switcher has
    // reported what it asked for.
    auto request = [&](const std::function<Outcome(std::function<void(Outcome)>)>& ask,
                       std::function<Response()> success, QList<int> outputs) {
        auto done = [self, answer, success, outputs, client](Outcome outcome) {
            if (self)
                self->finish(outcome, answer, success, outputs, client);
        };
        const Outcome now = ask(done);
        if (now != Outcome::Queued)
            done(now);
    };

    if (parts.size() == 1 && what == QLatin1String("state")) {
        if (takes("GET"))
            answer(json(200, state(client)));
    } else if (parts.size() == 1 && what == QLatin1String("health")) {
        if (takes("GET"))
            answer(state_.present()
                       ? json(200, {{QStringLiteral("status"), QStringLiteral("ok")},
                                    {QStringLiteral("switcher"), true}})
                       : json(503, {{QStringLiteral("status"), QStringLiteral("degraded")},
                                    {QStringLiteral("switcher"), false}}));
    } else if (parts.size() == 1 && what == QLatin1String("openapi.json")) {
        if (takes("GET")) {
            QFile f(QStringLiteral(":/web/openapi.json"));
            f.open(QIODevice::ReadOnly);
            answer(Response{200, "application/json", f.readAll(), {}});
        }
    } else if (parts.size() == 1 && what == QLatin1String("routes")) {
        if (!takes("POST"))
            return;
        const std::optional<QJsonObject> b = body();
        if (!b)
            return;
        const QJsonArray list = b->value(QStringLiteral("routes")).toArray();
        QList<RouterState::Route> routes;
        QList<int> outputs;
        for (const QJsonValue& v : list) {
            const int o =
                bodyNumber(v.toObject().value(QStringLiteral("output")), protocol::kOutputs);
            const int i =
                bodyNumber(v.toObject().value(QStringLiteral("input")), protocol::kInputs);
            if (!o || !i)
                break;
            routes.append({o, i});
            outputs.append(o);
        }
        if (routes.isEmpty() || routes.size() != list.size() || list.size() > protocol::kOutputs) {
            answer(error(400, QStringLiteral("bad_routes"),
                         QStringLiteral("Send {\"routes\": [{\"output\": 1 to %1, \"input\": "
                                        "1 to %2}, ...]}, 1 to %1 routes.")
                             .arg(protocol::kOutputs)
                             .arg(protocol::kInputs)));
            return;
        }
        request([&](auto done) { return state_.requestRoutes(client, routes, done); },
                [self] { return json(200, self->outputs()); }, outputs);
    } else if (three && what == QLatin1String("outputs") && parts[2] == QLatin1String("input")) {
        const int o = pathNumber(parts[1], protocol::kOutputs);
        if (!o)
            return notFound();
        if (!takes("PUT"))
            return;
        const std::optional<QJsonObject> b = body();
        if (!b)
            return;
        const int i = bodyNumber(b->value(QStringLiteral("input")), protocol::kInputs);
        if (!i) {
            answer(error(400, QStringLiteral("bad_input"),
                         QStringLiteral("Send {\"input\": 1 to %1}.").arg(protocol::kInputs)));
            return;
        }
        request(
            [&](auto done) {
                return state_.requestRoutes(client, {{o, i}}, done);
            },
            [o, i] {
                return json(200, {{QStringLiteral("output"), o}, {QStringLiteral("input"), i}});
            },
            {o});
    } else if (three && what == QLatin1String("presets") &&
               (parts[2] == QLatin1String("recall") || parts[2] == QLatin1String("save"))) {
        const int p = pathNumber(parts[1], protocol::kPresets);
        if (!p)
            return notFound();
        if (!takes("POST") || !body())
            return;
        const QList<int> all = RouterState::allPorts(Side::Outputs);
        if (parts[2] == QLatin1String("recall"))
            request([&](auto done) { return state_.requestPresetRecall(client, p, done); },
                    [self] { return json(200, self->outputs()); }, all);
        else
            request([&](auto done) { return state_.requestPresetSave(client, p, done); },
                    [] {
                        return Response{204, {}, {}, {}};
                    },
                    all);
    } else if (three && (what == QLatin1String("inputs") || what == QLatin1String("outputs")) &&
               parts[2] == QLatin1String("label")) {
        const Side side = what == QLatin1String("inputs") ? Side::Inputs : Side::Outputs;
        const int n =
            pathNumber(parts[1], side == Side::Inputs ? protocol::kInputs : protocol::kOutputs);
        if (!n)
            return notFound();
        if (!takes("PUT"))
            return;
        const std::optional<QJsonObject> b = body();
        if (!b)
            return;
        const QJsonValue text = b->value(QStringLiteral("label"));
        const Outcome outcome =
            text.isString() ? state_.setLabels(side, {{n, text.toString()}}) : Outcome::Invalid;
        if (outcome == Outcome::Done)
            answer(json(200, {{QStringLiteral("side"), sideName(side)},
                              {QStringLiteral("number"), n},
                              {QStringLiteral("label"), state_.label(side, n)}}));
        else if (outcome == Outcome::Invalid)
            answer(error(400, QStringLiteral("bad_label"),
                         QStringLiteral("Send {\"label\": text}: at most 64 characters, no control "
                                        "characters; empty for the default.")));
        else
            answer(error(500, QStringLiteral("not_kept"),
                         QStringLiteral("The label could not be kept.")));
    } else {
        notFound();
    }
}

} // namespace web
