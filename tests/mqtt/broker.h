#pragma once

// Debian's MQTT broker, started by a test on a free loopback port.
#include <QFile>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>

// No storage: a restart loses every retained message.
struct Broker {
    QTemporaryDir dir;
    QProcess process;
    quint16 port = 0;
    QString more; // the configuration's last lines: other listeners
    bool start() {
        if (port == 0) {
            QTcpServer probe;
            probe.listen(QHostAddress::LocalHost);
            port = probe.serverPort();
        }
        QFile conf(dir.filePath("mosquitto.conf"));
        conf.open(QIODevice::WriteOnly);
        conf.write(QStringLiteral("listener %1 127.0.0.1\nallow_anonymous true\n"
                                  "persistence false\nlog_dest stderr\n%2")
                       .arg(port)
                       .arg(more)
                       .toUtf8());
        conf.close();
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start("mosquitto", {"-c", conf.fileName()});
        QByteArray said;
        while (!said.contains(" running") && process.waitForReadyRead(5000))
            said += process.readAll();
        return said.contains(" running");
    }
    void stop() {
        process.terminate();
        process.waitForFinished(5000);
    }
    ~Broker() { stop(); }
};
