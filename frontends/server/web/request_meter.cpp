#include "frontends/server/web/request_meter.h"

#include <QList>

namespace web {

RequestMeter::Verdict RequestMeter::feed(QByteArrayView bytes) {
    qsizetype i = 0;
    while (verdict_ == Verdict::Fine && i < bytes.size()) {
        switch (state_) {
        case State::Between: {
            // What is left of the previous request's line ends.
            const char c = bytes[i];
            if (c == '\r' || c == '\n' || c == ' ' || c == '\t' || c == '\v') {
                ++i;
                break;
            }
            state_ = State::Head;
            head_.clear();
            break;
        }
        case State::Head: {
            const char c = bytes[i++];
            head_.append(c);
            if (head_.size() > maxHead_)
                verdict_ = Verdict::HeadTooLarge;
            else if (c == '\n' && (head_.endsWith("\n\n") || head_.endsWith("\n\r\n")))
                verdict_ = endHead();
            break;
        }
        case State::Body: {
            const qint64 n = std::min<qint64>(bodyLeft_, bytes.size() - i);
            i += n;
            bodyLeft_ -= n;
            if (bodyLeft_ == 0) {
                state_ = State::Between;
                cap_ = maxBody_;
                ++completed_;
            }
            break;
        }
        }
    }
    return verdict_;
}

RequestMeter::Verdict RequestMeter::endHead() {
    bool chunked = false, coded = false;
    QByteArray lengthText; // the one length every Content-Length gives
    const QList<QByteArray> lines = head_.split('\n');
    for (qsizetype n = 1; n < lines.size(); ++n) {
        const qsizetype colon = lines[n].indexOf(':');
        if (colon < 0)
            continue;
        const QByteArray name = lines[n].left(colon).trimmed().toLower();
        const QByteArray value = lines[n].mid(colon + 1).trimmed();
        if (name == "transfer-encoding") {
            coded = true;
            chunked = chunked || value.toLower().contains("chunked");
        } else if (name == "content-length") {
            // A list ("5, 5") is the same length given again.
            for (const QByteArray& one : value.split(',')) {
                if (!lengthText.isNull() && one.trimmed() != lengthText)
                    return Verdict::Ambiguous;
                lengthText = one.trimmed();
            }
        }
    }
    if (coded && !lengthText.isNull())
        return Verdict::Ambiguous;
    if (chunked)
        return Verdict::LengthRequired;
    cap_ = isUpload() ? maxUpload_ : maxBody_;
    bool ok = false;
    const qulonglong v = lengthText.toULongLong(&ok);
    if (ok && v > qulonglong(cap_))
        return Verdict::BodyTooLarge;
    const qint64 length = ok ? qint64(v) : 0;
    head_.clear();
    bodyLeft_ = length;
    if (length > 0) {
        state_ = State::Body;
    } else {
        state_ = State::Between;
        cap_ = maxBody_;
        ++completed_;
    }
    return Verdict::Fine;
}

bool RequestMeter::isUpload() const {
    if (upload_.isEmpty())
        return false;
    // "METHOD TARGET VERSION": the target's path, without its query.
    const QByteArray line = head_.left(head_.indexOf('\n')).trimmed();
    const qsizetype path = line.indexOf(' ') + 1;
    const qsizetype end = line.indexOf(' ', path);
    if (path <= 0 || end < 0)
        return false;
    const QByteArray target = line.mid(path, end - path);
    const qsizetype query = target.indexOf('?');
    return line.left(path) + (query < 0 ? target : target.left(query)) == upload_;
}

} // namespace web
