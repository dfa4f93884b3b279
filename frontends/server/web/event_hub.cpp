#include "frontends/server/web/event_hub.h"

#include "frontends/server/job_runner.h"
#include "frontends/server/web/platform/event_stream.h"
#include "frontends/server/web/web_api.h"
#include "state/scenes/scene_service.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace web {

namespace {

using server::RouterState;

QString text(const QJsonObject& message) {
    return QString::fromUtf8(QJsonDocument(message).toJson(QJsonDocument::Compact));
}

} // namespace

EventHub::EventHub(RouterState& state, const WebApi& api, QObject* parent)
    : QObject(parent), state_(state), api_(api) {
    connect(&state_, &RouterState::routingChanged, this, [this](const QList<int>& outputs) {
        for (const int o : outputs)
            sendAll({{QStringLiteral("type"), QStringLiteral("output")},
                     {QStringLiteral("output"), o},
                     {QStringLiteral("input"), api_.inputOf(o)}});
    });
    connect(&state_, &RouterState::labelsChanged, this,
            [this](RouterState::Side side, const QList<int>& ports) {
                for (const int p : ports)
                    sendAll({{QStringLiteral("type"), QStringLiteral("label")},
                             {QStringLiteral("side"), side == RouterState::Side::Inputs
                                                          ? QStringLiteral("input")
                                                          : QStringLiteral("output")},
                             {QStringLiteral("number"), p},
                             {QStringLiteral("label"), state_.label(side, p)}});
            });
    connect(&state_, &RouterState::presenceChanged, this, [this](bool present) {
        sendAll({{QStringLiteral("type"), QStringLiteral("present")},
                 {QStringLiteral("present"), present}});
    });
    // "locked" is as each client sees it: a lock of its own is none.
    connect(&state_, &RouterState::locksChanged, this, [this](const QList<int>& outputs) {
        for (const int o : outputs)
            for (EventStream* s : QList<EventStream*>(streams_))
                s->send(text(
                    {{QStringLiteral("type"), QStringLiteral("lock")},
                     {QStringLiteral("output"), o},
                     {QStringLiteral("locked"), api_.lockedFor(WebApi::clientOf(s->peer()), o)}}));
    });
}

void EventHub::add(EventStream* stream) {
    if (!stream->tag().canConvert<Caller>()) {
        stream->close(QStringLiteral("not signed in"));
        return;
    }
    streams_.append(stream);
    connect(stream, &EventStream::gone, this, [this, stream] { streams_.removeOne(stream); });
    QJsonObject first = api_.state(WebApi::clientOf(stream->peer()));
    first.insert(QStringLiteral("type"), QStringLiteral("state"));
    stream->send(text(first));
}

void EventHub::setScenes(server::SceneService* scenes) {
    connect(scenes, &server::SceneService::changed, this, [this] {
        QJsonObject m = api_.scenes();
        m.insert(QStringLiteral("type"), QStringLiteral("scenes"));
        sendAll(m);
    });
}

void EventHub::setJobs(server::JobRunner* jobs) {
    connect(jobs, &server::JobRunner::changed, this, [this](const QJsonObject& job) {
        QJsonObject m = job;
        m.insert(QStringLiteral("type"), QStringLiteral("job"));
        const QString t = text(m);
        for (EventStream* s : QList<EventStream*>(streams_))
            if (s->tag().value<Caller>().role >= server::Role::Admin)
                s->send(t);
    });
}

void EventHub::revoke(const CallerTest& gone) {
    for (EventStream* s : QList<EventStream*>(streams_))
        if (gone(s->tag().value<Caller>()))
            s->close(QStringLiteral("signed out, or its account removed"));
}

void EventHub::sendAll(const QJsonObject& message) {
    const QString t = text(message);
    // A copy: a client that does not read leaves the list while it is sent to.
    for (EventStream* s : QList<EventStream*>(streams_))
        s->send(t);
}

} // namespace web
