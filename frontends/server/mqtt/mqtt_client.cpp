#include "frontends/server/mqtt/mqtt_client.h"

#include <QHostAddress>
#include <QHostInfo>
#include <QSocketNotifier>
#include <QtDebug>

#include <mosquitto.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <utility>

namespace mqtt {

namespace {

void initLibrary() {
    static const int rc = mosquitto_lib_init(); // once
    static bool logged = false;
    if (rc != MOSQ_ERR_SUCCESS && !std::exchange(logged, true))
        qWarning().noquote() << "MQTT: the library did not start:" << mosquitto_strerror(rc);
}

QString errorText(int rc, int savedErrno) {
    if (rc == MOSQ_ERR_ERRNO)
        return QString::fromLocal8Bit(std::strerror(savedErrno));
    return QString::fromUtf8(mosquitto_strerror(rc));
}

} // namespace

MqttClient::MqttClient(ClientSettings settings, QObject* parent)
    : QObject(parent), settings_(std::move(settings)) {
    initLibrary();
    // Precise: a coarse timer may fire up to 5 % early, before the ping is due.
    housekeeping_.setTimerType(Qt::PreciseTimer);
    housekeeping_.setSingleShot(true);
    connect(&housekeeping_, &QTimer::timeout, this, &MqttClient::housekeep);
    clock_.start();
    retry_.setSingleShot(true);
    connect(&retry_, &QTimer::timeout, this, &MqttClient::connectNow);
}

MqttClient::~MqttClient() {
    closeHandle();
}

void MqttClient::start() {
    if (running_)
        return;
    running_ = true;
    connectNow();
}

void MqttClient::stop() {
    running_ = false;
    retry_.stop();
    if (handle_ && connected_) // written at once: not inside a callback
        check(mosquitto_disconnect(handle_), "goodbye");
    closeHandle();
    if (std::exchange(connected_, false))
        emit disconnected();
}

void MqttClient::publish(const QString& topic, const QByteArray& payload, bool retain) {
    if (retain) {
        if (payload.isEmpty())
            retained_.erase(topic);
        else
            retained_[topic] = payload;
    }
    if (!connected_)
        return;
    send(topic, payload, retain);
    if (depth_ == 0)
        afterCall(MOSQ_ERR_SUCCESS, 0);
}

void MqttClient::send(const QString& topic, const QByteArray& payload, bool retain) {
    if (retain && unacknowledged_ >= kMaxUnacknowledged) {
        held_.insert(topic);
        return;
    }
    if (retain)
        held_.erase(topic);
    const QByteArray name = topic.toUtf8();
    if (check(mosquitto_publish(handle_, nullptr, name.constData(), int(payload.size()),
                                payload.constData(), 1, retain),
              "publishing on " + topic))
        ++unacknowledged_;
    sent();
}

void MqttClient::subscribe(const QString& filter) {
    if (subscriptions_.contains(filter))
        return;
    subscriptions_.append(filter);
    if (!connected_)
        return;
    check(mosquitto_subscribe(handle_, nullptr, filter.toUtf8().constData(), 1),
          "subscribing to " + filter);
    sent();
    if (depth_ == 0)
        afterCall(MOSQ_ERR_SUCCESS, 0);
}

void MqttClient::connectNow() {
    closeHandle();
    if (!QHostAddress(settings_.host).isNull()) {
        connectFound();
        return;
    }
    lookupId_ = QHostInfo::lookupHost(settings_.host, this, [this](const QHostInfo& info) {
        lookupId_ = -1;
        if (info.error() != QHostInfo::NoError || info.addresses().isEmpty())
            drop(info.errorString());
        else
            connectFound();
    });
}

void MqttClient::connectFound() {
    refusal_.clear();
    tlsError_.clear();
    const QByteArray id = settings_.clientId.toUtf8();
    handle_ = mosquitto_new(id.isEmpty() ? nullptr : id.constData(), true, this);
    if (!handle_) {
        drop(QStringLiteral("no client could be made"));
        return;
    }
    mosquitto_connect_callback_set(handle_, &MqttClient::onConnect);
    mosquitto_message_callback_set(handle_, &MqttClient::onMessage);
    mosquitto_log_callback_set(handle_, &MqttClient::onLog);
    mosquitto_publish_callback_set(handle_, &MqttClient::onPublish);
    // Nagle's algorithm held a state message back until the broker's delayed
    // acknowledgement of the one before: 40 ms on a route.
    check(mosquitto_int_option(handle_, MOSQ_OPT_TCP_NODELAY, 1), "turning Nagle's algorithm off");
    if (!settings_.willTopic.isEmpty()) {
        check(mosquitto_will_set(handle_, settings_.willTopic.toUtf8().constData(),
                                 int(settings_.willPayload.size()),
                                 settings_.willPayload.constData(), 1, true),
              "the last will");
    }
    if (!settings_.user.isEmpty()) {
        const QByteArray password = settings_.password.toUtf8();
        check(mosquitto_username_pw_set(handle_, settings_.user.toUtf8().constData(),
                                        settings_.password.isEmpty() ? nullptr
                                                                     : password.constData()),
              "the user name");
    }
    if (settings_.tls) {
        int rc = MOSQ_ERR_SUCCESS;
        if (settings_.caFile.isEmpty())
            rc = mosquitto_int_option(handle_, MOSQ_OPT_TLS_USE_OS_CERTS, 1);
        else
            rc = mosquitto_tls_set(handle_, settings_.caFile.toLocal8Bit().constData(), nullptr,
                                   nullptr, nullptr, nullptr);
        if (rc != MOSQ_ERR_SUCCESS) {
            drop(QStringLiteral("TLS set-up failed: ") + errorText(rc, errno));
            return;
        }
    }
    // Returns with the connection under way; the CONNECT packet waits in the
    // library until the socket can be written.
    const int rc = mosquitto_connect_async(handle_, settings_.host.toUtf8().constData(),
                                           settings_.port, settings_.keepAliveS);
    if (rc != MOSQ_ERR_SUCCESS) {
        // A broker on this machine may end a TLS handshake before this returns.
        drop(failure(rc, errno));
        return;
    }
    lastIn_ = lastOut_ = clock_.elapsed(); // the library's clocks start at the connection
    const qintptr fd = mosquitto_socket(handle_);
    readNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read);
    connect(readNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        lastIn_ = clock_.elapsed();
        ++depth_;
        const int rc = mosquitto_loop_read(handle_, 1);
        --depth_;
        afterCall(rc, errno);
    });
    writeNotifier_ = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write);
    connect(writeNotifier_.get(), &QSocketNotifier::activated, this, [this] {
        ++depth_;
        // A TLS handshake under way is driven from the read side of the
        // library, whichever way the socket became ready.
        if (settings_.tls)
            lastIn_ = clock_.elapsed();
        int rc = settings_.tls ? mosquitto_loop_read(handle_, 1) : MOSQ_ERR_SUCCESS;
        if (rc == MOSQ_ERR_SUCCESS && mosquitto_socket(handle_) >= 0) {
            sent();
            rc = mosquitto_loop_write(handle_, 1);
        }
        --depth_;
        afterCall(rc, errno);
    });
    afterCall(MOSQ_ERR_SUCCESS, 0);
}

qint64 MqttClient::pingDueMs() const {
    // The library counts whole seconds: one more keeps us from coming early.
    return std::min(lastIn_, lastOut_) + (settings_.keepAliveS + 1) * 1000LL;
}

void MqttClient::housekeep() {
    const qint64 now = clock_.elapsed();
    // When a ping is due the library sends one, or gives up on a broker that
    // did not answer the last one; either way its clocks start again. Our
    // clocks may only run ahead of the library's (a packet marked before it
    // leaves), never behind, or this would put its next ping off.
    if (now >= pingDueMs())
        lastIn_ = lastOut_ = now;
    ++depth_;
    const int rc = mosquitto_loop_misc(handle_);
    --depth_;
    afterCall(rc, errno);
}

void MqttClient::afterCall(int rc, int savedErrno) {
    if (!handle_)
        return;
    if (rc != MOSQ_ERR_SUCCESS || mosquitto_socket(handle_) < 0) {
        drop(!refusal_.isEmpty() ? refusal_ : failure(rc, savedErrno));
        return;
    }
    writeNotifier_->setEnabled(mosquitto_want_write(handle_));
    housekeeping_.start(int(std::max<qint64>(0, pingDueMs() - clock_.elapsed())));
}

bool MqttClient::check(int rc, const QString& what) {
    if (rc == MOSQ_ERR_SUCCESS)
        return true;
    const QString line = QStringLiteral("MQTT: %1 failed: %2").arg(what, errorText(rc, errno));
    if (!loggedFailures_.contains(line) && loggedFailures_.size() < 64) {
        loggedFailures_.insert(line);
        qWarning().noquote() << line;
    }
    return false;
}

QString MqttClient::failure(int rc, int savedErrno) const {
    if (rc == MOSQ_ERR_TLS && !tlsError_.isEmpty())
        return QStringLiteral("TLS: ") + tlsError_;
    return rc != MOSQ_ERR_SUCCESS ? errorText(rc, savedErrno) : QStringLiteral("connection closed");
}

void MqttClient::drop(QString why) {
    if (why.endsWith(QLatin1Char('.')))
        why.chop(1);
    closeHandle();
    const bool was = std::exchange(connected_, false);
    if (!failing_) {
        qWarning().noquote() << QStringLiteral("MQTT broker %1:%2: %3; trying again")
                                    .arg(settings_.host)
                                    .arg(settings_.port)
                                    .arg(why);
        failing_ = true;
    }
    if (was)
        emit disconnected();
    if (running_) {
        retry_.start(retryMs_);
        retryMs_ = std::min(retryMs_ * 2, kLastRetryMs);
    }
}

void MqttClient::closeHandle() {
    if (lookupId_ >= 0)
        QHostInfo::abortHostLookup(std::exchange(lookupId_, -1));
    housekeeping_.stop();
    readNotifier_.reset();
    writeNotifier_.reset();
    if (handle_) {
        // Closes the socket without DISCONNECT: the broker publishes the will.
        mosquitto_destroy(handle_);
        handle_ = nullptr;
    }
}

void MqttClient::onConnect(mosquitto*, void* self, int rc) {
    auto* client = static_cast<MqttClient*>(self);
    if (rc != 0) {
        client->refusal_ = QString::fromUtf8(mosquitto_connack_string(rc));
        return; // the library then reports the connection closed
    }
    client->connected_ = true;
    client->retryMs_ = kFirstRetryMs;
    client->failing_ = false;
    qInfo().noquote() << QStringLiteral("MQTT broker %1:%2 connected")
                             .arg(client->settings_.host)
                             .arg(client->settings_.port);
    for (const QString& filter : std::as_const(client->subscriptions_))
        client->check(mosquitto_subscribe(client->handle_, nullptr, filter.toUtf8().constData(), 1),
                      "subscribing to " + filter);
    // A new session: the library forgot what it had, and all is sent again.
    client->unacknowledged_ = 0;
    client->held_.clear();
    for (const auto& [topic, payload] : client->retained_)
        client->send(topic, payload, true);
    emit client->connected();
}

void MqttClient::onPublish(mosquitto*, void* self, int) {
    auto* client = static_cast<MqttClient*>(self);
    client->unacknowledged_ = std::max(0, client->unacknowledged_ - 1);
    while (!client->held_.empty() && client->unacknowledged_ < kMaxUnacknowledged) {
        const QString topic = *client->held_.begin();
        const auto it = client->retained_.find(topic);
        client->send(topic, it == client->retained_.end() ? QByteArray() : it->second, true);
    }
}

void MqttClient::onMessage(mosquitto*, void* self, const mosquitto_message* msg) {
    auto* client = static_cast<MqttClient*>(self);
    if (msg->qos > 0)
        client->sent(); // the library acknowledges it
    emit client->message(QString::fromUtf8(msg->topic),
                         QByteArray(static_cast<const char*>(msg->payload), msg->payloadlen),
                         msg->retain);
}

void MqttClient::onLog(mosquitto*, void* self, int level, const char* text) {
    // OpenSSL's reason comes only in the library's log, as
    // "OpenSSL Error[0]: error:0A000086:SSL routines::certificate verify failed".
    const QString line = QString::fromUtf8(text);
    if (level == MOSQ_LOG_ERR && line.startsWith(QLatin1String("OpenSSL Error")))
        static_cast<MqttClient*>(self)->tlsError_ = line.section(QLatin1Char(':'), -1).trimmed();
}

} // namespace mqtt
