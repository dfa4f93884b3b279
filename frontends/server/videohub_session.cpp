#include "frontends/server/videohub_session.h"

#include <QHash>

namespace server {

namespace {

using Side = RouterState::Side;

QByteArray block(QByteArrayView header, const QStringList& lines) {
    QByteArray out = header.toByteArray();
    out += '\n';
    for (const QString& l : lines) {
        out += l.toUtf8();
        out += '\n';
    }
    out += '\n';
    return out;
}

// A port as the protocol counts it, from 0: decimal digits without a sign.
// The port from 1, or 0 when it names none of count.
int portNumber(QStringView text, int count) {
    if (text.isEmpty() || text.size() > 3)
        return 0;
    int v = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return 0;
        v = v * 10 + (c.unicode() - '0');
    }
    return v < count ? v + 1 : 0;
}

// Sections a Videohub may have and this router lacks: asked for, they are
// empty; changes are refused.
bool isLackingSection(const QString& header) {
    static const QStringList lacking{
        QStringLiteral("MONITORING OUTPUT LABELS:"),
        QStringLiteral("VIDEO MONITORING OUTPUT ROUTING:"),
        QStringLiteral("MONITORING OUTPUT LOCKS:"),
        QStringLiteral("VIDEO MONITORING OUTPUT LOCKS:"),
        QStringLiteral("SERIAL PORT LABELS:"),
        QStringLiteral("SERIAL PORT ROUTING:"),
        QStringLiteral("SERIAL PORT LOCKS:"),
        QStringLiteral("SERIAL PORT DIRECTIONS:"),
        QStringLiteral("PROCESSING UNIT ROUTING:"),
        QStringLiteral("PROCESSING UNIT LOCKS:"),
        QStringLiteral("FRAME LABELS:"),
        QStringLiteral("FRAME BUFFER ROUTING:"),
        QStringLiteral("FRAME BUFFER LOCKS:"),
        QStringLiteral("VIDEO INPUT STATUS:"),
        QStringLiteral("VIDEO OUTPUT STATUS:"),
        QStringLiteral("ALARM STATUS:"),
    };
    return lacking.contains(header);
}

} // namespace

// The sections this router has: what a bare header is answered with, and
// what a block with lines does (none: such a block is refused).
struct VideohubSession::Section {
    QLatin1String header;
    QByteArray (VideohubSession::*dump)() const;
    Answer (VideohubSession::*change)(const QStringList& body);
};

const VideohubSession::Section VideohubSession::kSections[] = {
    {QLatin1String("PING:"), &VideohubSession::nothing, nullptr},
    {QLatin1String("PROTOCOL PREAMBLE:"), &VideohubSession::preambleBlock, nullptr},
    {QLatin1String("VIDEOHUB DEVICE:"), &VideohubSession::deviceBlock, nullptr},
    {QLatin1String("CONFIGURATION:"), &VideohubSession::configurationBlock, nullptr},
    {QLatin1String("END PRELUDE:"), &VideohubSession::endBlock, nullptr},
    {QLatin1String("INPUT LABELS:"), &VideohubSession::inputLabelsBlock,
     &VideohubSession::changeInputLabels},
    {QLatin1String("OUTPUT LABELS:"), &VideohubSession::outputLabelsBlock,
     &VideohubSession::changeOutputLabels},
    {QLatin1String("VIDEO OUTPUT LOCKS:"), &VideohubSession::allLocksBlock,
     &VideohubSession::changeLocks},
    {QLatin1String("VIDEO OUTPUT ROUTING:"), &VideohubSession::allRoutingBlock,
     &VideohubSession::changeRouting},
};

VideohubSession::VideohubSession(RouterState& state, const DeviceInfo& info, const QString& client,
                                 QObject* parent)
    : QObject(parent), state_(state), info_(info), client_(client) {
    connect(&state_, &RouterState::presenceChanged, this, [this] { broadcast(deviceBlock()); });
    connect(&state_, &RouterState::routingChanged, this,
            [this](const QList<int>& outputs) { broadcast(routingBlock(outputs)); });
    // A request the switcher did not carry out: what it reports stands.
    connect(&state_, &RouterState::requestFailed, this,
            [this](const QString&, const QString&, Outcome, const QList<int>& outputs) {
                if (!outputs.isEmpty())
                    broadcast(routingBlock(outputs));
            });
    connect(&state_, &RouterState::labelsChanged, this,
            [this](Side side, const QList<int>& ports) { broadcast(labelsBlock(side, ports)); });
    connect(&state_, &RouterState::locksChanged, this,
            [this](const QList<int>& outputs) { broadcast(locksBlock(outputs)); });
}

QByteArray VideohubSession::preambleBlock() const {
    return block("PROTOCOL PREAMBLE:", {QStringLiteral("Version: 2.8")});
}

QByteArray VideohubSession::deviceBlock() const {
    return block("VIDEOHUB DEVICE:",
                 {QStringLiteral("Device present: ") +
                      (state_.present() ? QStringLiteral("true") : QStringLiteral("false")),
                  QStringLiteral("Model name: ") + info_.modelName,
                  QStringLiteral("Friendly name: ") + info_.friendlyName,
                  QStringLiteral("Unique ID: ") + info_.uniqueId,
                  QStringLiteral("Video inputs: %1").arg(state_.model().inputs),
                  QStringLiteral("Video processing units: 0"),
                  QStringLiteral("Video outputs: %1").arg(state_.model().outputs),
                  QStringLiteral("Video monitoring outputs: 0"),
                  QStringLiteral("Serial ports: 0")});
}

QByteArray VideohubSession::labelsBlock(Side side, const QList<int>& ports) const {
    QStringList lines;
    for (int p : ports)
        lines.append(QString::number(p - 1) + QLatin1Char(' ') + state_.label(side, p));
    return block(side == Side::Inputs ? "INPUT LABELS:" : "OUTPUT LABELS:", lines);
}

QByteArray VideohubSession::locksBlock(const QList<int>& outputs) const {
    QStringList lines;
    for (int o : outputs) {
        const QString owner = state_.lockOwner(o);
        const char* mark = owner.isEmpty() ? "U" : owner == client_ ? "O" : "L";
        lines.append(QString::number(o - 1) + QLatin1Char(' ') + QLatin1String(mark));
    }
    return block("VIDEO OUTPUT LOCKS:", lines);
}

QByteArray VideohubSession::routingBlock(const QList<int>& outputs) const {
    QStringList lines;
    for (int o : outputs) {
        // An output whose input is not known yet is left out.
        if (const int i = state_.input(o))
            lines.append(QStringLiteral("%1 %2").arg(o - 1).arg(i - 1));
    }
    return block("VIDEO OUTPUT ROUTING:", lines);
}

QByteArray VideohubSession::configurationBlock() const {
    return block("CONFIGURATION:", {QStringLiteral("Take Mode: false")});
}

QByteArray VideohubSession::endBlock() const {
    return block("END PRELUDE:", {});
}

QByteArray VideohubSession::inputLabelsBlock() const {
    return labelsBlock(Side::Inputs, state_.allPorts(Side::Inputs));
}

QByteArray VideohubSession::outputLabelsBlock() const {
    return labelsBlock(Side::Outputs, state_.allPorts(Side::Outputs));
}

QByteArray VideohubSession::allLocksBlock() const {
    return locksBlock(state_.allPorts(Side::Outputs));
}

QByteArray VideohubSession::allRoutingBlock() const {
    return routingBlock(state_.allPorts(Side::Outputs));
}

QByteArray VideohubSession::greeting() const {
    return preambleBlock() + deviceBlock() + inputLabelsBlock() + outputLabelsBlock() +
           allLocksBlock() + allRoutingBlock() + configurationBlock() + endBlock();
}

void VideohubSession::receive(QByteArrayView bytes) {
    QList<Block> blocks;
    const bool ok = reader_.feed(bytes, blocks);
    for (const Block& b : blocks)
        handle(b);
    if (!ok)
        emit overflowed();
}

void VideohubSession::broadcast(const QByteArray& bytes) {
    if (inRequest_)
        deferred_ += bytes;
    else
        emit send(bytes);
}

void VideohubSession::handle(const Block& b) {
    inRequest_ = true;
    QByteArray reply;
    const Answer a = answer(b, &reply);
    inRequest_ = false;
    if (a != Answer::Ignore) {
        emit send(a == Answer::Ack ? QByteArrayLiteral("ACK\n\n") : QByteArrayLiteral("NAK\n\n"));
        emit handled(b.header, int(b.body.size()), a == Answer::Ack);
        if (!reply.isEmpty())
            emit send(reply);
    }
    if (!deferred_.isEmpty())
        emit send(std::exchange(deferred_, {}));
}

VideohubSession::Answer VideohubSession::answer(const Block& b, QByteArray* reply) {
    if (b.badText || !b.header.endsWith(QLatin1Char(':')))
        return Answer::Nak;
    const bool bare = b.body.isEmpty();
    if (isLackingSection(b.header)) {
        if (!bare)
            return Answer::Nak;
        *reply = block(b.header.toUtf8(), {});
        return Answer::Ack;
    }
    for (const Section& s : kSections) {
        if (b.header != s.header)
            continue;
        if (bare) {
            *reply = (this->*s.dump)();
            return Answer::Ack;
        }
        return s.change ? (this->*s.change)(b.body) : Answer::Nak;
    }
    return Answer::Ignore;
}

Outcome VideohubSession::audited(const QString& what, Outcome o) {
    state_.audit().record(QStringLiteral("videohub"), client_, what, o);
    return o;
}

VideohubSession::Answer VideohubSession::verdict(Outcome o) {
    return accepted(o) ? Answer::Ack : Answer::Nak;
}

VideohubSession::Answer VideohubSession::changeRouting(const QStringList& body) {
    QList<RouterState::Route> routes;
    for (const QString& line : body) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() != 2)
            return Answer::Nak;
        const int o = portNumber(parts[0], state_.model().outputs);
        const int i = portNumber(parts[1], state_.model().inputs);
        if (o == 0 || i == 0)
            return Answer::Nak;
        routes.append({o, i});
    }
    return verdict(audited(RouterState::routesText(routes), state_.requestRoutes(client_, routes)));
}

VideohubSession::Answer VideohubSession::changeLabels(Side side, const QStringList& body) {
    QList<RouterState::LabelChange> changes;
    for (const QString& line : body) {
        const qsizetype blank = line.indexOf(QLatin1Char(' '));
        const int port =
            portNumber(QStringView(line).left(blank < 0 ? line.size() : blank), state_.ports(side));
        if (port == 0)
            return Answer::Nak;
        changes.append({port, blank < 0 ? QString() : line.mid(blank + 1)});
    }
    return verdict(
        audited(RouterState::labelsText(side, changes), state_.setLabels(side, changes)));
}

VideohubSession::Answer VideohubSession::changeInputLabels(const QStringList& body) {
    return changeLabels(Side::Inputs, body);
}

VideohubSession::Answer VideohubSession::changeOutputLabels(const QStringList& body) {
    return changeLabels(Side::Outputs, body);
}

VideohubSession::Answer VideohubSession::changeLocks(const QStringList& body) {
    static const QHash<QString, RouterState::LockAction> actions{
        {QStringLiteral("O"), RouterState::LockAction::Own},
        {QStringLiteral("U"), RouterState::LockAction::Unlock},
        {QStringLiteral("F"), RouterState::LockAction::Force}};
    QList<RouterState::LockChange> changes;
    for (const QString& line : body) {
        const QStringList parts = line.split(QLatin1Char(' '));
        if (parts.size() != 2 || !actions.contains(parts[1]))
            return Answer::Nak;
        const int o = portNumber(parts[0], state_.model().outputs);
        if (o == 0)
            return Answer::Nak;
        changes.append({o, actions.value(parts[1])});
    }
    return verdict(audited(RouterState::locksText(changes), state_.changeLocks(client_, changes)));
}

} // namespace server
