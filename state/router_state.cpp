#include "state/router_state.h"

#include "core/device/request_queue.h"
#include "core/device/requests.h"

#include <algorithm>
#include <memory>

namespace server {

namespace {

using device::RequestError;

Outcome outcomeOf(RequestError error) {
    switch (error) {
    case RequestError::None:
        return Outcome::Done;
    case RequestError::TimedOut:
        return Outcome::TimedOut;
    case RequestError::DeviceError:
    case RequestError::Mismatch:
        return Outcome::Failed;
    case RequestError::NotWritten:
    case RequestError::Cancelled:
        break;
    }
    return Outcome::Absent;
}

// A label as the log shows it: one far over the limit is refused, and only
// its start is worth keeping in the log and the audit trail.
QString quoted(const QString& text) {
    constexpr qsizetype kShown = 2 * RouterState::kMaxLabelLength; // UTF-16 units
    return text.size() > kShown ? text.left(kShown) + QStringLiteral("...") : text;
}

} // namespace

RouterState::RouterState(const protocol::Model& model, QObject* parent)
    : QObject(parent), model_(model), routing_(model.outputs, 0), inputLabels_(model.inputs),
      outputLabels_(model.outputs), locks_(model.outputs) {}

RouterState::~RouterState() = default;

void RouterState::attach(device::RequestQueue* queue) {
    if (queue_)
        disconnect(queue_, nullptr, this, nullptr);
    queue_ = queue;
    if (!queue_)
        return;
    connect(queue_, &device::RequestQueue::routingReported, this, [this](int output, int input) {
        if (!model_.isOutput(output) || !model_.isInput(input))
            return;
        // A report is the switcher answering, whoever asked.
        setPresent(true);
        setInput(output, input);
    });
    connect(queue_, &device::RequestQueue::answered, this,
            [this](qint64 nanoseconds) { replyTimes_.add(nanoseconds); });
}

bool RouterState::Salvo::add(Route route) {
    if (!model_.isOutput(route.output) || !model_.isInput(route.input))
        return false;
    input_[route.output - 1] = route.input;
    order_[route.output - 1] = ++added_;
    return true;
}

QList<RouterState::Route> RouterState::Salvo::routes() const {
    QList<Route> out;
    for (int o = 1; o <= model_.outputs; ++o)
        if (order_[o - 1] != 0)
            out.append({o, input_[o - 1]});
    std::sort(out.begin(), out.end(), [this](const Route& a, const Route& b) {
        return order_[a.output - 1] < order_[b.output - 1];
    });
    return out;
}

QList<int> RouterState::allPorts(Side side) const {
    QList<int> all;
    for (int p = 1; p <= ports(side); ++p)
        all.append(p);
    return all;
}

int RouterState::input(int output) const {
    return model_.isOutput(output) ? routing_[output - 1] : 0;
}

QString RouterState::label(Side side, int port) const {
    if (port < 1 || port > ports(side))
        return {};
    const QString& text = side == Side::Inputs ? inputLabels_[port - 1] : outputLabels_[port - 1];
    return text.isEmpty() ? defaultLabel(side, port) : text;
}

QString RouterState::lockOwner(int output) const {
    return model_.isOutput(output) ? locks_[output - 1] : QString();
}

QString RouterState::defaultLabel(Side side, int port) {
    return (side == Side::Inputs ? QStringLiteral("Input %1") : QStringLiteral("Output %1"))
        .arg(port);
}

qsizetype RouterState::textLength(const QString& text) {
    qsizetype characters = 0;
    for (auto it = text.cbegin(); it != text.cend(); ++it) {
        char32_t c = it->unicode();
        if (it->isHighSurrogate() && it + 1 != text.cend() && (it + 1)->isLowSurrogate()) {
            c = QChar::surrogateToUcs4(*it, *(it + 1));
            ++it;
        } else if (it->isSurrogate()) {
            return -1; // not text UTF-8 can carry
        }
        if (QChar::category(c) == QChar::Other_Control || c == 0x2028 || c == 0x2029)
            return -1;
        ++characters;
    }
    return characters;
}

bool RouterState::labelAllowed(const QString& text) {
    const qsizetype characters = textLength(text);
    return characters >= 0 && characters <= kMaxLabelLength;
}

bool RouterState::lockedByOther(const QString& client, int output) const {
    const QString& owner = locks_[output - 1];
    return !owner.isEmpty() && owner != client;
}

bool RouterState::anyLockedByOther(const QString& client) const {
    for (int o = 1; o <= model_.outputs; ++o)
        if (lockedByOther(client, o))
            return true;
    return false;
}

Outcome RouterState::refusal(const QString& client, int requests) const {
    if (!present_ || !queue_)
        return Outcome::Absent;
    if (clients_.value(client).outstanding + requests > maxWaiting())
        return Outcome::Busy;
    return Outcome::Queued;
}

Outcome RouterState::submit(const QString& client, const QList<device::Request*>& requests,
                            const QString& what, const QList<int>& outputs, Finished finished) {
    Client& c = clients_[client];
    if (c.id == 0)
        c.id = nextId_--;
    c.outstanding += int(requests.size());
    const int id = c.id; // c may go with the last request to end
    // One verdict for the whole: the first thing that went wrong.
    struct Progress {
        qsizetype left;
        Outcome outcome = Outcome::Done;
    };
    auto progress = std::make_shared<Progress>(Progress{requests.size()});
    for (device::Request* r : requests) {
        queue_->submit(r, id);
        auto ended = [this, client, what, outputs, finished,
                      progress](const device::RequestResult& result) {
            const Outcome o = outcomeOf(result.error);
            if (progress->outcome == Outcome::Done)
                progress->outcome = o;
            if (auto it = clients_.find(client); it != clients_.end() && --it->outstanding == 0)
                clients_.erase(it);
            if (--progress->left > 0)
                return;
            if (progress->outcome != Outcome::Done)
                emit requestFailed(client, what, progress->outcome, outputs);
            if (finished)
                finished(progress->outcome);
        };
        if (r->isDone())
            ended(r->result());
        else
            connect(r, &device::Request::finished, this, ended);
    }
    return Outcome::Queued;
}

Outcome RouterState::requestRoutes(const QString& client, const QList<Route>& routes,
                                   Finished finished) {
    if (routes.isEmpty())
        return Outcome::Invalid;
    Salvo salvo(model_);
    for (const Route& r : routes)
        if (!salvo.add(r))
            return Outcome::Invalid;
    const QList<Route> wanted = salvo.routes();
    for (const Route& r : wanted)
        if (lockedByOther(client, r.output))
            return Outcome::Locked;
    if (const Outcome o = refusal(client, int(wanted.size())); o != Outcome::Queued)
        return o;
    QList<device::Request*> requests;
    QList<int> outputs;
    for (const Route& r : wanted) {
        requests.append(
            device::RoutingRequest::route(r.output, r.input, protocol::kRoutingTimeoutMs));
        outputs.append(r.output);
    }
    return submit(client, requests, routesText(wanted), outputs, std::move(finished));
}

Outcome RouterState::requestPresetRecall(const QString& client, int preset, Finished finished) {
    if (!model_.isPreset(preset))
        return Outcome::Invalid;
    if (anyLockedByOther(client))
        return Outcome::Locked;
    if (const Outcome o = refusal(client, 1); o != Outcome::Queued)
        return o;
    return submit(client,
                  {device::RoutingRequest::presetRecall(preset, protocol::kRoutingTimeoutMs)},
                  presetText(false, preset), allPorts(Side::Outputs), std::move(finished));
}

Outcome RouterState::requestPresetSave(const QString& client, int preset, Finished finished) {
    if (!model_.isPreset(preset))
        return Outcome::Invalid;
    if (const Outcome o = refusal(client, 1); o != Outcome::Queued)
        return o;
    return submit(client, {device::AckRequest::presetSave(preset, protocol::kRoutingTimeoutMs)},
                  presetText(true, preset), {}, std::move(finished));
}

Outcome RouterState::requestAllOutputs(const QString& client, int input, Finished finished) {
    if (!model_.isInput(input))
        return Outcome::Invalid;
    if (anyLockedByOther(client))
        return Outcome::Locked;
    if (const Outcome o = refusal(client, 1); o != Outcome::Queued)
        return o;
    return submit(client, {device::RoutingRequest::allOutputs(input, protocol::kRoutingTimeoutMs)},
                  allOutputsText(input), allPorts(Side::Outputs), std::move(finished));
}

RouterState::Change RouterState::Change::toRoutes(const QList<Route>& routes, const QString& what) {
    Change c;
    c.routes = routes;
    c.what = what;
    return c;
}

RouterState::Change RouterState::Change::allOutputs(int input) {
    Change c;
    c.kind = Kind::AllOutputs;
    c.number = input;
    return c;
}

RouterState::Change RouterState::Change::presetRecall(int preset) {
    Change c;
    c.kind = Kind::PresetRecall;
    c.number = preset;
    return c;
}

RouterState::Change RouterState::Change::presetSave(int preset) {
    Change c;
    c.kind = Kind::PresetSave;
    c.number = preset;
    return c;
}

RouterState::Change RouterState::Change::toLabels(Side side, const QList<LabelChange>& labels) {
    Change c;
    c.kind = Kind::Labels;
    c.side = side;
    c.labels = labels;
    return c;
}

RouterState::Change RouterState::Change::toLocks(const QList<LockChange>& locks) {
    Change c;
    c.kind = Kind::Locks;
    c.locks = locks;
    return c;
}

Role RouterState::needs(Change::Kind kind) {
    switch (kind) {
    case Change::Kind::Routes:
    case Change::Kind::AllOutputs:
    case Change::Kind::PresetRecall:
    case Change::Kind::Locks:
        return Role::Operator;
    case Change::Kind::PresetSave:
    case Change::Kind::Labels:
        break;
    }
    return Role::Admin;
}

QString RouterState::describe(const Change& c) {
    if (!c.what.isEmpty())
        return c.what;
    switch (c.kind) {
    case Change::Kind::Routes:
        return routesText(c.routes);
    case Change::Kind::AllOutputs:
        return allOutputsText(c.number);
    case Change::Kind::PresetRecall:
        return presetText(false, c.number);
    case Change::Kind::PresetSave:
        return presetText(true, c.number);
    case Change::Kind::Labels:
        return labelsText(c.side, c.labels);
    case Change::Kind::Locks:
        break;
    }
    return locksText(c.locks);
}

bool RouterState::within(const Asker& asker, const Change& change) const {
    if (!asker.limited)
        return true;
    switch (change.kind) {
    case Change::Kind::Routes:
        return std::all_of(change.routes.begin(), change.routes.end(),
                           [&](const Route& r) { return asker.reaches(r.output); });
    case Change::Kind::Labels:
        // An input feeds every room: its name is not one room's to change.
        return change.side == Side::Outputs &&
               std::all_of(change.labels.begin(), change.labels.end(),
                           [&](const LabelChange& l) { return asker.reaches(l.port); });
    case Change::Kind::Locks:
        return std::all_of(change.locks.begin(), change.locks.end(),
                           [&](const LockChange& l) { return asker.reaches(l.output); });
    case Change::Kind::AllOutputs:
    case Change::Kind::PresetRecall:
    case Change::Kind::PresetSave:
        break;
    }
    // These change every output, or what the switcher keeps for all.
    return false;
}

RequestKind RouterState::kindOf(const Change& c) {
    switch (c.kind) {
    case Change::Kind::Routes:
        return c.scene               ? RequestKind::Scene
               : c.routes.size() > 1 ? RequestKind::Salvo
                                     : RequestKind::Route;
    case Change::Kind::AllOutputs:
        return RequestKind::Salvo;
    case Change::Kind::PresetRecall:
    case Change::Kind::PresetSave:
        return RequestKind::Preset;
    case Change::Kind::Labels:
        return RequestKind::Label;
    case Change::Kind::Locks:
        break;
    }
    return RequestKind::Lock;
}

Outcome RouterState::ask(const Asker& asker, const Change& change, Finished finished) {
    const QString what = describe(change);
    // Once it is over, and only then, the trail says how it went.
    QPointer<RouterState> self(this);
    const RequestKind kind = kindOf(change);
    auto ended = [self, asker, what, finished, kind](Outcome o) {
        if (self) {
            self->audit_.record(asker.who, asker.from, what, o, true);
            self->requests_.add(asker.frontend, kind, o);
        }
        if (finished)
            finished(o);
    };
    Outcome now = Outcome::Forbidden;
    if (asker.role >= needs(change.kind) && within(asker, change)) {
        switch (change.kind) {
        case Change::Kind::Routes:
            now = requestRoutes(asker.client, change.routes, ended);
            break;
        case Change::Kind::AllOutputs:
            now = requestAllOutputs(asker.client, change.number, ended);
            break;
        case Change::Kind::PresetRecall:
            now = requestPresetRecall(asker.client, change.number, ended);
            break;
        case Change::Kind::PresetSave:
            now = requestPresetSave(asker.client, change.number, ended);
            break;
        case Change::Kind::Labels:
            now = setLabels(change.side, change.labels);
            break;
        case Change::Kind::Locks:
            now = changeLocks(asker.client, change.locks);
        }
    }
    if (now == Outcome::Queued)
        return now;
    requests_.add(asker.frontend, kind, now);
    // Labels refused are recorded by their size: what a client sends that
    // is not taken has no place in the trail.
    if (now == Outcome::Invalid && change.kind == Change::Kind::Labels && change.what.isEmpty()) {
        QList<QPair<int, qsizetype>> sizes;
        for (const LabelChange& l : change.labels)
            sizes.append({l.port, l.text.size()});
        audit_.record(asker.who, asker.from,
                      AuditTrail::refusedLabels(change.side == Side::Inputs
                                                    ? QStringLiteral("input")
                                                    : QStringLiteral("output"),
                                                sizes),
                      now);
    } else {
        audit_.record(asker.who, asker.from, what, now);
    }
    return now;
}

QString RouterState::routesText(const QList<Route>& routes) {
    QStringList words;
    for (const Route& r : routes)
        words.append(QStringLiteral("output %1 to input %2").arg(r.output).arg(r.input));
    return QStringLiteral("route ") + words.join(QStringLiteral(", "));
}

QString RouterState::presetText(bool save, int preset) {
    return (save ? QStringLiteral("save preset %1") : QStringLiteral("recall preset %1"))
        .arg(preset);
}

QString RouterState::allOutputsText(int input) {
    return QStringLiteral("route every output to input %1").arg(input);
}

QString RouterState::labelsText(Side side, const QList<LabelChange>& changes) {
    QStringList words;
    for (const LabelChange& c : changes)
        words.append(
            QStringLiteral("%1 %2 \"%3\"")
                .arg(side == Side::Inputs ? QLatin1String("input") : QLatin1String("output"))
                .arg(c.port)
                .arg(quoted(c.text)));
    return QStringLiteral("label ") + words.join(QStringLiteral(", "));
}

QString RouterState::locksText(const QList<LockChange>& changes) {
    QStringList words;
    for (const LockChange& c : changes)
        words.append((c.action == LockAction::Own      ? QStringLiteral("lock output %1")
                      : c.action == LockAction::Unlock ? QStringLiteral("unlock output %1")
                                                       : QStringLiteral("force unlock output %1"))
                         .arg(c.output));
    return words.join(QStringLiteral(", "));
}

Outcome RouterState::setLabels(Side side, const QList<LabelChange>& changes) {
    if (changes.isEmpty())
        return Outcome::Invalid;
    for (const LabelChange& c : changes)
        if (c.port < 1 || c.port > ports(side) || !labelAllowed(c.text))
            return Outcome::Invalid;
    QString* labels = side == Side::Inputs ? inputLabels_.data() : outputLabels_.data();
    QStringList next(labels, labels + ports(side));
    QList<int> changed;
    for (const LabelChange& c : changes) {
        // Stored as typed, but the default text is the default.
        const QString text = c.text == defaultLabel(side, c.port) ? QString() : c.text;
        if (next[c.port - 1] != text) {
            next[c.port - 1] = text;
            if (!changed.contains(c.port))
                changed.append(c.port);
        }
    }
    if (!changed.isEmpty() && keepLabels && !keepLabels(side, next))
        return Outcome::Failed;
    std::copy(next.begin(), next.end(), labels);
    std::sort(changed.begin(), changed.end());
    if (!changed.isEmpty())
        emit labelsChanged(side, changed);
    return Outcome::Done;
}

Outcome RouterState::changeLocks(const QString& client, const QList<LockChange>& changes) {
    if (changes.isEmpty() || client.isEmpty())
        return Outcome::Invalid;
    for (const LockChange& c : changes) {
        if (!model_.isOutput(c.output))
            return Outcome::Invalid;
        if (c.action == LockAction::Own && lockedByOther(client, c.output))
            return Outcome::Locked;
        if (c.action == LockAction::Unlock && locks_[c.output - 1] != client)
            return Outcome::Locked;
    }
    QList<int> changed;
    for (const LockChange& c : changes) {
        const QString owner = c.action == LockAction::Own ? client : QString();
        if (locks_[c.output - 1] != owner) {
            locks_[c.output - 1] = owner;
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
    absences_ += !present;
    if (!present && queue_) {
        // Nothing waits for a switcher that is not there: each request
        // ends as Absent (and leaves clients_ as it does).
        const QList<Client> waiting = clients_.values();
        for (const Client& c : waiting)
            queue_->drop(c.id);
    }
    emit presenceChanged(present);
}

void RouterState::setInput(int output, int input) {
    if (!model_.isOutput(output) || !model_.isInput(input) || routing_[output - 1] == input)
        return;
    routing_[output - 1] = input;
    emit routingChanged({output});
}

void RouterState::loadLabels(Side side, const QStringList& labels) {
    QString* mine = side == Side::Inputs ? inputLabels_.data() : outputLabels_.data();
    for (int p = 1; p <= ports(side); ++p) {
        const QString text = labels.value(p - 1);
        mine[p - 1] = labelAllowed(text) && text != defaultLabel(side, p) ? text : QString();
    }
}

} // namespace server
