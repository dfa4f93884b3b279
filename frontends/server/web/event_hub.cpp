#include "frontends/server/web/event_hub.h"

#include "frontends/server/job_runner.h"
#include "frontends/server/web/platform/event_stream.h"
#include "frontends/server/web/web_api.h"
#include "state/room_store.h"
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
                     {QStringLiteral("input"), api_.inputOf(o)}},
                    o);
    });
    connect(&state_, &RouterState::labelsChanged, this,
            [this](RouterState::Side side, const QList<int>& ports) {
                for (const int p : ports)
                    sendAll({{QStringLiteral("type"), QStringLiteral("label")},
                             {QStringLiteral("side"), side == RouterState::Side::Inputs
                                                          ? QStringLiteral("input")
                                                          : QStringLiteral("output")},
                             {QStringLiteral("number"), p},
                             {QStringLiteral("label"), state_.label(side, p)}},
                            side == RouterState::Side::Outputs ? p : 0);
            });
    connect(&state_, &RouterState::presenceChanged, this, [this](bool present) {
        sendAll({{QStringLiteral("type"), QStringLiteral("present")},
                 {QStringLiteral("present"), present}});
    });
    // "locked" is as each client sees it: a lock of its own is none.
    connect(&state_, &RouterState::locksChanged, this, [this](const QList<int>& outputs) {
        for (const int o : outputs)
            for (EventStream* s : QList<EventStream*>(streams_))
                if (reaches(s, o))
                    s->send(text(api_.lockObject(WebApi::clientOf(s->peer()), o,
                                                 {{QStringLiteral("type"), QStringLiteral("lock")},
                                                  {QStringLiteral("output"), o}})));
    });
}

void EventHub::add(EventStream* stream) {
    if (!stream->tag().canConvert<Caller>()) {
        stream->close(QStringLiteral("not signed in"));
        return;
    }
    streams_.append(stream);
    connect(stream, &EventStream::gone, this, [this, stream] { streams_.removeOne(stream); });
    sendState(stream);
}

std::optional<QList<int>> EventHub::reach(EventStream* stream) const {
    return api_.reach(stream->tag().value<Caller>());
}

bool EventHub::reaches(EventStream* stream, int output) const {
    const auto r = reach(stream);
    return output == 0 || !r || r->contains(output);
}

void EventHub::sendState(EventStream* stream) {
    QJsonObject state = api_.state(WebApi::clientOf(stream->peer()), reach(stream));
    state.insert(QStringLiteral("type"), QStringLiteral("state"));
    stream->send(text(state));
}

void EventHub::refresh() {
    for (EventStream* s : QList<EventStream*>(streams_)) {
        sendState(s);
        QJsonObject rooms = api_.rooms(s->tag().value<Caller>());
        rooms.insert(QStringLiteral("type"), QStringLiteral("rooms"));
        s->send(text(rooms));
        sendScenes(s);
    }
}

void EventHub::sendScenes(EventStream* stream) {
    QJsonObject m = api_.scenes(reach(stream));
    m.insert(QStringLiteral("type"), QStringLiteral("scenes"));
    stream->send(text(m));
}

void EventHub::setRooms(server::RoomStore* rooms) {
    connect(rooms, &server::RoomStore::changed, this, &EventHub::refresh);
}

void EventHub::setScenes(server::SceneService* scenes) {
    connect(scenes, &server::SceneService::changed, this, [this] {
        for (EventStream* s : QList<EventStream*>(streams_))
            sendScenes(s);
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

void EventHub::sendAll(const QJsonObject& message, int output) {
    const QString t = text(message);
    // A copy: a client that does not read leaves the list while it is sent to.
    for (EventStream* s : QList<EventStream*>(streams_))
        if (reaches(s, output))
            s->send(t);
}

} // namespace web
