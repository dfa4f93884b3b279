#include "core/seriallink/connection.h"

#include "core/platform/tcp_target.h"

namespace seriallink {

QByteArray wireBytes(const QString& text) {
    return text.toLatin1();
}

Connection::Connection(platform::Platform& platform)
    : platform_(platform), serial_(platform.createSerialPort()), port_(serial_.get()) {
    receiveTimer_ = platform_.createTimer(this);
    receiveTimer_->setInterval(10);
    connect(receiveTimer_, &platform::Timer::timeout, this, &Connection::receiveTick);
    attach(*serial_);
    lines_.onLine = [this](QString& line) { emit lineReceived(line); };
    lines_.onRaw = [this](const QString& raw) { emit rawReceived(raw); };
}

Connection::~Connection() = default;

void Connection::attach(platform::SerialPort& port) {
    // Only the port in use may speak: the other one is closed, but a late
    // signal of its own must not move the connection's state.
    const auto mine = [this, &port] { return &port == port_; };
    connect(&port, &platform::SerialPort::readyRead, this, [this, mine] {
        if (mine())
            onReadyRead();
    });
    connect(&port, &platform::SerialPort::bytesWritten, this, [this, mine] {
        if (mine())
            emit bytesWritten();
    });
    connect(&port, &platform::SerialPort::lost, this, [this, mine] {
        if (mine())
            emit lost();
    });
    connect(&port, &platform::SerialPort::opened, this, [this, mine] {
        if (mine())
            emit opened();
    });
    connect(&port, &platform::SerialPort::openFailed, this, [this, mine](const QString& why) {
        if (mine())
            emit openFailed(why);
    });
}

OpenResult Connection::open(int portNo) {
    return openDevice(platform_.deviceForPort(portNo));
}

OpenResult Connection::openDevice(const QString& device) {
    port_->close();
    device_ = device;
    if (platform::isNetworkTarget(device_)) {
        if (!network_) {
            network_ = platform_.createNetworkPort();
            attach(*network_);
        }
        port_ = network_.get();
    } else {
        port_ = serial_.get();
    }
    if (device_.isEmpty() || !port_->open(device_))
        return OpenResult::Failed;
    return port_->isOpen() ? OpenResult::Opened : OpenResult::Pending;
}

void Connection::close() {
    port_->close();
}

bool Connection::isOpen() const {
    return port_->isOpen();
}

bool Connection::isOpening() const {
    return port_->isOpening();
}

bool Connection::isNetwork() const {
    return platform::isNetworkTarget(device_);
}

QString Connection::errorText() const {
    if (device_.isEmpty())
        return QStringLiteral("No serial device stands behind this port number");
    return port_->errorText();
}

void Connection::reportOpenFailed() {
    emit failure(isNetwork() ? Failure::ServerFailed : Failure::WriteFailed);
}

bool Connection::sendLine(const QString& text) {
    return sendRaw(wireBytes(text + "\r\n"));
}

bool Connection::sendRaw(const QByteArray& bytes) {
    if (!port_->isOpen() || !port_->write(bytes))
        return false;
    sent_ += static_cast<quint64>(bytes.size());
    return true;
}

bool Connection::guardOpen() {
    if (port_->isOpen())
        return true;
    emit failure(Failure::PortNotOpen);
    return false;
}

bool Connection::sendLineReported(const QString& text) {
    return sendRawReported(wireBytes(text + "\r\n"));
}

bool Connection::sendRawReported(const QByteArray& bytes) {
    if (sendRaw(bytes))
        return true;
    reportWriteFailed();
    return false;
}

void Connection::reportWriteFailed() {
    emit failure(Failure::WriteFailed);
}

void Connection::onReadyRead() {
    // While a handler of this notification runs (a reply that raised a
    // message box, with its nested event loop), the port takes bytes in
    // without announcing them again. Reading until nothing is left takes in
    // what came meanwhile instead of leaving it until the next arrival.
    for (;;) {
        const QByteArray bytes = port_->readAll();
        if (bytes.isEmpty())
            return;
        received_ += static_cast<quint64>(bytes.size());
        // What fits the ring as it is goes straight in; only a batch too
        // long for it waits in the backlog.
        if (backlog_.isEmpty() &&
            bytes.size() <= qMin<qsizetype>(RxQueue::kMaxChunk, RxQueue::kSlots - 1 - rx_.size())) {
            rx_.put(bytes);
            takeArrivals();
            emit bytesQueued();
            continue;
        }
        backlog_ += bytes;
        feed();
    }
}

void Connection::feed() {
    // The ring takes at most 511 bytes; a longer batch (what piled up under
    // a box) goes in slices, each interpreted before the next is queued.
    // The slices wait here rather than on the stack, so that an arrival
    // handled inside one slice's interpretation queues behind the rest of
    // the batch, never ahead of it.
    while (!backlog_.isEmpty()) {
        const int room = qMin(RxQueue::kSlots - 1 - rx_.size(), RxQueue::kMaxChunk);
        if (room <= 0)
            return; // the drain that holds the ring takes the rest
        const qsizetype n = qMin<qsizetype>(room, backlog_.size());
        const QByteArray slice = backlog_.first(n);
        backlog_.remove(0, n);
        rx_.put(slice);
        takeArrivals();
        emit bytesQueued();
    }
}

bool Connection::ticking() const {
    return receiveTimer_->isActive();
}

void Connection::takeArrivals() {
    lines_.drain();
    // The tick is only needed while something waits: a partial line to
    // flush after three quiet ticks. Started here, it keeps its 10 ms phase
    // for as long as bytes keep coming.
    if (lines_.busy() && !receiveTimer_->isActive())
        receiveTimer_->start();
}

void Connection::receiveTick() {
    lines_.tick();
    // An idle program does not wake up 100 times a second.
    if (!lines_.busy())
        receiveTimer_->stop();
}

} // namespace seriallink
