#include "frontends/server/line_owner.h"

#include "core/device/request_queue.h"
#include "core/device/requests.h"
#include "core/device/switcher.h"
#include "core/platform/port_names.h"
#include "core/protocol/commands.h"
#include "core/seriallink/connection.h"
#include "state/router_state.h"

#include <QRegularExpression>

namespace server {

namespace {

// The words the switcher acts on in a line, as it reads its commands: the
// first word of each piece a line end closes, blanks before it skipped.
QByteArrayList commandWords(const QByteArray& line) {
    QByteArrayList words;
    qsizetype start = 0;
    for (qsizetype i = 0; i < line.size(); ++i) {
        if (line[i] != '\r' && line[i] != '\n')
            continue;
        const QByteArray piece = line.sliced(start, i - start).simplified();
        if (!piece.isEmpty())
            words.append(piece.first(piece.contains(' ') ? piece.indexOf(' ') : piece.size()));
        start = i + 1;
    }
    return words;
}

// The exit word of a mode's entry word; empty for any other word.
QByteArray exitWordFor(const QByteArray& word) {
    for (const protocol::Mode m : {protocol::Mode::Setup, protocol::Mode::Edid, protocol::Mode::Ir})
        if (word == seriallink::wireBytes(protocol::entryWord(m)))
            return seriallink::wireBytes(protocol::exitWord(m));
    return {};
}

// The status request of every connect and poll, with its line end.
QByteArray statusLine() {
    return seriallink::wireBytes(protocol::statusCommand() + QStringLiteral("\r\n"));
}

QString printable(const QByteArray& bytes) {
    QString out;
    for (const char c : bytes) {
        const auto u = static_cast<unsigned char>(c);
        if (u == '\r')
            out += QStringLiteral("\\r");
        else if (u == '\n')
            out += QStringLiteral("\\n");
        else if (u < 0x20 || u >= 0x7f)
            out += QStringLiteral("\\x%1").arg(u, 2, 16, QLatin1Char('0'));
        else
            out += QLatin1Char(c);
    }
    return out;
}

} // namespace

LineOwner::LineOwner(platform::Platform& platform, RouterState& state, const QString& port,
                     int pollSeconds, QObject* parent)
    : QObject(parent), platform_(platform), state_(state), port_(port),
      switcher_(std::make_unique<device::Switcher>(platform, state.model())) {
    retry_.setSingleShot(true);
    leaseIdle_.setSingleShot(true);
    if (pollSeconds > 0)
        poll_.setInterval(pollSeconds * 1000);
    connect(&retry_, &QTimer::timeout, this, &LineOwner::open);
    connect(&poll_, &QTimer::timeout, this, &LineOwner::poll);
    connect(&leaseIdle_, &QTimer::timeout, this, [this] {
        emit event(QStringLiteral("line client %1 held its mode 30 s without a word: lease ended")
                       .arg(holder_));
        endLease(true);
    });
    seriallink::Connection& link = switcher_->link();
    connect(&link, &seriallink::Connection::opened, this, &LineOwner::onOpened);
    connect(&link, &seriallink::Connection::openFailed, this,
            [this](const QString& why) { onLost(why); });
    connect(&link, &seriallink::Connection::lost, this,
            [this] { onLost(switcher_->link().errorText()); });
    connect(&link, &seriallink::Connection::lineReceived, this, &LineOwner::onSwitcherText);
    connect(&link, &seriallink::Connection::rawReceived, this, &LineOwner::onSwitcherText);
    connect(&link, &seriallink::Connection::bytesWritten, this, &LineOwner::room);
    state_.attach(&switcher_->requests());
}

LineOwner::~LineOwner() {
    state_.attach(nullptr);
}

seriallink::Connection& LineOwner::connection() {
    return switcher_->link();
}

bool LineOwner::isOpen() const {
    return switcher_->link().isOpen();
}

void LineOwner::start() {
    retryMs_ = times.firstRetryMs;
    open();
}

void LineOwner::open() {
    if (stopping_)
        return;
    seriallink::Connection& link = switcher_->link();
    const int n = platform::comNumber(port_);
    const seriallink::OpenResult r = n > 0 ? link.open(n) : link.openDevice(port_);
    if (r == seriallink::OpenResult::Opened)
        onOpened();
    else if (r == seriallink::OpenResult::Failed)
        onLost(link.errorText());
}

void LineOwner::onOpened() {
    retryMs_ = times.firstRetryMs;
    failureLogged_ = false;
    reconnects_ += everOpened_;
    everOpened_ = true;
    emit event(QStringLiteral("port %1 open").arg(port_));
    if (poll_.interval() > 0)
        poll_.start();
    poll();
}

void LineOwner::onLost(const QString& why) {
    const bool wasOpen = poll_.isActive() || state_.present();
    poll_.stop();
    switcher_->link().close();
    // The owner's own requests are void with the line (a running status
    // request among them: the next connect asks afresh).
    switcher_->requests().drop(0);
    state_.setPresent(false);
    // A lease ends with the line: the switcher lost power, or the holder
    // writes its exit word again on its next try.
    endLease(false);
    if (wasOpen || !failureLogged_) {
        emit event(QStringLiteral("port %1: %2; retrying").arg(port_, why));
        failureLogged_ = true;
    }
    scheduleRetry();
}

void LineOwner::scheduleRetry() {
    if (stopping_)
        return;
    retry_.start(retryMs_);
    retryMs_ = qMin(retryMs_ * 2, times.lastRetryMs);
}

void LineOwner::poll() {
    if (statusPending_)
        return; // one poll waiting is enough
    askStatus(false);
}

void LineOwner::askStatus(bool again) {
    statusPending_ = true;
    device::RoutingRequest* r =
        switcher_->requests().submit(device::RoutingRequest::status(times.statusWaitMs));
    emit traffic(QStringLiteral("to the switcher: %1").arg(printable(statusLine())));
    auto done = [this, again](const device::RequestResult& result) {
        statusPending_ = false;
        if (result.ok() || result.error == device::RequestError::Cancelled)
            return;
        // Some reports came: the switcher is there, and a line of its answer
        // was lost on the way. Not a word: asked again at once, and absent
        // only when that goes unanswered too.
        if (std::any_of(result.seen.begin(), result.seen.end(), [](bool s) { return s; }))
            return;
        if (!again)
            return askStatus(true);
        state_.setPresent(false);
    };
    if (r->isDone())
        done(r->result());
    else
        connect(r, &device::Request::finished, this, done);
}

void LineOwner::send(int client, const QByteArray& line,
                     std::function<void(const device::RequestResult&)> then) {
    auto* r = switcher_->requests().submit(new device::RawLineRequest(line), client);
    auto done = [this, line, then](const device::RequestResult& result) {
        if (result.ok())
            emit traffic(QStringLiteral("to the switcher: %1").arg(printable(line)));
        if (then)
            then(result);
    };
    if (r->isDone())
        done(r->result());
    else
        connect(r, &device::Request::finished, this, done);
}

void LineOwner::submit(ClientId client, const QByteArray& line) {
    if (client == holder_ && holder_ != 0)
        leaseIdle_.start(times.leaseIdleMs);
    if (!switcher_->link().isOpen())
        return; // nobody to hear it
    const QByteArrayList words = commandWords(line);
    const bool modeWord = std::any_of(
        words.begin(), words.end(), [](const QByteArray& w) { return !exitWordFor(w).isEmpty(); });
    if (!modeWord) {
        send(int(client), line, [this, client, words](const device::RequestResult& result) {
            if (result.ok())
                written(client, words, nullptr);
            emit room();
        });
        return;
    }
    // A mode word takes the line as it goes out, so that nobody else's line
    // gets between it and the client's next.
    auto* lease = switcher_->requests().submit(new device::LeaseRequest(line), int(client));
    const QPointer<device::LeaseRequest> held(lease);
    auto went = [this, client, words, held, line] {
        emit traffic(QStringLiteral("to the switcher: %1").arg(printable(line)));
        written(client, words, held);
        emit room();
    };
    if (lease->holding())
        return went();
    if (lease->isDone()) {
        if (lease->result().ok())
            return went();
        emit room();
        return;
    }
    connect(lease, &device::LeaseRequest::leased, this, went);
    connect(lease, &device::Request::finished, this,
            [this, held, went](const device::RequestResult& result) {
                if (!result.ok())
                    emit room();
                else if (held && !held->holding())
                    went();
            });
}

void LineOwner::written(ClientId client, const QByteArrayList& words, device::LeaseRequest* lease) {
    // The lease starts when the mode word is written, and ends when the
    // exit word is: the queue lets only the holder's lines out between.
    for (const QByteArray& w : words) {
        const QByteArray exit = exitWordFor(w);
        if (!exit.isEmpty() && holder_ == 0 && lease && lease->holding()) {
            holder_ = client;
            exitWord_ = exit;
            lease_ = lease;
            leaseIdle_.start(times.leaseIdleMs);
            emit event(QStringLiteral("line client %1 holds the line (%2)")
                           .arg(client)
                           .arg(QString::fromLatin1(w)));
        } else if (client == holder_ && w == exitWord_) {
            emit event(QStringLiteral("line client %1 released the line").arg(client));
            endLease(false);
        }
    }
    // A lease nobody took (the line was held already) gives the line back.
    if (lease && lease != lease_)
        lease->end();
}

int LineOwner::waiting(ClientId client) const {
    return switcher_->requests().waiting(int(client));
}

bool LineOwner::hasRoomFor(ClientId client) const {
    return waiting(client) < kMaxWaitingLines && switcher_->link().unsentBytes() < kMaxUnsent;
}

void LineOwner::clientGone(ClientId client) {
    if (holder_ == client && holder_ != 0) {
        emit event(QStringLiteral("line client %1 left in its mode: lease ended").arg(client));
        endLease(true);
    }
    switcher_->requests().drop(int(client));
}

void LineOwner::endLease(bool sendExit) {
    leaseIdle_.stop();
    holder_ = 0;
    const QByteArray exit = std::exchange(exitWord_, {});
    const QPointer<device::LeaseRequest> lease = std::exchange(lease_, nullptr);
    if (!lease)
        return;
    // The lease writes the exit word as its last, so nothing reaches the
    // switcher still in its mode.
    const QByteArray last =
        sendExit && !exit.isEmpty() && switcher_->link().isOpen() ? exit + "\r\n" : QByteArray();
    if (lease->end(last))
        emit traffic(QStringLiteral("to the switcher: %1").arg(printable(last)));
}
void LineOwner::onSwitcherText(const QString& text) {
    const QByteArray bytes = seriallink::wireBytes(text);
    emit traffic(QStringLiteral("from the switcher: %1").arg(printable(bytes)));
    emit switcherSaid(holder_, bytes);
}

void LineOwner::stop() {
    stopping_ = true;
    retry_.stop();
    poll_.stop();
    leaseIdle_.stop();
    const bool leave = holder_ != 0 && !exitWord_.isEmpty() && switcher_->link().isOpen();
    // The lease's exit word goes at once: what waits in the queue is not
    // going out.
    endLease(true);
    // The exit word needs a moment to leave the port's buffer.
    QTimer::singleShot(leave ? 300 : 0, this, [this] {
        switcher_->link().close();
        emit stopped();
    });
}

} // namespace server
