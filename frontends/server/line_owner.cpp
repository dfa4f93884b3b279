#include "frontends/server/line_owner.h"

#include "core/protocol/commands.h"
#include "core/seriallink/connection.h"
#include "frontends/server/router_state.h"

#include <QRegularExpression>

namespace server {

namespace {

// "COM1".."COM10": a port number the platform resolves.
int comNumber(const QString& port) {
    static const QRegularExpression com(QStringLiteral("^COM([1-9]|10)$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const QRegularExpressionMatch m = com.match(port);
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

// The command word of a line: its first three bytes, when nothing but blanks
// and the line end follow them.
QByteArray word(const QByteArray& line) {
    if (line.size() < 3 || !line.sliced(3).trimmed().isEmpty())
        return {};
    return line.first(3);
}

// The exit word of a mode's entry word; empty for any other word.
QByteArray exitWordFor(const QByteArray& word) {
    for (const protocol::Mode m : {protocol::Mode::Setup, protocol::Mode::Edid, protocol::Mode::Ir})
        if (word == seriallink::wireBytes(protocol::entryWord(m)))
            return seriallink::wireBytes(protocol::exitWord(m));
    return {};
}

// "bc " CR LF: the status request of every connect and poll.
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
      link_(std::make_unique<seriallink::Connection>(platform)) {
    retry_.setSingleShot(true);
    answerWait_.setSingleShot(true);
    statusWait_.setSingleShot(true);
    leaseIdle_.setSingleShot(true);
    if (pollSeconds > 0)
        poll_.setInterval(pollSeconds * 1000);
    connect(&retry_, &QTimer::timeout, this, &LineOwner::open);
    connect(&answerWait_, &QTimer::timeout, this, &LineOwner::pump);
    connect(&statusWait_, &QTimer::timeout, this, [this] {
        // The port is open but the switcher does not answer.
        state_.setPresent(false);
    });
    connect(&poll_, &QTimer::timeout, this, &LineOwner::poll);
    connect(&leaseIdle_, &QTimer::timeout, this, [this] {
        emit event(QStringLiteral("line client %1 held its mode 30 s without a word: lease ended")
                       .arg(holder_));
        endLease(true);
    });
    connect(link_.get(), &seriallink::Connection::opened, this, &LineOwner::onOpened);
    connect(link_.get(), &seriallink::Connection::openFailed, this,
            [this](const QString& why) { onLost(why); });
    connect(link_.get(), &seriallink::Connection::lost, this,
            [this] { onLost(link_->errorText()); });
    connect(link_.get(), &seriallink::Connection::lineReceived, this, &LineOwner::onSwitcherText);
    connect(link_.get(), &seriallink::Connection::rawReceived, this, &LineOwner::onSwitcherText);
    connect(&state_, &RouterState::commandRequested, this, &LineOwner::onCommand);
}

LineOwner::~LineOwner() = default;

bool LineOwner::isOpen() const {
    return link_->isOpen();
}

void LineOwner::start() {
    retryMs_ = times.firstRetryMs;
    open();
}

void LineOwner::open() {
    if (stopping_)
        return;
    const int n = comNumber(port_);
    const seriallink::OpenResult r = n > 0 ? link_->open(n) : link_->openDevice(port_);
    if (r == seriallink::OpenResult::Opened)
        onOpened();
    else if (r == seriallink::OpenResult::Failed)
        onLost(link_->errorText());
}

void LineOwner::onOpened() {
    retryMs_ = times.firstRetryMs;
    failureLogged_ = false;
    emit event(QStringLiteral("port %1 open").arg(port_));
    if (poll_.interval() > 0)
        poll_.start();
    poll();
}

void LineOwner::onLost(const QString& why) {
    const bool wasOpen = poll_.isActive() || state_.present();
    poll_.stop();
    statusWait_.stop();
    answerWait_.stop();
    link_->close();
    state_.setPresent(false);
    // What waited for the line is void; a lease ends with it (the switcher
    // left its mode when it lost power, or will hear the exit word from the
    // holder's own next try).
    queue_.clear();
    holder_ = 0;
    exitWord_.clear();
    leaseIdle_.stop();
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
    for (const Item& i : queue_)
        if (i.client == 0 && i.bytes == statusLine())
            return; // one poll waiting is enough
    queue_.push_back({0, statusLine()});
    pump();
}

void LineOwner::onCommand(const QString& command) {
    queue_.push_back({0, seriallink::wireBytes(command + QStringLiteral("\r\n"))});
    pump();
}

void LineOwner::submit(ClientId client, const QByteArray& line) {
    if (client == holder_ && holder_ != 0)
        leaseIdle_.start(times.leaseIdleMs);
    if (!link_->isOpen())
        return; // nobody to hear it
    queue_.push_back({client, line});
    pump();
}

void LineOwner::clientGone(ClientId client) {
    std::erase_if(queue_, [client](const Item& i) { return i.client == client; });
    if (holder_ == client && holder_ != 0) {
        emit event(QStringLiteral("line client %1 left in its mode: lease ended").arg(client));
        endLease(true);
    }
}

void LineOwner::endLease(bool sendExit) {
    leaseIdle_.stop();
    const QByteArray exit = std::exchange(exitWord_, {});
    holder_ = 0;
    if (sendExit && !exit.isEmpty() && link_->isOpen())
        queue_.push_front({0, exit + "\r\n"});
    pump();
}

void LineOwner::pump() {
    if (answerWait_.isActive() || !link_->isOpen())
        return;
    auto it = queue_.begin();
    if (holder_ != 0)
        it = std::find_if(queue_.begin(), queue_.end(),
                          [this](const Item& i) { return i.client == holder_; });
    if (it == queue_.end())
        return;
    const Item item = *it;
    queue_.erase(it);
    write(item);
}

void LineOwner::write(const Item& item) {
    if (!link_->sendRaw(item.bytes)) {
        onLost(link_->errorText());
        return;
    }
    emit traffic(QStringLiteral("to the switcher: %1").arg(printable(item.bytes)));
    answerWait_.start(times.answerWaitMs);
    if (item.client == 0 && item.bytes == statusLine() && !statusWait_.isActive())
        statusWait_.start(times.statusWaitMs);
    const QByteArray w = word(item.bytes);
    if (item.client != 0 && holder_ == 0 && !exitWordFor(w).isEmpty()) {
        holder_ = item.client;
        exitWord_ = exitWordFor(w);
        leaseIdle_.start(times.leaseIdleMs);
        emit event(QStringLiteral("line client %1 holds the line (%2)")
                       .arg(item.client)
                       .arg(QString::fromLatin1(w)));
    } else if (item.client != 0 && item.client == holder_ && w == exitWord_) {
        exitWord_.clear();
        holder_ = 0;
        leaseIdle_.stop();
        emit event(QStringLiteral("line client %1 released the line").arg(item.client));
    }
}

void LineOwner::onSwitcherText(const QString& text) {
    const QByteArray bytes = seriallink::wireBytes(text);
    // An answer lets the next line go out.
    if (answerWait_.isActive() && !text.trimmed().isEmpty()) {
        answerWait_.stop();
        QTimer::singleShot(0, this, &LineOwner::pump);
    }
    if (holder_ == 0) {
        // "s", the output and the input, each a digit 1..8.
        if (text.size() >= 3 && text[0] == QLatin1Char('s') && text[1] >= QLatin1Char('1') &&
            text[1] <= QLatin1Char('8') && text[2] >= QLatin1Char('1') &&
            text[2] <= QLatin1Char('8')) {
            statusWait_.stop();
            state_.setPresent(true);
            state_.setInput(text[1].unicode() - '1', text[2].unicode() - '1');
        }
    }
    emit traffic(QStringLiteral("from the switcher: %1").arg(printable(bytes)));
    emit switcherSaid(holder_, bytes);
}

void LineOwner::stop() {
    stopping_ = true;
    retry_.stop();
    poll_.stop();
    const bool leave = holder_ != 0 && !exitWord_.isEmpty() && link_->isOpen();
    if (leave)
        link_->sendRaw(exitWord_ + "\r\n");
    holder_ = 0;
    queue_.clear();
    // The exit word needs a moment to leave the port's buffer.
    QTimer::singleShot(leave ? 300 : 0, this, [this] {
        link_->close();
        emit stopped();
    });
}

} // namespace server
