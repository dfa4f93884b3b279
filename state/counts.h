#pragma once

#include "state/outcome.h"

#include <QtGlobal>
#include <array>

namespace server {

// What the server counts for whoever watches it: plain numbers kept where
// the things happen, read when somebody asks. Nothing here runs by itself.

// The front end a request came from. Local: the server's own (the labels
// file read again).
enum class Frontend { Videohub, Line, Mqtt, Web, Schedule, Local };
constexpr int kFrontends = int(Frontend::Local) + 1;
// "videohub", "line", ...
const char* frontendWord(Frontend f);

// What a request changes. A line of the line port that changes a setting
// is a Setting.
enum class RequestKind { Route, Salvo, Preset, Scene, Label, Lock, Setting };
constexpr int kRequestKinds = int(RequestKind::Setting) + 1;
const char* requestKindWord(RequestKind k);

constexpr int kOutcomes = int(Outcome::Forbidden) + 1;
// An outcome as one word: "done", "timed_out".
const char* outcomeWord(Outcome o);

// Requests by front end, kind and how they ended.
class RequestCounts {
public:
    void add(Frontend f, RequestKind k, Outcome o) { ++counts_[index(f, k, o)]; }
    quint64 count(Frontend f, RequestKind k, Outcome o) const { return counts_[index(f, k, o)]; }

private:
    static int index(Frontend f, RequestKind k, Outcome o) {
        return (int(f) * kRequestKinds + int(k)) * kOutcomes + int(o);
    }
    std::array<quint64, kFrontends * kRequestKinds * kOutcomes> counts_{};
};

// Times in buckets of fixed upper bounds, as a Prometheus histogram keeps
// them: the switcher's answers take some ten milliseconds at 9600 baud, a
// second or more when it struggles.
class TimeBuckets {
public:
    static constexpr std::array<double, 10> kBounds{0.005, 0.01, 0.025, 0.05, 0.1,
                                                    0.25,  0.5,  1,     2.5,  5}; // seconds
    void add(qint64 nanoseconds);
    // The times at or below bound i, i == kBounds.size(): all.
    quint64 atMost(int i) const;
    quint64 count() const { return count_; }
    double seconds() const { return double(nanoseconds_) / 1e9; }

private:
    std::array<quint64, kBounds.size() + 1> in_{}; // in bucket i alone; the last: above all
    quint64 count_ = 0;
    quint64 nanoseconds_ = 0;
};

} // namespace server
