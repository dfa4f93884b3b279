#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace server {

// Cuts a line-port client's bytes into whole lines, each with its line end
// (LF, or CR LF) as sent. A line may hold at most 256 bytes, its line end
// counted; a longer one makes feed() fail and the client is dropped. Bytes
// without a line end wait in partial() until the caller flushes them after
// a quiet time.
class LineReader {
public:
    static constexpr qsizetype kMaxLine = 256;

    // Appends every completed line; false on overflow.
    bool feed(QByteArrayView bytes, QList<QByteArray>& lines);
    bool hasPartial() const { return !partial_.isEmpty(); }
    // Takes the bytes still without a line end.
    QByteArray takePartial() { return std::exchange(partial_, {}); }
    bool failed() const { return failed_; }

private:
    QByteArray partial_;
    bool failed_ = false;
};

} // namespace server
