#pragma once

#include "frontends/server/listener.h"
#include "state/counts.h"

#include <QByteArray>
#include <QString>
#include <array>

namespace web {
class WebServer;
}
namespace mqtt {
class MqttClient;
}

namespace server {

class RouterState;
class SceneService;
class LineOwner;
class VideohubServer;
class LinePortServer;

// The server's metrics in Prometheus's text format (version 0.0.4), made
// when a scraper asks: every value is read then from where it is kept, so
// nothing runs in between, and the page is written into one buffer
// reserved for it. What the switcher says (which input each output shows)
// is left out while it is absent rather than given stale. The parts of the
// server not running (no MQTT, no line port) are left out too.
class MetricsPage {
public:
    // What the page is read from; only state is needed.
    struct Sources {
        const RouterState* state = nullptr;
        const SceneService* scenes = nullptr;
        const LineOwner* owner = nullptr;
        const VideohubServer* videohub = nullptr;
        const LinePortServer* linePort = nullptr;
        web::WebServer* web = nullptr;
        const mqtt::MqttClient* mqtt = nullptr;
    };

    MetricsPage(const Sources& sources, const QString& version, const QString& model);
    // The parts of the server once they run.
    void setSources(const Sources& sources) { sources_ = sources; }

    // A client a front end's listener closed at once.
    void refused(Frontend frontend, Refusal reason) { ++refused_[int(frontend)][int(reason)]; }

    QByteArray render() const;

private:
    static constexpr int kRefusals = int(Refusal::Reset) + 1;
    // The room the page takes, over its size: reserved at once.
    qsizetype bound() const;

    Sources sources_;
    QByteArray buildInfo_; // the same on every page
    std::array<std::array<quint64, kRefusals>, kFrontends> refused_{};
};

} // namespace server
