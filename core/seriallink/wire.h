#pragma once

#include <QByteArray>
#include <QString>

namespace device {
class RequestQueue;
}

namespace seriallink {

class Connection;

// The only way to write to the switcher. The request queue lends it to the
// exchange on the line (a request, or a mode session while it lasts) and
// takes it back when that ends; a write while nothing is on the line goes
// nowhere and fails, so every command the program sends waits its turn in
// the queue instead of cutting into another client's exchange.
//
// The reading side (isOpen(), guardOpen(), the failure reports) is the
// connection's and always answers.
class Wire {
public:
    explicit Wire(Connection& link) : link_(link) {}
    Wire(const Wire&) = delete;
    Wire& operator=(const Wire&) = delete;

    // The text followed by CR LF, in one write.
    bool line(const QString& text);
    // The bytes as they are.
    bool raw(const QByteArray& bytes);
    // The same, a failed write reported as the line's WriteFailed failure.
    bool lineReported(const QString& text);
    bool rawReported(const QByteArray& bytes);

    bool isOpen() const;
    // The port-open guard: false, with a PortNotOpen failure, when closed.
    bool guardOpen();
    void reportWriteFailed();

    // Whether the queue has lent it to an exchange now.
    bool isLent() const { return lent_; }

private:
    friend class device::RequestQueue;
    void lend(bool lent) { lent_ = lent; }
    bool mayWrite();

    Connection& link_;
    bool lent_ = false;
};

} // namespace seriallink
