#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <map>
#include <memory>
#include <set>

struct mosquitto;
struct mosquitto_message;
class QSocketNotifier;

namespace mqtt {

struct ClientSettings {
    QString host;
    quint16 port = 1883;
    bool tls = false;
    QString caFile; // TLS: the broker's CA; empty: the system's
    QString user;
    QString password;
    QString clientId;
    // Published by the broker for us when our connection ends without a
    // goodbye (the process killed, the network gone).
    QString willTopic;
    QByteArray willPayload;
    int keepAliveS = 30;
};

// A connection to an MQTT broker through libmosquitto, driven by the Qt event
// loop on the calling thread: the library's socket is watched with socket
// notifiers (the write side only while the library has bytes queued) and its
// housekeeping runs on a timer armed for the moment a keep-alive ping falls
// due, so that an idle connection wakes the program once a keep-alive. A
// broker's name is looked up in the background first, so that a resolver that
// does not answer stalls nothing; the library looks the name up again (it
// tries each address and checks a TLS certificate against the name), which
// then finds the answer at hand. A broker that is not there, refuses us
// or goes away is tried again after 1 s, doubling to 30 s, for as long as the client lives.
//
// Retained messages are kept and published again at every connection, so a
// broker that restarted without its storage gets the whole state back;
// subscriptions are made again too. Messages published while the broker is
// away are dropped, except that the newest retained one per topic is kept.
class MqttClient : public QObject {
    Q_OBJECT
public:
    static constexpr int kFirstRetryMs = 1000;
    static constexpr int kLastRetryMs = 30000;
    // Messages handed to the library that the broker has not acknowledged.
    // The library keeps each until the broker does, and a broker busy with
    // a flood is slow to: beyond these, a retained topic's latest payload
    // waits here, replacing the one before, until fewer are on their way.
    static constexpr int kMaxUnacknowledged = 64;

    explicit MqttClient(ClientSettings settings, QObject* parent = nullptr);
    // Closes the connection without a goodbye: the broker publishes the will.
    ~MqttClient() override;

    const ClientSettings& settings() const { return settings_; }
    void start();
    // Says goodbye to the broker (no will) and stays away.
    void stop();
    bool isConnected() const { return connected_; }

    // An empty retained payload deletes the topic's retained message.
    void publish(const QString& topic, const QByteArray& payload, bool retain);
    void subscribe(const QString& filter);

signals:
    void connected();
    void disconnected();
    // `retained`: the broker's stored copy, delivered on subscribing.
    void message(const QString& topic, const QByteArray& payload, bool retained);

private:
    static void onConnect(mosquitto*, void* self, int rc);
    static void onMessage(mosquitto*, void* self, const mosquitto_message* msg);
    static void onLog(mosquitto*, void* self, int level, const char* text);
    static void onPublish(mosquitto*, void* self, int mid);
    // Hands a message to the library, or holds a retained one back.
    void send(const QString& topic, const QByteArray& payload, bool retain);

    void connectNow();
    void connectFound();
    // After every call into the library: a closed socket or an error ends
    // the connection; the write notifier follows what the library has queued.
    void afterCall(int rc, int savedErrno);
    // The library pings when nothing went out, or nothing came in, for a
    // keep-alive; these follow its clocks, a call into it at a time.
    void sent() { lastOut_ = clock_.elapsed(); }
    qint64 pingDueMs() const;
    void housekeep();
    QString failure(int rc, int savedErrno) const;
    // False, and one log line the first time a call fails so (the library's
    // words), when rc is a failure.
    bool check(int rc, const QString& what);
    void drop(QString why);
    void closeHandle();

    ClientSettings settings_;
    mosquitto* handle_ = nullptr;
    std::unique_ptr<QSocketNotifier> readNotifier_;
    std::unique_ptr<QSocketNotifier> writeNotifier_;
    QTimer housekeeping_;
    QElapsedTimer clock_;
    qint64 lastIn_ = 0;
    qint64 lastOut_ = 0;
    QTimer retry_;
    int retryMs_ = kFirstRetryMs;
    bool running_ = false;
    bool connected_ = false;
    bool failing_ = false; // a failure was logged; the next ones are not
    int lookupId_ = -1;
    int depth_ = 0;    // inside the library: its callbacks may not end it
    QString refusal_;  // the broker's reason, when it refused us
    QString tlsError_; // the last TLS failure the library logged
    std::map<QString, QByteArray> retained_;
    int unacknowledged_ = 0;
    std::set<QString> held_; // retained topics whose latest payload waits
    QStringList subscriptions_;
    QSet<QString> loggedFailures_;
};

} // namespace mqtt
