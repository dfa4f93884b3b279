// The floor for start-up time and memory: a Qt Widgets program that shows an
// empty window and says so on stdout once its event loop runs. With --label
// the window shows one line of text, so the font system starts as it does
// for any window with text in it.

#include <QApplication>
#include <QLabel>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>
#include <unistd.h>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    QWidget window;
    window.resize(640, 480);
    if (QApplication::arguments().contains(QStringLiteral("--label"))) {
        auto* layout = new QVBoxLayout(&window);
        layout->addWidget(new QLabel(QStringLiteral("HDMI Out1 -> HDMI In1"), &window));
    }
    window.show();
    QTimer::singleShot(0, [] { (void)!::write(STDOUT_FILENO, "r", 1); });
    return app.exec();
}
