#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <array>
#include <functional>

namespace server {

// The switcher as every client of the server sees it: which input each
// output shows, the port labels, the output locks and whether the switcher
// is there at all. Front ends (the Videohub protocol, MQTT) read it, ask it
// for changes on behalf of a client and follow its signals; the line owner
// feeds it the switcher's reports.
//
// Numbers count from 0: outputs and inputs 0..7, presets 0..2. A client is
// named by its identity text (the Videohub front end uses the peer's
// address), which is also the owner of the locks it takes.
//
// A request only goes out (commandRequested); the routing changes when the
// switcher reports it.
class RouterState : public QObject {
    Q_OBJECT
public:
    static constexpr int kInputs = 8;
    static constexpr int kOutputs = 8;
    static constexpr int kPresets = 3;
    static constexpr int kMaxLabelLength = 64;

    enum class Side { Inputs, Outputs };
    // How a request went. Nothing happens unless it is Done.
    enum class Outcome {
        Done,    // applied, or the commands are on their way to the switcher
        Invalid, // a number out of range or a label that is not allowed
        Locked,  // an output is locked by another client
        Absent,  // the switcher is not there
    };
    struct Route {
        int output = 0;
        int input = 0;
    };
    // What a lock request does to one output: take it, release one's own,
    // or release anybody's.
    enum class LockAction { Own, Unlock, Force };
    struct LockChange {
        int output = 0;
        LockAction action = LockAction::Own;
    };
    struct LabelChange {
        int port = 0;
        QString text; // empty restores the default
    };

    explicit RouterState(QObject* parent = nullptr);

    // --- reading ---
    // The port is open and the switcher answered the status request.
    bool present() const { return present_; }
    // The input output o shows, or -1 while unknown.
    int input(int output) const;
    QString inputLabel(int input) const;
    QString outputLabel(int output) const;
    QString label(Side side, int port) const;
    // The identity holding output o's lock; empty when it is free.
    QString lockOwner(int output) const;

    // "Input 3" / "Output 3" for port 2.
    static QString defaultLabel(Side side, int port);
    // UTF-8 text without control characters, at most 64 characters.
    static bool labelAllowed(const QString& text);

    // --- requests on behalf of a client, checked against its locks ---
    // One route or a salvo, all or nothing.
    Outcome requestRoutes(const QString& client, const QList<Route>& routes);
    // Presets 0..2 kept by the switcher. A recall changes every output, so
    // any output locked by another client refuses it.
    Outcome requestPresetRecall(const QString& client, int preset);
    Outcome requestPresetSave(const QString& client, int preset);
    // Every output to one input.
    Outcome requestAllOutputs(const QString& client, int input);
    // Labels are not locked; all are checked before any is applied. A change
    // keepLabels refuses is Invalid.
    Outcome setLabels(Side side, const QList<LabelChange>& changes);
    // Asked before a change applies, with one side's labels as they would
    // be (empty: the default): false when they cannot be kept.
    std::function<bool(Side, const std::array<QString, 8>&)> keepLabels;
    // Takes or releases locks, all or nothing: Unlock of a lock the client
    // does not hold, and Own of another's lock, are refused.
    Outcome changeLocks(const QString& client, const QList<LockChange>& changes);

    // --- the line owner's side ---
    void setPresent(bool present);
    // The switcher reported output o showing input i.
    void setInput(int output, int input);
    // Labels loaded at start, without a signal.
    void loadLabels(Side side, const std::array<QString, 8>& labels);

signals:
    void presenceChanged(bool present);
    // The outputs whose input changed, in ascending order.
    void routingChanged(const QList<int>& outputs);
    void labelsChanged(server::RouterState::Side side, const QList<int>& ports);
    void locksChanged(const QList<int>& outputs);
    // A command for the switcher, without its line end (a route).
    void commandRequested(const QString& command);

private:
    bool lockedByOther(const QString& client, int output) const;
    bool anyLockedByOther(const QString& client) const;

    bool present_ = false;
    std::array<int, kOutputs> routing_;
    std::array<QString, kInputs> inputLabels_;   // empty: the default
    std::array<QString, kOutputs> outputLabels_; // empty: the default
    std::array<QString, kOutputs> locks_;
};

} // namespace server
