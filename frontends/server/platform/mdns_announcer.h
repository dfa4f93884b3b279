#pragma once

#include <QObject>
#include <QString>
#include <memory>

namespace server {

// Announces the Videohub service over mDNS/DNS-SD (_blackmagic._tcp with
// TXT class=Videohub) through the avahi daemon, driven from the Qt event
// loop: avahi's sockets and timeouts run on QSocketNotifier and QTimer, no
// thread of its own. Without a daemon it says so once and waits for one;
// without a D-Bus system bus it says so once and announces nothing.
class MdnsAnnouncer : public QObject {
    Q_OBJECT
public:
    MdnsAnnouncer(const QString& name, quint16 port, QObject* parent = nullptr);
    ~MdnsAnnouncer() override;
    void start();

signals:
    void event(const QString& line);

private:
    struct Impl;
    std::unique_ptr<Impl> d_;
};

} // namespace server
