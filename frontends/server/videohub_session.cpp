#include "frontends/server/videohub_session.h"

namespace server {

namespace {

using Side = RouterState::Side;

const QList<int>& allPorts() {
    static const QList<int> all{0, 1, 2, 3, 4, 5, 6, 7};
    return all;
}

QByteArray block(const char* header, const QStringList& lines) {
    QByteArray out = header;
    out += '\n';
    for (const QString& l : lines) {
        out += l.toUtf8();
        out += '\n';
    }
    out += '\n';
    return out;
}

// A port number: decimal digits without a sign, 0..count-1.
int portNumber(QStringView text, int count) {
    if (text.isEmpty() || text.size() > 3)
        return -1;
    int v = 0;
    for (QChar c : text) {
        if (c < QLatin1Char('0') || c > QLatin1Char('9'))
            return -1;
        v = v * 10 + (c.unicode() - '0');
    }
    return v < count ? v : -1;
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

VideohubSession::VideohubSession(RouterState& state, const DeviceInfo& info, const QString& client,
                                 QObject* parent)
    : QObject(parent), state_(state), info_(info), client_(client) {
    connect(&state_, &RouterState::presenceChanged, this, [this] { broadcast(deviceBlock()); });
    connect(&state_, &RouterState::routingChanged, this,
            [this](const QList<int>& outputs) { broadcast(routingBlock(outputs)); });
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
                  QStringLiteral("Video inputs: %1").arg(RouterState::kInputs),
                  QStringLiteral("Video processing units: 0"),
                  QStringLiteral("Video outputs: %1").arg(RouterState::kOutputs),
                  QStringLiteral("Video monitoring outputs: 0"),
                  QStringLiteral("Serial ports: 0")});
}

QByteArray VideohubSession::labelsBlock(Side side, const QList<int>& ports) const {
    QStringList lines;
    for (int p : ports)
        lines.append(QString::number(p) + QLatin1Char(' ') + state_.label(side, p));
    return block(side == Side::Inputs ? "INPUT LABELS:" : "OUTPUT LABELS:", lines);
}

QByteArray VideohubSession::locksBlock(const QList<int>& outputs) const {
    QStringList lines;
    for (int o : outputs) {
        const QString owner = state_.lockOwner(o);
        const char* mark = owner.isEmpty() ? "U" : owner == client_ ? "O" : "L";
        lines.append(QString::number(o) + QLatin1Char(' ') + QLatin1String(mark));
    }
    return block("VIDEO OUTPUT LOCKS:", lines);
}

QByteArray VideohubSession::routingBlock(const QList<int>& outputs) const {
    QStringList lines;
    for (int o : outputs) {
        // An output whose input is not known yet is left out.
        if (state_.input(o) >= 0)
            lines.append(QStringLiteral("%1 %2").arg(o).arg(state_.input(o)));
    }
    return block("VIDEO OUTPUT ROUTING:", lines);
}

QByteArray VideohubSession::configurationBlock() const {
    return block("CONFIGURATION:", {QStringLiteral("Take Mode: false")});
}

QByteArray VideohubSession::greeting() const {
    return preambleBlock() + deviceBlock() + labelsBlock(Side::Inputs, allPorts()) +
           labelsBlock(Side::Outputs, allPorts()) + locksBlock(allPorts()) +
           routingBlock(allPorts()) + configurationBlock() + block("END PRELUDE:", {});
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
    const QString& header = b.header;
    if (b.badText || !header.endsWith(QLatin1Char(':')))
        return Answer::Nak;
    const bool bare = b.body.isEmpty();
    auto dump = [&](QByteArray bytes) {
        *reply = std::move(bytes);
        return Answer::Ack;
    };
    if (header == QLatin1String("PING:"))
        return bare ? Answer::Ack : Answer::Nak;
    if (isLackingSection(header))
        return bare ? dump(block(header.toUtf8().constData(), {})) : Answer::Nak;
    // Blocks of the dump that clients may ask for but not change.
    if (header == QLatin1String("PROTOCOL PREAMBLE:"))
        return bare ? dump(preambleBlock()) : Answer::Nak;
    if (header == QLatin1String("VIDEOHUB DEVICE:"))
        return bare ? dump(deviceBlock()) : Answer::Nak;
    if (header == QLatin1String("CONFIGURATION:"))
        return bare ? dump(configurationBlock()) : Answer::Nak;
    if (header == QLatin1String("END PRELUDE:"))
        return bare ? dump(block("END PRELUDE:", {})) : Answer::Nak;

    if (header == QLatin1String("VIDEO OUTPUT ROUTING:")) {
        if (bare)
            return dump(routingBlock(allPorts()));
        QList<RouterState::Route> routes;
        for (const QString& line : b.body) {
            const QStringList parts = line.split(QLatin1Char(' '));
            if (parts.size() != 2)
                return Answer::Nak;
            const int o = portNumber(parts[0], RouterState::kOutputs);
            const int i = portNumber(parts[1], RouterState::kInputs);
            if (o < 0 || i < 0)
                return Answer::Nak;
            routes.append({o, i});
        }
        return state_.requestRoutes(client_, routes) == RouterState::Outcome::Done ? Answer::Ack
                                                                                   : Answer::Nak;
    }
    if (header == QLatin1String("INPUT LABELS:") || header == QLatin1String("OUTPUT LABELS:")) {
        const Side side = header.startsWith(QLatin1String("INPUT")) ? Side::Inputs : Side::Outputs;
        if (bare)
            return dump(labelsBlock(side, allPorts()));
        QList<RouterState::LabelChange> changes;
        for (const QString& line : b.body) {
            const qsizetype blank = line.indexOf(QLatin1Char(' '));
            const int port = portNumber(QStringView(line).left(blank < 0 ? line.size() : blank), 8);
            if (port < 0)
                return Answer::Nak;
            changes.append({port, blank < 0 ? QString() : line.mid(blank + 1)});
        }
        return state_.setLabels(side, changes) == RouterState::Outcome::Done ? Answer::Ack
                                                                             : Answer::Nak;
    }
    if (header == QLatin1String("VIDEO OUTPUT LOCKS:")) {
        if (bare)
            return dump(locksBlock(allPorts()));
        QList<RouterState::LockChange> changes;
        for (const QString& line : b.body) {
            const QStringList parts = line.split(QLatin1Char(' '));
            if (parts.size() != 2)
                return Answer::Nak;
            const int o = portNumber(parts[0], RouterState::kOutputs);
            RouterState::LockAction action;
            if (parts[1] == QLatin1String("O"))
                action = RouterState::LockAction::Own;
            else if (parts[1] == QLatin1String("U"))
                action = RouterState::LockAction::Unlock;
            else if (parts[1] == QLatin1String("F"))
                action = RouterState::LockAction::Force;
            else
                return Answer::Nak;
            if (o < 0)
                return Answer::Nak;
            changes.append({o, action});
        }
        return state_.changeLocks(client_, changes) == RouterState::Outcome::Done ? Answer::Ack
                                                                                  : Answer::Nak;
    }
    return Answer::Ignore;
}

} // namespace server
