#include "frontends/server/mqtt/router_backend.h"

#include "state/router_state.h"
#include "state/scenes/scene_service.h"

namespace mqtt {

namespace {

using server::RouterState;

const QString kClient = QStringLiteral("mqtt");

} // namespace

RouterBackend::RouterBackend(RouterState& state, const QString& from, server::SceneService* scenes,
                             QObject* parent)
    : Backend(parent), state_(state), from_(from), scenes_(scenes) {
    if (scenes_)
        connect(scenes_, &server::SceneService::changed, this, &Backend::scenesChanged);
    connect(&state_, &RouterState::presenceChanged, this, &Backend::presentChanged);
    connect(&state_, &RouterState::routingChanged, this, [this](const QList<int>& outputs) {
        for (const int output : outputs)
            emit inputChanged(output);
    });
    connect(&state_, &RouterState::labelsChanged, this,
            [this](RouterState::Side side, const QList<int>& ports) {
                for (const int port : ports) {
                    if (side == RouterState::Side::Inputs)
                        emit inputLabelChanged(port);
                    else
                        emit outputLabelChanged(port);
                }
            });
}

const protocol::Model& RouterBackend::model() const {
    return state_.model();
}

bool RouterBackend::present() const {
    return state_.present();
}
int RouterBackend::input(int output) const {
    return state_.input(output);
}
QString RouterBackend::inputLabel(int input) const {
    return state_.inputLabel(input);
}
QString RouterBackend::outputLabel(int output) const {
    return state_.outputLabel(output);
}

Outcome RouterBackend::ask(const RouterState::Change& change, Finished finished) {
    return state_.ask({kClient, kClient, from_, server::Role::Admin, server::Frontend::Mqtt},
                      change, std::move(finished));
}

Outcome RouterBackend::requestRoute(int output, int input, Finished finished) {
    return ask(RouterState::Change::toRoutes({{output, input}}), std::move(finished));
}

Outcome RouterBackend::allOutputs(int input, Finished finished) {
    return ask(RouterState::Change::allOutputs(input), std::move(finished));
}

Outcome RouterBackend::recallPreset(int preset, Finished finished) {
    return ask(RouterState::Change::presetRecall(preset), std::move(finished));
}

Outcome RouterBackend::savePreset(int preset, Finished finished) {
    return ask(RouterState::Change::presetSave(preset), std::move(finished));
}

QStringList RouterBackend::scenes() const {
    QStringList names;
    if (scenes_)
        for (const server::Scene& s : scenes_->store().scenes())
            names.append(s.name);
    return names;
}

QStringList RouterBackend::activeScenes() const {
    return scenes_ ? scenes_->active() : QStringList();
}

Outcome RouterBackend::recallScene(const QString& name, Finished finished) {
    if (!scenes_)
        return Outcome::Invalid;
    return scenes_->recall(name,
                           {kClient, kClient, from_, server::Role::Admin, server::Frontend::Mqtt},
                           std::move(finished));
}

} // namespace mqtt
