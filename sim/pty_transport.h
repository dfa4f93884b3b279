#pragma once

#include "sim/wire_pacer.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <functional>

class QSocketNotifier;

namespace sim {

// The line between the program and the simulated switcher: a pseudo-terminal
// whose other end is published as a link "COMn" in a folder, so the program
// opens it as port n.
//
// Paced, it keeps real 9600-baud 8N1 timing in both directions (WirePacer).
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

    static constexpr double kByteMs = WirePacer::kByteMs;

private:
    void onReadable();
    void writeAll(const QByteArray& bytes);

    int master_ = -1;
    int slaveKeep_ = -1; // keeps the line up while the program has it closed
    QString slavePath_;
    QString linkPath_;
    QSocketNotifier* notifier_ = nullptr;
    bool paced_ = false;
    WirePacer pacer_;
};

} // namespace sim
