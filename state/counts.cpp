#include "state/counts.h"

#include <algorithm>

namespace server {

const char* frontendWord(Frontend f) {
    switch (f) {
    case Frontend::Videohub:
        return "videohub";
    case Frontend::Line:
        return "line";
    case Frontend::Mqtt:
        return "mqtt";
    case Frontend::Web:
        return "web";
    case Frontend::Schedule:
        return "schedule";
    case Frontend::Local:
        break;
    }
    return "local";
}

const char* requestKindWord(RequestKind k) {
    switch (k) {
    case RequestKind::Route:
        return "route";
    case RequestKind::Salvo:
        return "salvo";
    case RequestKind::Preset:
        return "preset";
    case RequestKind::Scene:
        return "scene";
    case RequestKind::Label:
        return "label";
    case RequestKind::Lock:
        return "lock";
    case RequestKind::Setting:
        break;
    }
    return "setting";
}

const char* outcomeWord(Outcome o) {
    switch (o) {
    case Outcome::Done:
        return "done";
    case Outcome::Queued:
        return "queued";
    case Outcome::Invalid:
        return "invalid";
    case Outcome::Locked:
        return "locked";
    case Outcome::Absent:
        return "absent";
    case Outcome::Busy:
        return "busy";
    case Outcome::Failed:
        return "failed";
    case Outcome::TimedOut:
        return "timed_out";
    case Outcome::Forbidden:
        break;
    }
    return "forbidden";
}

void TimeBuckets::add(qint64 nanoseconds) {
    const double s = double(nanoseconds) / 1e9;
    std::size_t i = 0;
    while (i < kBounds.size() && s > kBounds[i])
        ++i;
    ++in_[i];
    ++count_;
    nanoseconds_ += quint64(std::max<qint64>(nanoseconds, 0));
}

quint64 TimeBuckets::atMost(int i) const {
    quint64 sum = 0;
    for (int k = 0; k <= i && k < int(in_.size()); ++k)
        sum += in_[k];
    return sum;
}

} // namespace server
