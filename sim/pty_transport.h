#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <deque>
#include <functional>

class QSocketNotifier;
class QTimer;

namespace sim {

// The line between the program and the simulated switcher: a pseudo-terminal
// whose other end is published as a link "COMn" in a folder, so the program
// opens it as port n.
//
// Paced, it keeps real 9600-baud 8N1 timing in both directions: a byte counts
// as received only once it would have crossed the wire (10 bits, about
// 1.04 ms each), and answers leave on absolute per-byte deadlines.
class PtyTransport : public QObject {
    Q_OBJECT
public:
    explicit PtyTransport(QObject* parent = nullptr);
    ~PtyTransport() override;

    // Opens the pseudo-terminal and creates the link; false with a message.
    bool start(const QString& folder, int portNo, QString* error);
    // Closes the pseudo-terminal, as when the cable or adapter is pulled; the
    // link stays until destruction.
    void hangUp();
    bool isUp() const { return master_ >= 0; }

    QString slavePath() const { return slavePath_; }
    QString linkPath() const { return linkPath_; }

    // Sends bytes to the program (paced or at once).
    void send(const QByteArray& bytes);
    void setPaced(bool on) { paced_ = on; }
    bool paced() const { return paced_; }

    // Received bytes, as they arrive (or as they finish crossing the wire).
    std::function<void(const QByteArray&)> onReceive;

    static constexpr double kByteMs = 10.0 * 1000.0 / 9600.0;

private:
    void onReadable();
    void flushDue();
    void armTimer();
    void disarmTimerFd();
    double nowMs() const { return clock_.nsecsElapsed() / 1e6; }

    int master_ = -1;
    int slaveKeep_ = -1; // keeps the line up while the program has it closed
    QString slavePath_;
    QString linkPath_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
    // On Linux the deadlines are kept by a timerfd to the microsecond: a
    // QTimer rounds each wait up to a whole millisecond, which added about a
    // millisecond to every command-and-answer exchange.
    int timerFd_ = -1;
    QElapsedTimer clock_;
    bool paced_ = false;
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
