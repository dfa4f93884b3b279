#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <deque>
#include <functional>

class QTimer;

namespace sim {

// Real 9600-baud 8N1 timing for a line that itself carries bytes at once (a
// pseudo-terminal, a TCP connection): a byte counts as received only once it
// would have crossed the wire (10 bits, about 1.04 ms each), and answers
// leave on absolute per-byte deadlines. The transport feeds it what it reads
// and what the device sends, and puts on its line what the pacer hands back.
class WirePacer : public QObject {
    Q_OBJECT
public:
    explicit WirePacer(QObject* parent = nullptr);
    ~WirePacer() override;

    static constexpr double kByteMs = 10.0 * 1000.0 / 9600.0;

    // Bytes the transport read from the program; each reaches onArrived once
    // it has crossed the wire.
    void received(const QByteArray& bytes);
    // Bytes the device sends; each reaches onDepart when its last bit is on
    // the far side.
    void send(const QByteArray& bytes);
    // Forgets everything still on the wire (the line went down).
    void clear();

    std::function<void(const QByteArray&)> onArrived; // towards the device
    std::function<void(const QByteArray&)> onDepart;  // towards the program

private:
    void flushDue();
    void armTimer();
    void disarmTimerFd();
    double nowMs() const { return clock_.nsecsElapsed() / 1e6; }

    QTimer* timer_ = nullptr;
    // On Linux the deadlines are kept by a timerfd to the microsecond: a
    // QTimer rounds each wait up to a whole millisecond, which added about a
    // millisecond to every command-and-answer exchange.
    int timerFd_ = -1;
    QElapsedTimer clock_;
    struct Timed {
        double due;
        char byte;
    };
    std::deque<Timed> rxQueue_; // bytes crossing the wire towards the device
    std::deque<Timed> txQueue_; // bytes crossing the wire towards the program
    double rxFree_ = 0;         // when the receive wire is next free
    double txFree_ = 0;
};

} // namespace sim
