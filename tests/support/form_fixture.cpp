#include "tests/support/form_fixture.h"

#include <QDir>

FormFixture::FormFixture(bool load, const protocol::Model& model) {
    previousDir = QDir::currentPath();
    QDir::setCurrent(dir.path());
    form = std::make_unique<MainWindow>(platform, platform.fakeDialogs(), model);
    if (load)
        form->startUp();
}

FormFixture::~FormFixture() {
    form.reset();
    QDir::setCurrent(previousDir);
}

QByteArray FormFixture::takeWritten() {
    QByteArray out;
    out.swap(port().written);
    return out;
}

void FormFixture::receive(const QByteArray& bytes, int ms) {
    port().deliver(bytes);
    advance(ms);
}
