#include "frontends/server/line_reader.h"

namespace server {

bool LineReader::feed(QByteArrayView bytes, QList<QByteArray>& lines) {
    if (failed_)
        return false;
    for (const char c : bytes) {
        if (c != '\n' && lineEndPending())
            lines.append(std::exchange(partial_, {}));
        if (partial_.size() >= kMaxLine) {
            failed_ = true;
            partial_.clear();
            return false;
        }
        partial_.append(c);
        if (c == '\n')
            lines.append(std::exchange(partial_, {}));
    }
    return true;
}

} // namespace server
