#pragma once

#include "core/platform/serial_port.h"

#include <QByteArrayList>
#include <functional>
#include <memory>

namespace sim {

class Device;

// A serial port whose other end is the simulated switcher in this process,
// without a pseudo-terminal: what the program writes reaches the device
// model at once, and the device's answers come back as a real line's do,
// after the write has returned: on the next turn of the event loop, or when
// pump() is called.
class InProcessPort : public platform::SerialPort {
    Q_OBJECT
public:
    explicit InProcessPort(Device& device);

    // What a platform's port factory needs to hand out such ports onto the
    // device, telling which one it made last.
    static std::function<std::unique_ptr<platform::SerialPort>()>
    factory(Device& device, InProcessPort*& made, bool autoDeliver);

    bool open(const QString& device) override;
    void close() override;
    bool isOpen() const override { return open_; }
    bool write(const QByteArray& bytes) override;
    QByteArray readAll() override;

    // Hands the program everything the device has said, and what the
    // program's commands in answer make it say, until the line is quiet or
    // the rounds run out.
    void pump(int rounds = 100000);
    // Bytes the device sends by itself (a learned IR code), after what it
    // has still to say.
    void inject(const QByteArray& bytes);
    // Bytes that reach the program at once, ahead of the device's pending
    // answers: noise on the line.
    void deliverNow(const QByteArray& bytes);
    // The device's pending answers are lost on the line.
    void dropPending() { pending_.clear(); }

    // Answers go out on their own on the next turn of the event loop; off,
    // only pump() delivers them, for tests that step by hand.
    bool autoDeliver = true;
    // Cuts each answer into the chunks the port delivers one by one.
    std::function<QByteArrayList(const QByteArray&)> shape;
    QByteArray written; // every byte the program wrote, in order
    // A write it answers true for fails, as a port's can while open.
    std::function<bool(const QByteArray&)> refuse;

private:
    void schedule();

    Device& device_;
    bool open_ = false;
    bool scheduled_ = false;
    QByteArrayList pending_; // answers not yet handed over
    QByteArray waiting_;     // handed over, not yet read
};

} // namespace sim
