#pragma once

#include "core/edid/edid_image.h"
#include "sim/edid_state.h"

#include <QByteArray>
#include <QFile>
#include <algorithm>
#include <csignal>
#include <sys/resource.h>

namespace edidtest {

// The simulator's image, a valid two-block EDID.
inline edid::Image sampleImage() {
    const sim::EdidState::Image s = sim::EdidState::defaultImage();
    edid::Image m;
    std::copy(s.begin(), s.end(), m.begin());
    return m;
}

inline QByteArray bytesOf(const edid::Image& m) {
    return QByteArray(reinterpret_cast<const char*>(m.data()), edid::kImageSize);
}

inline QString hexByte(std::uint8_t b, bool lower = false) {
    const QString t = QStringLiteral("%1").arg(uint(b), 2, 16, QChar(u'0'));
    return lower ? t.toLower() : t.toUpper();
}

// The view text a read of all 256 bytes leaves behind: the last byte is
// followed by two blanks, not by a row's CR LF.
inline QString readForm(const edid::Image& m, bool lower = false) {
    QString text;
    for (int i = 0; i < edid::kImageSize - 1; ++i)
        text += edid::readFormCell(hexByte(m[i], lower), i);
    return text + hexByte(m[255], lower) + QStringLiteral("  ");
}

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(bytes) == bytes.size();
}

inline QByteArray readFile(const QString& path) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
        return "<unreadable>";
    return f.readAll();
}

// While it lives, writing a file beyond 100 bytes fails as on a full disk
// (root ignores permissions, so this is the way to make a save fail).
class FileSizeLimit {
public:
    FileSizeLimit() {
        previous_ = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &saved_);
        rlimit tight = saved_;
        tight.rlim_cur = 100;
        ok_ = setrlimit(RLIMIT_FSIZE, &tight) == 0;
    }
    ~FileSizeLimit() {
        setrlimit(RLIMIT_FSIZE, &saved_);
        std::signal(SIGXFSZ, previous_);
    }
    bool ok() const { return ok_; }

private:
    rlimit saved_{};
    void (*previous_)(int) = nullptr;
    bool ok_ = false;
};

} // namespace edidtest
