#include "frontends/server/mqtt/router_backend.h"

#include "frontends/server/router_state.h"

namespace mqtt {

namespace {

using server::RouterState;

const QString kClient = QStringLiteral("mqtt");

Verdict verdict(RouterState::Outcome outcome) {
    switch (outcome) {
    case RouterState::Outcome::Done:
        return Verdict::Accepted;
    case RouterState::Outcome::Locked:
        return Verdict::Locked;
    case RouterState::Outcome::Absent:
        return Verdict::Absent;
    case RouterState::Outcome::Invalid:
        break;
    }
    return Verdict::Invalid;
}

} // namespace

RouterBackend::RouterBackend(RouterState& state, QObject* parent) : Backend(parent), state_(state) {
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

Verdict RouterBackend::requestRoute(int output, int input) {
    return verdict(state_.requestRoutes(kClient, {{output, input}}));
}

Verdict RouterBackend::allOutputs(int input) {
    return verdict(state_.requestAllOutputs(kClient, input));
}

Verdict RouterBackend::recallPreset(int preset) {
    return verdict(state_.requestPresetRecall(kClient, preset));
}

Verdict RouterBackend::savePreset(int preset) {
    return verdict(state_.requestPresetSave(kClient, preset));
}

} // namespace mqtt
