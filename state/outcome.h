#pragma once

#include <QString>

namespace server {

// How a client's request to the server went, in every front end's terms:
// the Videohub protocol's ACK or NAK, MQTT's republished state, the web's
// status codes all come from this. A request that returns Queued ends
// later, once, with one of the others.
enum class Outcome {
    Done,      // the switcher reported it (labels and locks: applied)
    Queued,    // accepted; the switcher has not answered yet
    Invalid,   // a number out of range, a label not allowed, nothing asked
    Locked,    // an output is locked by another client
    Absent,    // the switcher is not there, or its line was lost meanwhile
    Busy,      // the client already has as much waiting as it may
    Failed,    // "err", another input reported, or a change not kept
    TimedOut,  // the switcher did not report it in time
    Forbidden, // the one asking may not make this change
};

// The request went, or is on its way.
constexpr bool accepted(Outcome o) {
    return o == Outcome::Done || o == Outcome::Queued;
}

// An outcome in words, the same in the log, the audit trail and every
// front end's messages: a few words ("timed out") and a sentence for
// whoever asked ("The switcher did not report it in time.").
struct OutcomeText {
    const char* words;
    const char* sentence;
};

constexpr OutcomeText outcomeText(Outcome o) {
    switch (o) {
    case Outcome::Done:
        return {"done", "Done."};
    case Outcome::Queued:
        return {"on its way", "On its way to the switcher."};
    case Outcome::Invalid:
        return {"invalid", "The switcher cannot take this."};
    case Outcome::Locked:
        return {"locked", "An output is locked by another client."};
    case Outcome::Absent:
        return {"switcher absent", "The switcher is not there."};
    case Outcome::Busy:
        return {"too many waiting", "Too many of this client's requests are waiting."};
    case Outcome::Failed:
        return {"failed", "The switcher refused it or reported something else."};
    case Outcome::TimedOut:
        return {"timed out", "The switcher did not report it in time."};
    case Outcome::Forbidden:
        break;
    }
    return {"not allowed", "This account may not make this change."};
}

inline QString outcomeWords(Outcome o) {
    return QString::fromLatin1(outcomeText(o).words);
}

inline QString outcomeSentence(Outcome o) {
    return QString::fromLatin1(outcomeText(o).sentence);
}

} // namespace server
