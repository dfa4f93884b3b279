#include "core/seriallink/comport.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace seriallink {

int parseComport(const QByteArray& text) {
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == ' ' || text[i] == '\t' || text[i] == '\r' || text[i] == '\n'))
        ++i;
    bool negative = false;
    if (i < n && (text[i] == '-' || text[i] == '+')) {
        negative = text[i] == '-';
        ++i;
    }
    long long value = 0;
    int digits = 0;
    while (i < n && text[i] >= '0' && text[i] <= '9') {
        if (value < 1000)
            value = value * 10 + (text[i] - '0');
        ++digits;
        ++i;
    }
    if (digits == 0 || negative || value > 9)
        return 0;
    return static_cast<int>(value);
}

QByteArray comportText(int index) {
    return " " + QByteArray::number(index) + " \r\n";
}

std::optional<int> readComport(const QString& path) {
    // A named pipe would keep start-up waiting for a writer for ever.
    if (!QFileInfo(path).isFile())
        return std::nullopt;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return std::nullopt;
    return parseComport(f.read(64));
}

bool writeComport(const QString& path, int index) {
    QSaveFile f(path);
    if (!f.open(QIODevice::WriteOnly))
        return false;
    f.write(comportText(index));
    return f.commit();
}

} // namespace seriallink
