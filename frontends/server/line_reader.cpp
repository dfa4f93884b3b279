#include "frontends/server/line_reader.h"

namespace server {

bool LineReader::feed(QByteArrayView bytes, QList<QByteArray>& lines) {
    if (failed_)
        return false;
    while (!bytes.isEmpty()) {
        const qsizetype lf = bytes.indexOf('\n');
        const qsizetype take = lf < 0 ? bytes.size() : lf + 1;
        // A CR alone still leaves room for its LF: the limit is judged when
        // the line has ended, or when it can no longer end in time.
        if (partial_.size() + take > kMaxLine) {
            failed_ = true;
            partial_.clear();
            return false;
        }
        partial_.append(bytes.first(take));
        bytes = bytes.sliced(take);
        if (lf >= 0)
            lines.append(std::exchange(partial_, {}));
    }
    return true;
}

} // namespace server
