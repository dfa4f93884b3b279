#include "frontends/server/block_reader.h"

#include <QStringDecoder>

namespace server {

bool BlockReader::feed(QByteArrayView bytes, QList<Block>& blocks) {
    if (failed_)
        return false;
    while (!bytes.isEmpty()) {
        const qsizetype lf = bytes.indexOf('\n');
        const QByteArrayView piece = lf < 0 ? bytes : bytes.first(lf);
        if (partial_.size() + piece.size() > kMaxLine + 1) { // + a CR before the LF
            failed_ = true;
            return false;
        }
        if (lf < 0) {
            partial_.append(piece);
            break;
        }
        bytes = bytes.sliced(lf + 1);
        QByteArrayView text = piece;
        if (!partial_.isEmpty()) {
            partial_.append(piece);
            text = partial_;
        }
        if (text.endsWith('\r'))
            text.chop(1);
        if (text.size() > kMaxLine) {
            failed_ = true;
            return false;
        }
        blockBytes_ += text.size() + 1;
        if (blockBytes_ > kMaxBlock) {
            failed_ = true;
            return false;
        }
        line(text, blocks);
        partial_.clear();
    }
    return true;
}

void BlockReader::line(QByteArrayView text, QList<Block>& blocks) {
    if (text.isEmpty()) {
        if (inBlock_) {
            current_.badText = current_.badText || !QByteArrayView(current_.body).isValidUtf8() ||
                               current_.body.contains('\0');
            blocks.append(std::move(current_));
        }
        current_ = Block();
        inBlock_ = false;
        blockBytes_ = 0;
        return;
    }
    if (inBlock_) {
        current_.body += text;
        current_.body += '\n';
        ++current_.lines;
        return;
    }
    inBlock_ = true;
    QStringDecoder decode(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    current_.header = decode(text);
    current_.badText = decode.hasError() || text.contains('\0');
}

} // namespace server
