#pragma once

#include "frontends/server/block_reader.h"
#include "state/router_state.h"

#include <QByteArray>
#include <QObject>
#include <QString>

namespace server {

// What the VIDEOHUB DEVICE: block says about this server.
struct DeviceInfo {
    QString modelName;
    QString friendlyName;
    QString uniqueId;
};

// One Videohub protocol client, without its socket: bytes in, bytes out.
// On creation it has the dump ready (greeting()); every request block gets
// ACK or NAK, a bare header ACK and that block; changes of the shared state
// reach it as broadcasts, locks shown from this client's point of view.
class VideohubSession : public QObject {
    Q_OBJECT
public:
    VideohubSession(RouterState& state, const DeviceInfo& info, const QString& client,
                    QObject* parent = nullptr);

    // Every block of the dump, ending with END PRELUDE:.
    QByteArray greeting() const;
    // Bytes from the client. Answers and broadcasts leave through send().
    void receive(QByteArrayView bytes);
    QString client() const { return client_; }

    // The blocks of the dump, one at a time (ports from 1).
    QByteArray preambleBlock() const;
    QByteArray deviceBlock() const;
    QByteArray labelsBlock(RouterState::Side side, const QList<int>& ports) const;
    QByteArray locksBlock(const QList<int>& outputs) const;
    QByteArray routingBlock(const QList<int>& outputs) const;
    QByteArray configurationBlock() const;
    QByteArray endBlock() const;

signals:
    void send(const QByteArray& bytes);
    // The client sent a line or block over the limits; drop it.
    void overflowed();
    // One request block and its answer, for the traffic log.
    void handled(const QString& header, int lines, bool acknowledged);

private:
    enum class Answer { Ack, Nak, Ignore };
    struct Section;
    static const Section kSections[];

    void handle(const Block& block);
    // The answer to one block; the dump a bare header asks for in *reply.
    Answer answer(const Block& block, QByteArray* reply);
    void broadcast(const QByteArray& bytes);
    static Answer verdict(Outcome o);
    // Asks the shared state for the change on this client's behalf.
    Outcome ask(const RouterState::Change& change);

    // What a bare header of each section is answered with.
    QByteArray nothing() const { return {}; }
    QByteArray inputLabelsBlock() const;
    QByteArray outputLabelsBlock() const;
    QByteArray allLocksBlock() const;
    QByteArray allRoutingBlock() const;
    // What a block with lines asks of each section that may change.
    // Each line is read and folded into what it changes as it comes: a
    // block of thousands of lines leaves at most one change a port.
    Answer changeRouting(const Block& block);
    Answer changeLabels(RouterState::Side side, const Block& block);
    Answer changeInputLabels(const Block& block);
    Answer changeOutputLabels(const Block& block);
    Answer changeLocks(const Block& block);

    RouterState& state_;
    DeviceInfo info_;
    QString client_;
    BlockReader reader_;
    bool inRequest_ = false;
    QByteArray deferred_; // broadcasts caused by the request being answered
};

} // namespace server
