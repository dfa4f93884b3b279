#pragma once

#include "frontends/server/mqtt/backend.h"

namespace server {
class RouterState;
}

namespace mqtt {

// The server's shared state as the MQTT front end's backend. Every MQTT
// client counts as one client of the server, "mqtt", for the locks: outputs
// locked over the Videohub protocol refuse MQTT's requests.
class RouterBackend : public Backend {
    Q_OBJECT
public:
    explicit RouterBackend(server::RouterState& state, QObject* parent = nullptr);

    bool present() const override;
    int input(int output) const override;
    QString inputLabel(int input) const override;
    QString outputLabel(int output) const override;
    Outcome requestRoute(int output, int input, Finished finished) override;
    Outcome allOutputs(int input, Finished finished) override;
    Outcome recallPreset(int preset, Finished finished) override;
    Outcome savePreset(int preset, Finished finished) override;

private:
    server::RouterState& state_;
};

} // namespace mqtt
