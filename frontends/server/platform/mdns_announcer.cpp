#include "frontends/server/platform/mdns_announcer.h"

#ifdef Q_OS_LINUX

#include <QPointer>
#include <QSocketNotifier>
#include <QTimer>

#include <avahi-client/client.h>
#include <avahi-client/publish.h>
#include <avahi-common/alternative.h>
#include <avahi-common/error.h>
#include <avahi-common/malloc.h>
#include <avahi-common/timeval.h>
#include <avahi-common/watch.h>

// The avahi poll API's handles, as avahi declares them (global names).
struct AvahiWatch {
    int fd = -1;
    AvahiWatchEvent wanted{};
    AvahiWatchEvent happened{};
    AvahiWatchCallback callback = nullptr;
    void* userdata = nullptr;
    QSocketNotifier* read = nullptr;
    QSocketNotifier* write = nullptr;
};

struct AvahiTimeout {
    QTimer* timer = nullptr;
    AvahiTimeoutCallback callback = nullptr;
    void* userdata = nullptr;
};

namespace server {

namespace {

void dispatch(AvahiWatch* w, AvahiWatchEvent e) {
    w->happened = e;
    w->callback(w, w->fd, e, w->userdata);
}

void applyEvents(AvahiWatch* w, AvahiWatchEvent events) {
    w->wanted = events;
    w->read->setEnabled(events & AVAHI_WATCH_IN);
    w->write->setEnabled(events & AVAHI_WATCH_OUT);
}

AvahiWatch* watchNew(const AvahiPoll*, int fd, AvahiWatchEvent events, AvahiWatchCallback cb,
                     void* userdata) {
    auto* w = new AvahiWatch;
    w->fd = fd;
    w->callback = cb;
    w->userdata = userdata;
    w->read = new QSocketNotifier(fd, QSocketNotifier::Read);
    w->write = new QSocketNotifier(fd, QSocketNotifier::Write);
    QObject::connect(w->read, &QSocketNotifier::activated, w->read,
                     [w] { dispatch(w, AVAHI_WATCH_IN); });
    QObject::connect(w->write, &QSocketNotifier::activated, w->write,
                     [w] { dispatch(w, AVAHI_WATCH_OUT); });
    applyEvents(w, events);
    return w;
}

void watchUpdate(AvahiWatch* w, AvahiWatchEvent events) {
    applyEvents(w, events);
}

AvahiWatchEvent watchGetEvents(AvahiWatch* w) {
    return w->happened;
}

void watchFree(AvahiWatch* w) {
    // May run inside the notifier's own signal: its deletion waits.
    w->read->setEnabled(false);
    w->write->setEnabled(false);
    w->read->deleteLater();
    w->write->deleteLater();
    delete w;
}

void timeoutUpdate(AvahiTimeout* t, const struct timeval* tv) {
    if (!tv) {
        t->timer->stop();
        return;
    }
    const AvahiUsec left = -avahi_age(tv);
    t->timer->start(left > 0 ? int(qMin<AvahiUsec>(left / 1000, 24 * 3600 * 1000)) : 0);
}

AvahiTimeout* timeoutNew(const AvahiPoll*, const struct timeval* tv, AvahiTimeoutCallback cb,
                         void* userdata) {
    auto* t = new AvahiTimeout;
    t->callback = cb;
    t->userdata = userdata;
    t->timer = new QTimer;
    t->timer->setSingleShot(true);
    QObject::connect(t->timer, &QTimer::timeout, t->timer, [t] { t->callback(t, t->userdata); });
    timeoutUpdate(t, tv);
    return t;
}

void timeoutFree(AvahiTimeout* t) {
    t->timer->stop();
    t->timer->deleteLater();
    delete t;
}

} // namespace

struct MdnsAnnouncer::Impl {
    MdnsAnnouncer* q = nullptr;
    AvahiPoll poll{};
    AvahiClient* client = nullptr;
    AvahiEntryGroup* group = nullptr;
    QString name;
    char* serviceName = nullptr; // avahi_strdup'd, for alternative names
    quint16 port = 0;
    bool saidNoDaemon = false;

    ~Impl() {
        if (client)
            avahi_client_free(client); // frees the group too
        avahi_free(serviceName);
    }

    void publish(AvahiClient* c) {
        if (!group)
            group = avahi_entry_group_new(c, &Impl::groupCallback, this);
        if (!group) {
            emit q->event(QStringLiteral("mDNS: %1")
                              .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(c)))));
            return;
        }
        if (!avahi_entry_group_is_empty(group))
            return;
        const int r = avahi_entry_group_add_service(
            group, AVAHI_IF_UNSPEC, AVAHI_PROTO_UNSPEC, AvahiPublishFlags(0), serviceName,
            "_blackmagic._tcp", nullptr, nullptr, port, "class=Videohub", nullptr);
        if (r == AVAHI_ERR_COLLISION) {
            rename();
            return;
        }
        if (r < 0 || avahi_entry_group_commit(group) < 0) {
            emit q->event(
                QStringLiteral("mDNS: cannot announce: %1")
                    .arg(QString::fromUtf8(avahi_strerror(r < 0 ? r : avahi_client_errno(c)))));
        }
    }

    void rename() {
        char* other = avahi_alternative_service_name(serviceName);
        avahi_free(serviceName);
        serviceName = other;
        emit q->event(QStringLiteral("mDNS: name taken, announcing as \"%1\"")
                          .arg(QString::fromUtf8(serviceName)));
        if (group)
            avahi_entry_group_reset(group);
        publish(client);
    }

    static void groupCallback(AvahiEntryGroup* g, AvahiEntryGroupState state, void* userdata) {
        auto* d = static_cast<Impl*>(userdata);
        d->group = g;
        if (state == AVAHI_ENTRY_GROUP_ESTABLISHED)
            emit d->q->event(QStringLiteral("mDNS: announcing \"%1\" (_blackmagic._tcp, port %2)")
                                 .arg(QString::fromUtf8(d->serviceName))
                                 .arg(d->port));
        else if (state == AVAHI_ENTRY_GROUP_COLLISION)
            d->rename();
    }

    static void clientCallback(AvahiClient* c, AvahiClientState state, void* userdata) {
        auto* d = static_cast<Impl*>(userdata);
        switch (state) {
        case AVAHI_CLIENT_S_RUNNING:
            d->publish(c);
            break;
        case AVAHI_CLIENT_S_COLLISION:
        case AVAHI_CLIENT_S_REGISTERING:
            if (d->group)
                avahi_entry_group_reset(d->group);
            break;
        case AVAHI_CLIENT_CONNECTING:
            if (!d->saidNoDaemon) {
                d->saidNoDaemon = true;
                emit d->q->event(
                    QStringLiteral("mDNS: no avahi daemon; not announced until one starts"));
            }
            break;
        case AVAHI_CLIENT_FAILURE:
            emit d->q->event(QStringLiteral("mDNS: %1; not announced")
                                 .arg(QString::fromUtf8(avahi_strerror(avahi_client_errno(c)))));
            break;
        }
    }
};

MdnsAnnouncer::MdnsAnnouncer(const QString& name, quint16 port, QObject* parent)
    : QObject(parent), d_(std::make_unique<Impl>()) {
    d_->q = this;
    d_->name = name;
    d_->port = port;
    d_->serviceName = avahi_strdup(name.toUtf8().constData());
    d_->poll.userdata = d_.get();
    d_->poll.watch_new = watchNew;
    d_->poll.watch_update = watchUpdate;
    d_->poll.watch_get_events = watchGetEvents;
    d_->poll.watch_free = watchFree;
    d_->poll.timeout_new = timeoutNew;
    d_->poll.timeout_update = timeoutUpdate;
    d_->poll.timeout_free = timeoutFree;
}

MdnsAnnouncer::~MdnsAnnouncer() = default;

void MdnsAnnouncer::start() {
    int error = 0;
    // NO_FAIL: without a daemon the client waits for one instead of failing.
    d_->client =
        avahi_client_new(&d_->poll, AVAHI_CLIENT_NO_FAIL, &Impl::clientCallback, d_.get(), &error);
    if (!d_->client)
        emit event(QStringLiteral("mDNS: %1; not announced")
                       .arg(QString::fromUtf8(avahi_strerror(error))));
}

} // namespace server

#else // avahi is a Linux service

namespace server {

struct MdnsAnnouncer::Impl {};

MdnsAnnouncer::MdnsAnnouncer(const QString&, quint16, QObject* parent) : QObject(parent) {}
MdnsAnnouncer::~MdnsAnnouncer() = default;

void MdnsAnnouncer::start() {
    emit event(QStringLiteral("mDNS: not available on this system; not announced"));
}

} // namespace server

#endif
