#pragma once

#include <QObject>
#include <QString>

namespace mqtt {

// What the server answers to a request a front end makes for its clients.
enum class Verdict {
    Accepted, // queued for the switcher; the state follows when it reports
    Locked,   // an output is locked by another client
    Absent,   // the switcher is not there
    Invalid,  // the server found the request out of range
};

// The part of the server the message-broker front end sees: the routing, the
// labels and the requests, numbered from 0. The server adapts its own state to
// this, so that the front end is built and tested without it.
class Backend : public QObject {
    Q_OBJECT
public:
    static constexpr int kInputs = 8;
    static constexpr int kOutputs = 8;
    static constexpr int kPresets = 3;

    using QObject::QObject;

    // The switcher's line is open and it answered.
    virtual bool present() const = 0;
    // The input routed to an output, -1 while unknown.
    virtual int input(int output) const = 0;
    virtual QString inputLabel(int input) const = 0;
    virtual QString outputLabel(int output) const = 0;

    virtual Verdict requestRoute(int output, int input) = 0;
    // Every output to one input (outputs another client locked refuse it).
    virtual Verdict allOutputs(int input) = 0;
    virtual Verdict recallPreset(int preset) = 0;
    virtual Verdict savePreset(int preset) = 0;

signals:
    void presentChanged();
    void inputChanged(int output);
    void inputLabelChanged(int input);
    void outputLabelChanged(int output);
};

} // namespace mqtt
