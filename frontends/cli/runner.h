#pragma once

#include "core/device/switcher.h"
#include "core/platform/qt_platform.h"
#include "frontends/cli/command.h"
#include "frontends/cli/operation.h"

#include <QObject>
#include <QStringList>
#include <functional>
#include <memory>

namespace cli {

class Console;

// The device as its own text for messages, and where it is: the port the
// command names, resolved as the window resolves it.
struct PortChoice {
    QString device; // what the connection opens; empty when nothing stands behind it
    QString name;   // how messages name it: "COM1 (/dev/ttyUSB0)", "/dev/ttyS0", "tcp://..."
    QString error;  // a COMPORT that names no port: the run is a usage error
};
// given: --port as given, or empty for the port COMPORT in workDir
// remembers (COM1 when there is none; an error when it holds anything but
// an index 0..9 or cannot be read). COMPORT is only read.
PortChoice choosePort(const QString& given, platform::Platform& platform, const QString& workDir);

// One run of a command that needs the port: prepares the operation, opens
// the port (a serial device server in the background), starts the
// operation, and reports what the connection says went wrong. Ends with
// finished(status), the port closed.
class Runner : public QObject {
    Q_OBJECT
public:
    // A server that closes the connection this soon after accepting it
    // turned the tool away: busy with another client, or refusing this
    // address.
    static constexpr int kBusyCloseMs = 500;
    // What waits on the line when the port opens (a late answer to an
    // earlier run, a report from the front panel) is discarded before the
    // first command. A port that has nothing for kSettleFirstMs is taken as
    // quiet (what a local port holds arrives at once, and a line on its way
    // shows its next byte within about a millisecond at 9600 baud); once
    // something came, the line must be quiet for kSettleQuietMs. The first
    // command goes out after kSettleMaxMs whatever still arrives.
    static constexpr int kSettleFirstMs = 3;
    static constexpr int kSettleQuietMs = 10;
    static constexpr int kSettleMaxMs = 200;
    Runner(const Command& command, Console& console);
    ~Runner() override;
    void start();
    void interrupt(int signalNumber);

signals:
    void finished(int status);

private:
    void openPort();
    void opened();
    // The line has settled: what came is discarded and the operation starts.
    void settled();
    platform::Timer* oneShot(int ms, std::function<void()> then);
    void end(int status);
    void portFailed(const QString& reason);

    Command command_;
    Console& console_;
    platform::QtPlatform platform_;
    device::Switcher device_;
    PortChoice port_;
    std::unique_ptr<Operation> op_;
    platform::Timer* busyWindow_ = nullptr;
    platform::Timer* settleQuiet_ = nullptr;
    platform::Timer* settleMax_ = nullptr;
    QList<QMetaObject::Connection> settling_;
    QStringList discarded_;
    bool started_ = false;
    bool over_ = false;
};

} // namespace cli
