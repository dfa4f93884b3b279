#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>

namespace server {

// One block of the Videohub protocol: a header line ending in ':', body
// lines, ended by an empty line. The body stays the bytes it came as: a
// salvo of thousands of lines costs one buffer, not an object a line.
struct Block {
    QString header;       // as received, without its line end
    QByteArray body;      // every body line ended by LF, CRs before it dropped
    int lines = 0;        // in body
    bool badText = false; // a line was not UTF-8 or held a NUL

    // Calls f(QByteArrayView line) for each body line, without its LF, in
    // order, until f returns false; false then.
    template <typename F> bool eachLine(F f) const {
        for (QByteArrayView rest = body; !rest.isEmpty();) {
            const qsizetype lf = rest.indexOf('\n');
            if (!f(rest.first(lf)))
                return false;
            rest = rest.sliced(lf + 1);
        }
        return true;
    }
};

// Cuts a client's byte stream into blocks. Lines end in LF, a CR before it
// is dropped; empty lines between blocks are skipped. A line longer than
// maxLine bytes (line end not counted), or a block larger than maxBlock,
// makes feed() fail: the client is to be dropped, nothing more is read.
class BlockReader {
public:
    static constexpr qsizetype kMaxLine = 4096;
    static constexpr qsizetype kMaxBlock = 64 * 1024;

    // Appends every block completed by these bytes; false on overflow.
    bool feed(QByteArrayView bytes, QList<Block>& blocks);
    bool failed() const { return failed_; }

private:
    void line(QByteArrayView text, QList<Block>& blocks);

    QByteArray partial_;
    Block current_;
    bool inBlock_ = false;
    qsizetype blockBytes_ = 0;
    bool failed_ = false;
};

} // namespace server
