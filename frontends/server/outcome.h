#pragma once

namespace server {

// How a client's request to the server went, in every front end's terms:
// the Videohub protocol's ACK or NAK, MQTT's republished state, the web's
// status codes all come from this. A request that returns Queued ends
// later, once, with one of the others.
enum class Outcome {
    Done,     // the switcher reported it (labels and locks: applied)
    Queued,   // accepted; the switcher has not answered yet
    Invalid,  // a number out of range, a label not allowed, nothing asked
    Locked,   // an output is locked by another client
    Absent,   // the switcher is not there, or its line was lost meanwhile
    Busy,     // the client already has as much waiting as it may
    Failed,   // "err", another input reported, or a change not kept
    TimedOut, // the switcher did not report it in time
};

// The request went, or is on its way.
constexpr bool accepted(Outcome o) {
    return o == Outcome::Done || o == Outcome::Queued;
}

} // namespace server
