#include "frontends/server/videohub_session.h"

#include "core/protocol/numbers.h"

#include <algorithm>
#include <array>
#include <optional>

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

// A port as the protocol counts it, from 0; the port from 1, or 0 when it
// names none of count.
int portNumber(QByteArrayView text, int count) {
    return protocol::portNumber(text, count, 0);
}

// "A B": both words, split at the one blank; false without exactly one.
bool twoWords(QByteArrayView line, QByteArrayView* a, QByteArrayView* b) {
    const qsizetype blank = line.indexOf(' ');
    if (blank < 0 || line.sliced(blank + 1).contains(' '))
        return false;
    *a = line.first(blank);
    *b = line.sliced(blank + 1);
    return true;
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
    Answer (VideohubSession::*change)(const Block& block);
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
        emit handled(b.header, b.lines, a == Answer::Ack);
        if (!reply.isEmpty())
            emit send(reply);
    }
    if (!deferred_.isEmpty())
        emit send(std::exchange(deferred_, {}));
}

VideohubSession::Answer VideohubSession::answer(const Block& b, QByteArray* reply) {
    if (b.badText || !b.header.endsWith(QLatin1Char(':')))
        return Answer::Nak;
    const bool bare = b.lines == 0;
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
        return s.change ? (this->*s.change)(b) : Answer::Nak;
    }
    return Answer::Ignore;
}

Outcome VideohubSession::ask(const RouterState::Change& change) {
    return state_.ask(
        {client_, QStringLiteral("videohub"), client_, Role::Admin, Frontend::Videohub}, change);
}

VideohubSession::Answer VideohubSession::verdict(Outcome o) {
    return accepted(o) ? Answer::Ack : Answer::Nak;
}

VideohubSession::Answer VideohubSession::changeRouting(const Block& block) {
    RouterState::Salvo salvo(state_.model());
    const bool read = block.eachLine([&](QByteArrayView line) {
        QByteArrayView o, i;
        return twoWords(line, &o, &i) && salvo.add({portNumber(o, state_.model().outputs),
                                                    portNumber(i, state_.model().inputs)});
    });
    if (!read)
        return Answer::Nak;
    const QList<RouterState::Route> routes = salvo.routes();
    return verdict(ask(RouterState::Change::toRoutes(routes)));
}

VideohubSession::Answer VideohubSession::changeLabels(Side side, const Block& block) {
    // The last text for each port; a text the rules refuse refuses the whole,
    // as setLabels would, so the first such is what goes on to say so.
    QList<std::optional<QString>> last(std::max(state_.model().inputs, state_.model().outputs));
    std::optional<RouterState::LabelChange> refused;
    const bool read = block.eachLine([&](QByteArrayView line) {
        const qsizetype blank = line.indexOf(' ');
        const int port = portNumber(blank < 0 ? line : line.first(blank), state_.ports(side));
        if (port == 0)
            return false;
        QString text = blank < 0 ? QString() : QString::fromUtf8(line.sliced(blank + 1));
        if (!refused && !RouterState::labelAllowed(text))
            refused = RouterState::LabelChange{port, text};
        last[port - 1] = std::move(text);
        return true;
    });
    if (!read)
        return Answer::Nak;
    QList<RouterState::LabelChange> changes;
    if (refused)
        changes.append(*refused);
    else
        for (int p = 1; p <= state_.ports(side); ++p)
            if (last[p - 1])
                changes.append({p, *last[p - 1]});
    return verdict(ask(RouterState::Change::toLabels(side, changes)));
}

VideohubSession::Answer VideohubSession::changeInputLabels(const Block& block) {
    return changeLabels(Side::Inputs, block);
}

VideohubSession::Answer VideohubSession::changeOutputLabels(const Block& block) {
    return changeLabels(Side::Outputs, block);
}

VideohubSession::Answer VideohubSession::changeLocks(const Block& block) {
    using Action = RouterState::LockAction;
    // Per output: the last action, and whether taking and releasing one's
    // own were asked at all, since either may refuse the whole; in the
    // order of the last actions.
    struct Asked {
        Action last = Action::Own;
        qint64 order = 0; // 0: nothing asked
        bool own = false;
        bool unlock = false;
    };
    QList<Asked> asked(state_.model().outputs);
    qint64 n = 0;
    const bool read = block.eachLine([&](QByteArrayView line) {
        QByteArrayView port, letter;
        if (!twoWords(line, &port, &letter))
            return false;
        const int o = portNumber(port, state_.model().outputs);
        const std::optional<Action> a = letter == "O"   ? Action::Own
                                        : letter == "U" ? Action::Unlock
                                        : letter == "F" ? std::optional(Action::Force)
                                                        : std::nullopt;
        if (o == 0 || !a)
            return false;
        Asked& x = asked[o - 1];
        x = {*a, ++n, x.own || *a == Action::Own, x.unlock || *a == Action::Unlock};
        return true;
    });
    if (!read)
        return Answer::Nak;
    QList<int> outputs;
    for (int o = 1; o <= state_.model().outputs; ++o)
        if (asked[o - 1].order != 0)
            outputs.append(o);
    std::sort(outputs.begin(), outputs.end(),
              [&](int a, int b) { return asked[a - 1].order < asked[b - 1].order; });
    // What the lines amount to: the checks they ask for, then the last.
    QList<RouterState::LockChange> changes;
    for (const int o : outputs) {
        const Asked& x = asked[o - 1];
        if (x.own && x.last != Action::Own)
            changes.append({o, Action::Own});
        if (x.unlock && x.last != Action::Unlock)
            changes.append({o, Action::Unlock});
        changes.append({o, x.last});
    }
    return verdict(ask(RouterState::Change::toLocks(changes)));
}

} // namespace server
