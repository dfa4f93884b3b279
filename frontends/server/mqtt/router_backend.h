#pragma once

#include "frontends/server/mqtt/backend.h"
#include "state/router_state.h"

namespace server {
class SceneService;
} // namespace server

namespace mqtt {

// The server's shared state as the MQTT front end's backend. Every MQTT
// client counts as one client of the server, "mqtt", for the locks: outputs
// locked over the Videohub protocol refuse MQTT's requests.
class RouterBackend : public Backend {
    Q_OBJECT
public:
    // from: where the requests come from, for the audit trail (the broker).
    RouterBackend(server::RouterState& state, const QString& from,
                  server::SceneService* scenes = nullptr, QObject* parent = nullptr);

    const protocol::Model& model() const override;
    bool present() const override;
    int input(int output) const override;
    QString inputLabel(int input) const override;
    QString outputLabel(int output) const override;
    Outcome requestRoute(int output, int input, Finished finished) override;
    Outcome allOutputs(int input, Finished finished) override;
    Outcome recallPreset(int preset, Finished finished) override;
    Outcome savePreset(int preset, Finished finished) override;
    QStringList scenes() const override;
    QStringList activeScenes() const override;
    Outcome recallScene(const QString& name, Finished finished) override;

private:
    Outcome ask(const server::RouterState::Change& change, Finished finished);

    server::RouterState& state_;
    QString from_;
    server::SceneService* scenes_;
};

} // namespace mqtt
