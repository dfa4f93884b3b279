#include "frontends/server/mqtt/router_backend.h"

#include "frontends/server/router_state.h"

namespace mqtt {

namespace {

using server::RouterState;

const QString kClient = QStringLiteral("mqtt");

} // namespace

RouterBackend::RouterBackend(RouterState& state, const QString& from, QObject* parent)
    : Backend(parent), state_(state), from_(from) {
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

Outcome RouterBackend::audited(const QString& what, Outcome o) {
    state_.audit().record(kClient, from_, what, o);
    return o;
}

Outcome RouterBackend::requestRoute(int output, int input, Finished finished) {
    return audited(RouterState::routesText({{output, input}}),
                   state_.requestRoutes(kClient, {{output, input}}, std::move(finished)));
}

Outcome RouterBackend::allOutputs(int input, Finished finished) {
    return audited(RouterState::allOutputsText(input),
                   state_.requestAllOutputs(kClient, input, std::move(finished)));
}

Outcome RouterBackend::recallPreset(int preset, Finished finished) {
    return audited(RouterState::presetText(false, preset),
                   state_.requestPresetRecall(kClient, preset, std::move(finished)));
}

Outcome RouterBackend::savePreset(int preset, Finished finished) {
    return audited(RouterState::presetText(true, preset),
                   state_.requestPresetSave(kClient, preset, std::move(finished)));
}

} // namespace mqtt
