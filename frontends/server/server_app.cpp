#include "frontends/server/server_app.h"

#include "core/files/write_file.h"
#include "frontends/server/job_runner.h"
#include "frontends/server/line_owner.h"
#include "frontends/server/line_port_server.h"
#include "frontends/server/metrics_page.h"
#include "frontends/server/mqtt/mqtt_bridge.h"
#include "frontends/server/mqtt/mqtt_client.h"
#include "frontends/server/mqtt/router_backend.h"
#include "frontends/server/platform/mdns_announcer.h"
#include "frontends/server/platform/service_notify.h"
#include "frontends/server/platform/tcp_listener.h"
#include "frontends/server/videohub_server.h"
#include "frontends/server/web/web_server.h"
#include "state/label_store.h"
#include "state/router_state.h"
#include "state/scenes/scene_service.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QtEndian>

namespace server {

namespace {

QString endpointText(const Endpoint& e) {
    return (e.address.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]:%2")
                                                                  : QStringLiteral("%1:%2"))
        .arg(e.address.toString())
        .arg(e.port);
}

} // namespace

ServerApp::ServerApp(platform::Platform& platform, const Options& options, QObject* parent)
    : QObject(parent), options_(options), state_(std::make_unique<RouterState>(options.model)),
      labels_(std::make_unique<LabelStore>(*state_, options.stateDir)),
      scenes_(std::make_unique<SceneService>(*state_, options.stateDir, options.schedule)),
      owner_(std::make_unique<LineOwner>(platform, *state_, options.port, options.pollSeconds)),
      metrics_(std::make_unique<MetricsPage>(
          MetricsPage::Sources{state_.get(), scenes_.get(), owner_.get()},
          QStringLiteral(HDMI_MATRIX_VERSION), options.model.name)),

      jobs_(std::make_unique<JobRunner>(*state_, scenes_.get())) {
    jobs_->setSwitcher(&owner_->switcher());
    connect(labels_.get(), &LabelStore::saveFailed, this, [this](const QString& why) {
        emit log(QStringLiteral("label change refused, it could not be kept: %1").arg(why));
    });
    connect(labels_.get(), &LabelStore::setAside, this, &ServerApp::log);
    connect(&state_->audit(), &AuditTrail::logged, this, &ServerApp::log);
    connect(scenes_.get(), &SceneService::log, this, &ServerApp::log);
    connect(owner_.get(), &LineOwner::event, this, &ServerApp::log);
    if (options_.verbose)
        connect(owner_.get(), &LineOwner::traffic, this, &ServerApp::log);
    connect(state_.get(), &RouterState::presenceChanged, this, [this](bool present) {
        emit log(present ? QStringLiteral("switcher found") : QStringLiteral("switcher lost"));
        if (notify_)
            notify_->status(present ? QStringLiteral("switcher present")
                                    : QStringLiteral("switcher absent"));
    });
    connect(state_.get(), &RouterState::requestFailed, this,
            [this](const QString& client, const QString& what, Outcome outcome) {
                emit log(QStringLiteral("%1 for %2 not carried out: %3")
                             .arg(what, client, outcomeWords(outcome)));
            });
    connect(owner_.get(), &LineOwner::stopped, this, &ServerApp::stopped);
}

ServerApp::~ServerApp() = default;

quint16 ServerApp::videohubPort() const {
    return videohubListener_ ? videohubListener_->port() : 0;
}

quint16 ServerApp::linePort() const {
    return lineListener_ ? lineListener_->port() : 0;
}

quint16 ServerApp::webPort() const {
    return web_ ? web_->listener().port() : 0;
}

QString ServerApp::uniqueId() {
    // Twelve hexadecimal digits, as a router's hardware address, made once
    // and kept in the state folder so that clients recognise the router.
    const QString path = QDir(options_.stateDir).filePath(QStringLiteral("unique-id"));
    static const QRegularExpression form(QStringLiteral("^[0-9A-F]{12}$"));
    QFile f(path);
    if (f.open(QIODevice::ReadOnly)) {
        const QString id = QString::fromLatin1(f.read(64)).trimmed();
        if (form.match(id).hasMatch())
            return id;
    }
    // Made from the machine's id, the name and the port, it stays the same
    // where the folder keeps nothing; random where the machine has no id.
    QFile machine(QStringLiteral("/etc/machine-id"));
    const QByteArray machineId =
        machine.open(QIODevice::ReadOnly) ? machine.read(64).trimmed() : QByteArray();
    const quint64 bits =
        machineId.isEmpty()
            ? QRandomGenerator::system()->generate64()
            : qFromBigEndian<quint64>(
                  QCryptographicHash::hash(machineId + '\0' + options_.name.toUtf8() + '\0' +
                                               QByteArray::number(options_.videohub->port),
                                           QCryptographicHash::Sha256)
                      .constData());
    const QString id =
        QStringLiteral("%1").arg(bits & 0xFFFFFFFFFFFFull, 12, 16, QLatin1Char('0')).toUpper();
    QString why;
    if (!files::saveFile(path, (id + QLatin1Char('\n')).toLatin1(), &why))
        emit log(QStringLiteral("unique ID not kept: %1; %2")
                     .arg(why, machineId.isEmpty() ? QStringLiteral("a new one at every start")
                                                   : QStringLiteral("made from the machine's id")));
    return id;
}

void ServerApp::reload() {
    QString why;
    if (!labels_->reload(&why))
        emit log(QStringLiteral("labels: %1").arg(why));
    // A renewed certificate: the clients connected keep the one they began with.
    if (web_ && !options_.webCert.isEmpty()) {
        if (web_->setCertificate(options_.webCert, options_.webKey, &why))
            emit log(QStringLiteral("web certificate read again from %1 (%2), for new connections")
                         .arg(options_.webCert, web_->listener().certificate()));
        else
            emit log(QStringLiteral("web certificate kept as it was: %1").arg(why));
    }
    if (web_)
        web_->reloadAccounts();
    emit log(QStringLiteral("reloaded"));
}

bool ServerApp::start(QString* error, bool announce) {
    if (webExposure(options_) == WebExposure::Refused) {
        *error = QStringLiteral("the web page would be open to the network without TLS: give "
                                "--web-cert and --web-key, or --web-insecure");
        return false;
    }
    if (!loadState(error))
        return false;
    ListenLimits limits;
    limits.maxClients = options_.maxClients;
    limits.maxPerAddress = options_.maxPerAddress;
    limits.allow = options_.allow;
    if (options_.videohub && !startVideohub(limits, error))
        return false;
    if (options_.line && !startLinePort(limits, error))
        return false;
    if ((options_.web || options_.metrics) && !startWeb(error))
        return false;
    if (options_.mqtt.enabled)
        startMqtt();
    MetricsPage::Sources sources;
    sources.state = state_.get();
    sources.scenes = scenes_.get();
    sources.owner = owner_.get();
    sources.videohub = videohub_.get();
    sources.linePort = linePort_.get();
    sources.web = web_.get();
    sources.mqtt = mqttClient_.get();
    metrics_->setSources(sources);
    if (web_)
        web_->setMetrics([this] { return metrics_->render(); });
    owner_->start();
    if (announce)
        announceService();
    return true;
}

bool ServerApp::loadState(QString* error) {
    if (!QDir().mkpath(options_.stateDir)) {
        *error = QStringLiteral("cannot create the state folder %1").arg(options_.stateDir);
        return false;
    }
    // A file that cannot be read is logged, not fatal: the server starts
    // with none and keeps what clients set from then on.
    QString why;
    if (!labels_->load(&why))
        emit log(QStringLiteral("labels: %1").arg(why));
    why.clear();
    scenes_->load(&why);
    if (!why.isEmpty())
        emit log(QStringLiteral("scenes: %1").arg(why));
    return true;
}

bool ServerApp::startVideohub(const ListenLimits& limits, QString* error) {
    videohubListener_ = std::make_unique<TcpListener>(limits);
    if (!videohubListener_->listen(options_.videohub->address, options_.videohub->port)) {
        *error = QStringLiteral("Videohub port %1: %2")
                     .arg(endpointText(*options_.videohub), videohubListener_->errorText());
        return false;
    }
    const DeviceInfo info{QStringLiteral("HDMI Matrix ") + state_->model().name, options_.name,
                          uniqueId()};
    videohub_ = std::make_unique<VideohubServer>(*videohubListener_, *state_, info);
    connect(videohub_.get(), &VideohubServer::event, this, &ServerApp::log);
    if (options_.verbose)
        connect(videohub_.get(), &VideohubServer::traffic, this, &ServerApp::log);
    connect(videohubListener_.get(), &Listener::refused, this,
            [this](const QString&, const QString&, Refusal reason) {
                metrics_->refused(Frontend::Videohub, reason);
            });
    emit log(QStringLiteral("Videohub protocol on %1")
                 .arg(endpointText({options_.videohub->address, videohubListener_->port()})));
    return true;
}

bool ServerApp::startLinePort(const ListenLimits& limits, QString* error) {
    lineListener_ = std::make_unique<TcpListener>(limits);
    if (!lineListener_->listen(options_.line->address, options_.line->port)) {
        *error = QStringLiteral("line port %1: %2")
                     .arg(endpointText(*options_.line), lineListener_->errorText());
        return false;
    }
    linePort_ = std::make_unique<LinePortServer>(*lineListener_, *owner_);
    linePort_->audit = &state_->audit();
    linePort_->counts = &state_->requests();
    connect(lineListener_.get(), &Listener::refused, this,
            [this](const QString&, const QString&, Refusal reason) {
                metrics_->refused(Frontend::Line, reason);
            });
    connect(linePort_.get(), &LinePortServer::event, this, &ServerApp::log);
    emit log(QStringLiteral("line port on %1")
                 .arg(endpointText({options_.line->address, lineListener_->port()})));
    return true;
}

bool ServerApp::startWeb(QString* error) {
    web::WebLimits webLimits;
    webLimits.maxClients = options_.maxClients;
    webLimits.maxPerAddress = options_.maxPerAddress;
    webLimits.allow = options_.allow;
    web_ = std::make_unique<web::WebServer>(*state_, options_.name, webLimits, options_.stateDir);
    web_->setHostNames(options_.webHosts);
    web_->setTrustProxy(options_.webProxy);
    web_->setScenes(scenes_.get());
    web_->setJobs(jobs_.get());
    const bool tls = !options_.webCert.isEmpty();
    QString why;
    if (tls && !web_->setCertificate(options_.webCert, options_.webKey, &why)) {
        *error = QStringLiteral("web certificate: %1").arg(why);
        return false;
    }
    connect(web_.get(), &web::WebServer::event, this, &ServerApp::log);
    if (options_.verbose)
        connect(web_.get(), &web::WebServer::traffic, this, &ServerApp::log);
    connect(web_.get(), &web::WebServer::refused, this,
            [this](Refusal reason) { metrics_->refused(Frontend::Web, reason); });
    const char* scheme = tls ? "https" : "http";
    if (options_.web) {
        if (!web_->listener().listen(options_.web->address, options_.web->port)) {
            *error = QStringLiteral("web port %1: %2")
                         .arg(endpointText(*options_.web), web_->listener().errorText());
            return false;
        }
        const QString url =
            QStringLiteral("%1://%2/")
                .arg(scheme, endpointText({options_.web->address, web_->listener().port()}));
        emit log(
            tls ? QStringLiteral("web page on %1 (%2)").arg(url, web_->listener().certificate())
                : QStringLiteral("web page on %1").arg(url));
    }
    if (options_.metrics) {
        if (!web_->listenMetrics(options_.metrics->address, options_.metrics->port)) {
            *error = QStringLiteral("metrics port %1: %2")
                         .arg(endpointText(*options_.metrics), web_->metricsError());
            return false;
        }
        emit log(QStringLiteral("metrics on %1://%2/metrics")
                     .arg(scheme, endpointText({options_.metrics->address, web_->metricsPort()})));
    }
    if (webExposure(options_) == WebExposure::Insecure)
        emit log(QStringLiteral("warning: the web page or the metrics are open to the network "
                                "without TLS (--web-insecure): whoever is on the way can read "
                                "and change what they send"));
    return true;
}

quint16 ServerApp::metricsPort() const {
    return web_ ? web_->metricsPort() : 0;
}

void ServerApp::startMqtt() {
    mqttBackend_ = std::make_unique<mqtt::RouterBackend>(
        *state_,
        QStringLiteral("%1:%2").arg(options_.mqtt.client.host).arg(options_.mqtt.client.port),
        scenes_.get());
    mqttClient_ = std::make_unique<mqtt::MqttClient>(options_.mqtt.client);
    mqttBridge_ =
        std::make_unique<mqtt::MqttBridge>(*mqttBackend_, *mqttClient_, options_.mqtt.bridge);
    mqttClient_->start();
    emit log(QStringLiteral("MQTT on %1:%2 as %3")
                 .arg(options_.mqtt.client.host)
                 .arg(options_.mqtt.client.port)
                 .arg(mqttBridge_->base()));
}

void ServerApp::announceService() {
    if (videohubListener_) {
        if (options_.videohub->address.isLoopback()) {
            emit log(QStringLiteral("mDNS: not announced, the Videohub port is on the "
                                    "loopback address only"));
        } else {
            mdns_ = std::make_unique<MdnsAnnouncer>(options_.name, videohubListener_->port());
            connect(mdns_.get(), &MdnsAnnouncer::event, this, &ServerApp::log);
            mdns_->start();
        }
    }
    notify_ = std::make_unique<ServiceNotify>();
    notify_->ready();
}

void ServerApp::stop() {
    if (notify_)
        notify_->stopping();
    mdns_.reset();
    if (mqttBridge_)
        mqttBridge_->shutdown(); // `offline`, and a goodbye: no will
    // No new clients; those connected are closed with the process.
    if (videohubListener_)
        videohubListener_->close();
    if (lineListener_)
        lineListener_->close();
    if (web_)
        web_->close();
    owner_->stop();
}

} // namespace server
