#include "tests/support/sim_harness.h"

#include <QDir>
#include <QTest>

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
    form = std::make_unique<Form1>(platform);
    form->Form_Load();
    ok = form->link().isOpen();
}

SimHarness::~SimHarness() {
    form.reset();
    QDir::setCurrent(previousDir);
}

bool SimHarness::waitFor(const std::function<bool()>& cond, int ms) {
    return QTest::qWaitFor(cond, ms);
}
