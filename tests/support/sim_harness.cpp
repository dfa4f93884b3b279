#include "tests/support/sim_harness.h"

#include <QDir>
#include <QEventLoop>
#include <QTimer>

SimHarness::SimHarness(bool paced) {
    previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    QString error;
    line.setPaced(paced);
    if (!line.start(dir.path(), 1, &error)) {
        qWarning("%s", qPrintable(error));
        return;
    }
    device.onLine = [this](const QByteArray& l) { received << l; };
    line.onReceive = [this](const QByteArray& bytes) { line.send(device.receive(bytes)); };
    platform.devices = {line.linkPath()};
    form = std::make_unique<MainWindow>(platform, platform.fakeDialogs());
    form->startUp();
    ok = form->link().isOpen();
}

SimHarness::~SimHarness() {
    form.reset();
    QDir::setCurrent(previousDir);
}

// QTest::qWaitFor sleeps 10 ms between event batches, which would throttle
// every command-and-answer exchange; this runs the event loop without pause.
bool SimHarness::waitFor(const std::function<bool()>& cond, int ms) {
    if (cond())
        return true;
    QEventLoop loop;
    QTimer poll;
    poll.setInterval(1);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&] {
        if (cond())
            loop.quit();
    });
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start();
    deadline.start(ms);
    loop.exec();
    return cond();
}
