#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>

namespace server {

// Cuts a line-port client's bytes into whole lines, each with its line end
// as sent: LF, CR LF, or a CR that something other than LF follows. The
// switcher acts on a line only at its end, so only whole lines go to it:
// bytes without a line end wait here for the rest (a line another client
// has begun is never spliced with one of ours). A CR that ends the bytes so
// far may still get its LF; the caller takes such a line after a quiet
// time (lineEndPending()).
//
// A line may hold at most 256 bytes, its line end counted; a longer one
// makes feed() fail and the client is dropped.
class LineReader {
public:
    static constexpr qsizetype kMaxLine = 256;

    // Appends every completed line; false on overflow.
    bool feed(QByteArrayView bytes, QList<QByteArray>& lines);
    // The bytes so far end in a CR.
    bool lineEndPending() const { return partial_.endsWith('\r'); }
    // Takes the bytes still without a (whole) line end.
    QByteArray takePartial() { return std::exchange(partial_, {}); }
    bool failed() const { return failed_; }

private:
    QByteArray partial_;
    bool failed_ = false;
};

} // namespace server
