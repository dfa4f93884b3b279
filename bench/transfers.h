#pragma once

#include "bench/tapped_port.h"

#include <QList>
#include <QProcess>
#include <QString>
#include <QTemporaryDir>
#include <memory>

class MainWindow;
namespace sim {
class Device;
class PtyTransport;
} // namespace sim

namespace bench {

// Print the start of each run's traffic as the program saw it.
extern bool traceRuns;

enum class Transfer { EdidRead, EdidDownload, IrWrite };
QString transferName(Transfer t);

struct TransferResult {
    bool ok = false;
    QString failure;
    double seconds = 0;       // from the button to the last answer's arrival
    quint64 sent = 0;         // bytes the program wrote during the run
    quint64 received = 0;     // bytes it received
    int commands = 0;         // commands the program wrote
    QList<double> exchangeMs; // between successive commands reaching the device (in-process)
    // From the read that completed an answer to the program's next write.
    QList<double> reactionMs;
    // How much longer each exchange took than its bytes up to the CRs.
    QList<double> excessMs;
    // The shortest the run can take when each side acts on the CR that ends
    // a line, as the device and the program both do: the LF after it
    // crosses while the other side already answers, so each exchange costs
    // the bytes up to the command's CR and up to its answer's CR.
    double criticalSeconds = 0;

    // The shortest the run can take on a 9600-baud 8N1 line, where every
    // exchange is a request and then its answer.
    double wireSeconds() const { return double(sent + received) * 10.0 / 9600.0; }
};

// The real program core (MainWindow, the real QSerialPort, real timers, recording
// dialogs) shown offscreen and wired to a simulated switcher over a
// pseudo-terminal. Paced, the switcher is the console simulator in its own
// process, keeping real 9600-baud timing; otherwise an unpaced in-process
// device whose command arrivals are timestamped.
class Rig {
public:
    // overTcp: the paced simulator serves the line on a TCP port of
    // 127.0.0.1 and the program reaches it as a serial device server.
    // serverPath (with overTcp): hdmi-matrix-server owns that line and the
    // program reaches it through the server's line port.
    Rig(bool paced, const QString& simulatorPath, bool overTcp = false,
        const QString& serverPath = {});
    ~Rig();
    bool ok() const { return ok_; }
    QString error() const { return error_; }
    // The server's process, 0 without one.
    qint64 serverPid() const { return server_.processId(); }

    TransferResult run(Transfer t);

private:
    bool startServer(const QString& serverPath, QString& link);
    bool openWindow(Transfer t);
    bool closeWindow();
    void start(Transfer t);
    bool finished(Transfer t);
    bool check(Transfer t, TransferResult& r);

    bool paced_;
    bool ok_ = false;
    QString error_;
    QTemporaryDir dir_;
    QString previousDir_;
    QProcess simulator_;
    QProcess server_;
    std::unique_ptr<sim::Device> device_;
    std::unique_ptr<sim::PtyTransport> line_;
    BenchPlatform platform_;
    std::unique_ptr<MainWindow> form_;
    QList<qint64> commandNs_; // arrival of every command line at the device
    qsizetype runStart_ = 0;  // first port event of the run
};

} // namespace bench
