#include "frontends/server/router_state.h"

#include "core/protocol/commands.h"

namespace server {

namespace {

bool validOutput(int o) {
    return o >= 0 && o < RouterState::kOutputs;
}
bool validInput(int i) {
    return i >= 0 && i < RouterState::kInputs;
}

} // namespace

RouterState::RouterState(QObject* parent) : QObject(parent) {
    routing_.fill(-1);
}

int RouterState::input(int output) const {
    return validOutput(output) ? routing_[output] : -1;
}

QString RouterState::label(Side side, int port) const {
    if (port < 0 || port >= 8)
        return {};
    const QString& text = side == Side::Inputs ? inputLabels_[port] : outputLabels_[port];
    return text.isEmpty() ? defaultLabel(side, port) : text;
}

QString RouterState::inputLabel(int input) const {
    return label(Side::Inputs, input);
}

QString RouterState::outputLabel(int output) const {
    return label(Side::Outputs, output);
}

QString RouterState::lockOwner(int output) const {
    return validOutput(output) ? locks_[output] : QString();
}

QString RouterState::defaultLabel(Side side, int port) {
    return (side == Side::Inputs ? QStringLiteral("Input %1") : QStringLiteral("Output %1"))
        .arg(port + 1);
}

bool RouterState::labelAllowed(const QString& text) {
    qsizetype characters = 0;
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t c = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            c = QChar::surrogateToUcs4(*it, *(it + 1));
            ++it;
        } else if (it->isSurrogate()) {
            return false;
        }
        if (QChar::category(c) == QChar::Other_Control || c == 0x2028 || c == 0x2029)
            return false;
        ++characters;
    }
    return characters <= kMaxLabelLength;
}

bool RouterState::lockedByOther(const QString& client, int output) const {
    return !locks_[output].isEmpty() && locks_[output] != client;
}

bool RouterState::anyLockedByOther(const QString& client) const {
    for (int o = 0; o < kOutputs; ++o)
        if (lockedByOther(client, o))
            return true;
    return false;
}

RouterState::Outcome RouterState::requestRoutes(const QString& client, const QList<Route>& routes) {
    if (routes.isEmpty())
        return Outcome::Invalid;
    for (const Route& r : routes)
        if (!validOutput(r.output) || !validInput(r.input))
            return Outcome::Invalid;
    for (const Route& r : routes)
        if (lockedByOther(client, r.output))
            return Outcome::Locked;
    if (!present_)
        return Outcome::Absent;
    for (const Route& r : routes) {
        // As the window's routing buttons send it: output and input as one
        // hexadecimal digit each.
        QString command = protocol::routeCommand(10 * (r.output + 1) + r.input + 1);
        command.chop(2); // the line end is the owner's
        emit commandRequested(command);
    }
    return Outcome::Done;
}

RouterState::Outcome RouterState::requestPresetRecall(const QString& client, int preset) {
    if (preset < 0 || preset >= kPresets)
        return Outcome::Invalid;
    if (anyLockedByOther(client))
        return Outcome::Locked;
    if (!present_)
        return Outcome::Absent;
    emit commandRequested(protocol::presetRecallCommand(preset));
    return Outcome::Done;
}

RouterState::Outcome RouterState::requestPresetSave(const QString&, int preset) {
    if (preset < 0 || preset >= kPresets)
        return Outcome::Invalid;
    if (!present_)
        return Outcome::Absent;
    emit commandRequested(protocol::presetSaveCommand(preset));
    return Outcome::Done;
}

RouterState::Outcome RouterState::requestAllOutputs(const QString& client, int input) {
    if (!validInput(input))
        return Outcome::Invalid;
    if (anyLockedByOther(client))
        return Outcome::Locked;
    if (!present_)
        return Outcome::Absent;
    emit commandRequested(protocol::allOutputsCommand(input));
    return Outcome::Done;
}

RouterState::Outcome RouterState::setLabels(Side side, const QList<LabelChange>& changes) {
    if (changes.isEmpty())
        return Outcome::Invalid;
    for (const LabelChange& c : changes)
        if (c.port < 0 || c.port >= 8 || !labelAllowed(c.text))
            return Outcome::Invalid;
    auto& labels = side == Side::Inputs ? inputLabels_ : outputLabels_;
    auto next = labels;
    QList<int> changed;
    for (const LabelChange& c : changes) {
        // Stored as typed, but the default text is the default.
        const QString text = c.text == defaultLabel(side, c.port) ? QString() : c.text;
        if (next[c.port] != text) {
            next[c.port] = text;
            if (!changed.contains(c.port))
                changed.append(c.port);
        }
    }
    if (!changed.isEmpty() && keepLabels && !keepLabels(side, next))
        return Outcome::Invalid;
    labels = next;
    std::sort(changed.begin(), changed.end());
    if (!changed.isEmpty())
        emit labelsChanged(side, changed);
    return Outcome::Done;
}

RouterState::Outcome RouterState::changeLocks(const QString& client,
                                              const QList<LockChange>& changes) {
    if (changes.isEmpty() || client.isEmpty())
        return Outcome::Invalid;
    for (const LockChange& c : changes) {
        if (!validOutput(c.output))
            return Outcome::Invalid;
        if (c.action == LockAction::Own && lockedByOther(client, c.output))
            return Outcome::Locked;
        if (c.action == LockAction::Unlock && locks_[c.output] != client)
            return Outcome::Locked;
    }
    QList<int> changed;
    for (const LockChange& c : changes) {
        const QString owner = c.action == LockAction::Own ? client : QString();
        if (locks_[c.output] != owner) {
            locks_[c.output] = owner;
            if (!changed.contains(c.output))
                changed.append(c.output);
        }
    }
    std::sort(changed.begin(), changed.end());
    if (!changed.isEmpty())
        emit locksChanged(changed);
    return Outcome::Done;
}

void RouterState::setPresent(bool present) {
    if (present_ == present)
        return;
    present_ = present;
    emit presenceChanged(present);
}

void RouterState::setInput(int output, int input) {
    if (!validOutput(output) || !validInput(input) || routing_[output] == input)
        return;
    routing_[output] = input;
    emit routingChanged({output});
}

void RouterState::loadLabels(Side side, const std::array<QString, 8>& labels) {
    auto& mine = side == Side::Inputs ? inputLabels_ : outputLabels_;
    for (int p = 0; p < 8; ++p)
        mine[p] =
            labelAllowed(labels[p]) && labels[p] != defaultLabel(side, p) ? labels[p] : QString();
}

} // namespace server
