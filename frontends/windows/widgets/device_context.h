#pragma once

#include <QString>

class QWidget;
namespace platform {
class Dialogs;
}
namespace seriallink {
class Connection;
}
namespace device {
class RequestQueue;
class WriteRequest;
} // namespace device

// What a feature window needs of the program around it: the connection and
// the request queue its commands go out through, the file dialogs, the one place that shows message
// boxes, and the window it opens over. The main window provides it.
class DeviceContext {
public:
    DeviceContext(QWidget* owner, platform::Dialogs& dialogs) : owner_(owner), dialogs_(dialogs) {}
    virtual ~DeviceContext() = default;
    virtual seriallink::Connection& link() = 0;
    virtual device::RequestQueue& requests() = 0;
    // A command written in its turn, not waited on.
    void write(device::WriteRequest* request);
    platform::Dialogs& dialogs() const { return dialogs_; }
    // A message box with one OK button, over whatever window is on top.
    virtual void message(const QString& text, const QString& title) = 0;
    // The window feature windows are shown modally over.
    QWidget* owner() const { return owner_; }

private:
    QWidget* owner_;
    platform::Dialogs& dialogs_;
};
