#include "frontends/cli/output.h"

#include <QJsonDocument>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace cli {

QString outputsText(const Outputs& outputs) {
    QString t;
    for (int o = 0; o < outputs.size(); ++o)
        t += outputs[o] > 0 ? QStringLiteral("output %1: input %2\n").arg(o + 1).arg(outputs[o])
                            : QStringLiteral("output %1: not reported\n").arg(o + 1);
    return t;
}

QJsonArray outputsJson(const Outputs& outputs) {
    QJsonArray a;
    for (int input : outputs)
        a.append(input > 0 ? QJsonValue(input) : QJsonValue());
    return a;
}

QString hexBytes(const QByteArray& bytes) {
    return QString::fromLatin1(bytes.toHex(' ').toUpper());
}

QString progressBar(const QString& label, int done, int total, int width) {
    const int d = qBound(0, done, qMax(total, 0));
    const int cells = total > 0 ? d * width / total : width;
    const int percent = total > 0 ? d * 100 / total : 100;
    return QStringLiteral("%1 [%2%3] %4%")
        .arg(label, QString(cells, QLatin1Char('#')), QString(width - cells, QLatin1Char('.')))
        .arg(percent, 3);
}

Console::Console(bool bar) : bar_(bar) {}

bool Console::stderrIsTerminal() {
    return isatty(fileno(stderr)) == 1;
}

namespace {

void put(std::FILE* stream, const QString& text) {
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

void Console::out(const QByteArray& bytes) {
    if (!stdoutError_.isEmpty())
        return;
    // Checked write and flush: a script must not take an empty or cut
    // result for a good one (SIGPIPE is ignored, so a closed pipe is an
    // error here too).
    errno = 0;
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stdout) != size_t(bytes.size()) ||
        std::fflush(stdout) != 0) {
        const int err = errno;
        stdoutError_ =
            err != 0 ? QString::fromLocal8Bit(std::strerror(err)) : QStringLiteral("write error");
        std::clearerr(stdout);
    }
}

void Console::data(const QString& text) {
    out(text.toLocal8Bit());
}

void Console::json(const QJsonObject& object) {
    if (jsonPrinted_)
        return;
    jsonPrinted_ = true;
    out(QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n');
}

void Console::warning(const QString& line) {
    error(QStringLiteral("warning: ") + line);
}

void Console::error(const QString& line) {
    endProgress();
    put(stderr, QStringLiteral("hdmi-matrix-ctl: ") + line + '\n');
}

void Console::progress(const QString& label, int done, int total) {
    if (!bar_)
        return;
    const QString text = progressBar(label, done, total);
    if (text == shown_)
        return;
    shown_ = text;
    put(stderr, QLatin1Char('\r') + text);
}

void Console::endProgress() {
    if (shown_.isEmpty())
        return;
    shown_.clear();
    // Back to the start of the line and clear it: the terminal is left as
    // it was, for the message or the prompt that follows.
    put(stderr, QStringLiteral("\r\x1b[K"));
}

} // namespace cli
