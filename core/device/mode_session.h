#pragma once

#include "core/device/device_modes.h"
#include "core/device/request_queue.h"

#include <QPointer>

#include <QObject>
#include <QString>

namespace platform {
class Timer;
}

namespace device {

class Switcher;

// One stay in a device mode, the same for every front end: the entry word
// and its two-second watchdog (DeviceModes), the work, the exit word, and
// the wait for the exit word's echo; a device that leaves the mode by
// itself ends the stay.
//
// How strict it is is an option:
//   - waitForEcho false (the windows): started() at once, the window opens
//     while the echo is on its way; a missing echo only warns
//     (notConfirmed()), and an exit word the device sends by itself ends
//     the stay (leftByDevice()) whenever it comes.
//   - waitForEcho true (the command-line tool): started() only once the
//     entry word's echo came, and only then is an exit word from the device
//     its leaving; before, it is the late echo of an earlier stay.
//   - exitEchoMs: after leave(), how long the exit word's echo is waited
//     for before closed() (0: closed() at once). Nothing is waited for when
//     the entry was never confirmed or the port is closed.
//
// The stay is a request on the switcher's queue that keeps the line
// (Request::holdLine()) from its entry word to its close: it waits for the
// request on the line to finish before the entry word goes out, and while
// it lasts only the session's client's requests go out, for the device
// answers only the mode's commands. With the line free it starts at once,
// within enter().
class ModeSession : public QObject {
    Q_OBJECT
public:
    using Mode = DeviceModes::Mode;
    struct Options {
        bool waitForEcho = false;
        int exitEchoMs = 0;
        int client = 0;
    };

    ModeSession(Switcher& sw, Mode mode, Options options);
    ModeSession(Switcher& sw, Mode mode) : ModeSession(sw, mode, Options{}) {}
    ~ModeSession() override;

    // The port-open guard, then the stay's turn on the queue: the entry
    // word and the watchdog once the line is free. False, with nothing
    // sent, when the port is closed.
    bool enter();
    // The exit word (once), then closed() as the options say.
    void leave();

    Mode mode() const { return mode_; }
    bool isEntered() const { return entered_; }
    bool isConfirmed() const { return confirmed_; }
    bool isLeaving() const { return leaving_; }
    // After closed(): whether the device echoed the exit word.
    bool exitConfirmed() const { return exitConfirmed_; }

signals:
    // The work may start (the entry word is out; with waitForEcho, its echo
    // came).
    void started();
    // The watchdog ran out before the entry word's echo.
    void notConfirmed();
    // The device left the mode by itself.
    void leftByDevice();
    // The stay is over: the exit word went out and its echo came (or was
    // not waited for, or did not come in time).
    void closed();

private:
    friend class ModeRequest;
    // The stay's turn came: the entry word and the watchdog. False when
    // the port closed meanwhile.
    bool begin();
    void close();
    // While leaving: the exit word's echo closes the stay.
    void watchExitEcho(const protocol::Reply& r);

    Switcher& sw_;
    // A window may be torn down after the switcher it worked on: the queue
    // and the stay's request are touched only while they still exist.
    QPointer<RequestQueue> queue_;
    QPointer<Request> request_;
    Mode mode_;
    Options options_;
    platform::Timer* exitEcho_ = nullptr;
    // Only while leaving, so the lines of the stay itself cost no call.
    QMetaObject::Connection echoWatch_;
    bool entered_ = false; // the entry word went out
    bool asked_ = false;   // enter() queued the stay
    bool confirmed_ = false;
    bool leaving_ = false;
    bool closed_ = false;
    bool exitConfirmed_ = false;
};

} // namespace device
