#pragma once

#include "frontends/server/options.h"

#include <QObject>
#include <memory>

namespace platform {
class Platform;
}

namespace web {
class WebServer;
}

namespace mqtt {
class RouterBackend;
class MqttClient;
class MqttBridge;
} // namespace mqtt

namespace server {

class RouterState;
class LabelStore;
class LineOwner;
class TcpListener;
class VideohubServer;
class LinePortServer;
class MdnsAnnouncer;
class ServiceNotify;
class SceneService;
class MetricsPage;
class JobRunner;
struct ListenLimits;

// The whole server: the shared state, the owner of the line and the
// protocols on their listeners, as the options ask.
class ServerApp : public QObject {
    Q_OBJECT
public:
    ServerApp(platform::Platform& platform, const Options& options, QObject* parent = nullptr);
    ~ServerApp() override;

    // Loads the state, listens and opens the port; false with the reason.
    // announce: the mDNS announcement and systemd's notifications (off in
    // tests).
    bool start(QString* error, bool announce = true);
    // Leaves any mode held, closes; stopped() follows.
    void stop();
    // Reads the labels file again, clients hear what changed, and the web
    // port's certificate and key, for new connections (SIGHUP).
    void reload();

    RouterState& state() { return *state_; }
    SceneService& scenes() { return *scenes_; }
    LineOwner& owner() { return *owner_; }
    JobRunner& jobs() { return *jobs_; }
    // The ports listened on (useful when 0 asked the system for one).
    quint16 videohubPort() const;
    quint16 linePort() const;
    quint16 webPort() const;
    quint16 metricsPort() const;
    // The page GET /metrics answers.
    MetricsPage& metrics() { return *metrics_; }

signals:
    // One line for the log.
    void log(const QString& line);
    void stopped();

private:
    QString uniqueId();
    // The steps of start(), each false with the reason where it can fail.
    bool loadState(QString* error);
    bool startVideohub(const ListenLimits& limits, QString* error);
    bool startLinePort(const ListenLimits& limits, QString* error);
    bool startWeb(QString* error);
    void startMqtt();
    // mDNS for the Videohub port, and systemd's notice that the server is up.
    void announceService();

    Options options_;
    std::unique_ptr<RouterState> state_;
    std::unique_ptr<LabelStore> labels_;
    std::unique_ptr<SceneService> scenes_;
    std::unique_ptr<LineOwner> owner_;
    std::unique_ptr<MetricsPage> metrics_;
    std::unique_ptr<JobRunner> jobs_;
    std::unique_ptr<TcpListener> videohubListener_;
    std::unique_ptr<TcpListener> lineListener_;
    std::unique_ptr<VideohubServer> videohub_;
    std::unique_ptr<LinePortServer> linePort_;
    std::unique_ptr<web::WebServer> web_;
    std::unique_ptr<MdnsAnnouncer> mdns_;
    std::unique_ptr<ServiceNotify> notify_;
    std::unique_ptr<mqtt::RouterBackend> mqttBackend_;
    std::unique_ptr<mqtt::MqttClient> mqttClient_;
    std::unique_ptr<mqtt::MqttBridge> mqttBridge_;
};

} // namespace server
