#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QList>
#include <QString>
#include <QStringList>

namespace server {

// One block of the Videohub protocol: a header line ending in ':', body
// lines, ended by an empty line.
struct Block {
    QString header;       // as received, without its line end
    QStringList body;     // without line ends
    bool badText = false; // a line was not UTF-8 or held a NUL
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
