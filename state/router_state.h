#pragma once

#include "core/protocol/model.h"
#include "state/accounts.h"
#include "state/audit_trail.h"
#include "state/counts.h"
#include "state/outcome.h"

#include <QHash>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <array>
#include <functional>

namespace device {
class Request;
class RequestQueue;
} // namespace device

namespace server {

// The switcher as every client of the server sees it: which input each
// output shows, the port labels, the output locks and whether the switcher
// is there at all. Front ends (the Videohub protocol, MQTT, the web) read
// it, ask it for changes on behalf of a client and follow its signals.
//
// Ports count from 1, presets too. A client is named by its identity text
// (the Videohub front end uses the peer's address), which is also the owner
// of the locks it takes.
//
// Routes, salvos, every output to one input and the presets go to the
// switcher as the core's requests, each with its rule for when the switcher
// has carried it out; the routing changes only when the switcher reports it.
// The clients take turns on the line, and each may have only so much
// waiting.
class RouterState : public QObject {
    Q_OBJECT
public:
    static constexpr int kMaxLabelLength = 64;

    enum class Side { Inputs, Outputs };
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
    // A salvo's routes taken one at a time, of any number, keeping what
    // counts: the last route to each output, in the order of those last
    // routes. Its size is that of the switcher, not of what a client sent.
    class Salvo {
    public:
        explicit Salvo(const protocol::Model& model)
            : model_(model), input_(model.outputs, 0), order_(model.outputs, 0) {}
        // False, and nothing kept, for a route naming no port.
        bool add(Route route);
        QList<Route> routes() const;

    private:
        const protocol::Model& model_;
        QList<int> input_;
        QList<qint64> order_; // 0: no route
        qint64 added_ = 0;
    };
    // How a Queued request ended: Done, Failed, TimedOut or Absent.
    using Finished = std::function<void(Outcome)>;

    // Who asks for a change: the client (the owner of its locks, and its
    // turns on the switcher's line), the name and address the audit trail
    // gives them, what they may do, and the front end they came by (what
    // the requests are counted under). Front ends without accounts (the
    // Videohub protocol, MQTT, the schedule) may do everything.
    struct Asker {
        QString client;
        QString who;
        QString from;
        Role role = Role::Admin;
        Frontend frontend = Frontend::Local;
        // A client limited to some outputs (an account kept to rooms) may
        // change those alone: no preset, no input label, no other output.
        bool limited = false;
        QList<int> outputs = {}; // what a limited client may change, ascending
        bool reaches(int output) const { return !limited || outputs.contains(output); }
    };
    // A change somebody asks for.
    struct Change {
        enum class Kind { Routes, AllOutputs, PresetRecall, PresetSave, Labels, Locks };
        Kind kind = Kind::Routes;
        QList<Route> routes;
        int number = 0; // the input of all outputs, the preset
        Side side = Side::Outputs;
        QList<LabelChange> labels;
        QList<LockChange> locks;
        // The words of the audit trail; empty: the change's own.
        QString what;
        // Routes that recall a scene: counted as a scene, not a salvo.
        bool scene = false;

        static Change toRoutes(const QList<Route>& routes, const QString& what = {});
        static Change allOutputs(int input);
        static Change presetRecall(int preset);
        static Change presetSave(int preset);
        static Change toLabels(Side side, const QList<LabelChange>& labels);
        static Change toLocks(const QList<LockChange>& locks);
    };
    // The role a kind of change needs.
    static Role needs(Change::Kind kind);
    // Whether every output the change touches is the asker's to change.
    bool within(const Asker& asker, const Change& change) const;
    // The change in the words of the log and the audit trail.
    static QString describe(const Change& change);

    explicit RouterState(const protocol::Model& model = protocol::Model::standard(),
                         QObject* parent = nullptr);

    // The switcher's model: its ports, presets and commands.
    const protocol::Model& model() const { return model_; }
    // Requests one client may have on their way at once: two salvos of
    // every output.
    int maxWaiting() const { return 2 * model_.outputs; }
    ~RouterState() override;

    // The switcher's request queue: requests go there and its routing
    // reports come here. Without one, the switcher is absent.
    void attach(device::RequestQueue* queue);

    // --- reading ---
    // The port is open and the switcher answered.
    bool present() const { return present_; }
    // The input an output shows (both from 1), or 0 while unknown.
    int input(int output) const;
    QString label(Side side, int port) const;
    QString inputLabel(int input) const { return label(Side::Inputs, input); }
    QString outputLabel(int output) const { return label(Side::Outputs, output); }
    // The identity holding the output's lock; empty when it is free.
    QString lockOwner(int output) const;
    int ports(Side side) const { return side == Side::Inputs ? model_.inputs : model_.outputs; }
    // Every port of a side, 1 to ports(side).
    QList<int> allPorts(Side side) const;

    // "Input 3" / "Output 3".
    static QString defaultLabel(Side side, int port);
    // UTF-8 text without control characters, at most 64 characters.
    static bool labelAllowed(const QString& text);
    // The characters (Unicode code points, not UTF-16 units) of a text
    // clients may give as a name; -1 when it holds a control character,
    // a line or paragraph separator or a lone surrogate.
    static qsizetype textLength(const QString& text);

    // --- changes on behalf of a client ---
    // The one way a front end changes the switcher or the shared state:
    // the asker's role, then the change's own checks and the locks, the
    // switcher's queue, and one entry in the audit trail with the outcome
    // once it is known (a queued change's when it ends). Returns Queued
    // (finished() follows), Done, or why it was refused.
    Outcome ask(const Asker& asker, const Change& change, Finished finished = {});
    // Asked before a change applies, with one side's labels as they would
    // be, port 1's first (empty: the default): false when they cannot be
    // kept.
    std::function<bool(Side, const QStringList&)> keepLabels;

    // Who asked for which change, from every front end.
    AuditTrail& audit() { return audit_; }
    // Every change asked, by front end, kind and how it ended (once it
    // ended); the line port adds its own lines.
    RequestCounts& requests() { return requests_; }
    const RequestCounts& requests() const { return requests_; }
    static RequestKind kindOf(const Change& change);
    // How long the switcher took to answer the requests of the attached
    // queue, whoever asked.
    const TimeBuckets& replyTimes() const { return replyTimes_; }
    // Times the switcher was there and then was not.
    quint64 absences() const { return absences_; }
    // The words the log and the audit trail give each request.
    static QString routesText(const QList<Route>& routes);
    static QString presetText(bool save, int preset);
    static QString allOutputsText(int input);
    static QString labelsText(Side side, const QList<LabelChange>& changes);
    static QString locksText(const QList<LockChange>& changes);

    // --- what the switcher's line says ---
    // Absent: whatever waits for the switcher ends as Absent.
    void setPresent(bool present);
    // The switcher reported the output showing the input.
    void setInput(int output, int input);
    // Labels loaded at start, without a signal: port 1's first.
    void loadLabels(Side side, const QStringList& labels);

signals:
    void presenceChanged(bool present);
    // The outputs whose input changed, in ascending order.
    void routingChanged(const QList<int>& outputs);
    void labelsChanged(server::RouterState::Side side, const QList<int>& ports);
    void locksChanged(const QList<int>& outputs);
    // The switcher did not carry out a client's request (what: the request
    // in words, for the log). The routing stays what the switcher reports;
    // front ends show the outputs concerned to their clients again.
    void requestFailed(const QString& client, const QString& what, server::Outcome outcome,
                       const QList<int>& outputs);

private:
    // The changes one by one, checked against the client's locks; ask()
    // checks the role and audits. Each returns Queued (finished() follows)
    // or why it was refused.
    // One route or a salvo, all or nothing; routes to one output come down
    // to the last.
    Outcome requestRoutes(const QString& client, const QList<Route>& routes,
                          Finished finished = {});
    // A recall changes every output, so any output locked by another
    // client refuses it.
    Outcome requestPresetRecall(const QString& client, int preset, Finished finished = {});
    Outcome requestPresetSave(const QString& client, int preset, Finished finished = {});
    // Every output to one input.
    Outcome requestAllOutputs(const QString& client, int input, Finished finished = {});
    // Labels are not locked; all are checked before any is applied. A
    // change keepLabels refuses is Failed.
    Outcome setLabels(Side side, const QList<LabelChange>& changes);
    // Takes or releases locks, all or nothing: Unlock of a lock the client
    // does not hold, and Own of another's lock, are refused.
    Outcome changeLocks(const QString& client, const QList<LockChange>& changes);

    struct Client {
        int id = 0;          // in the switcher's queue
        int outstanding = 0; // requests not finished
    };
    bool lockedByOther(const QString& client, int output) const;
    bool anyLockedByOther(const QString& client) const;
    // The checks every routing request shares, in the order a client is
    // told about them.
    Outcome refusal(const QString& client, int requests) const;
    // Queues the requests for the client; finished once all have ended.
    Outcome submit(const QString& client, const QList<device::Request*>& requests,
                   const QString& what, const QList<int>& outputs, Finished finished);

    AuditTrail audit_;
    RequestCounts requests_;
    TimeBuckets replyTimes_;
    quint64 absences_ = 0;
    QPointer<device::RequestQueue> queue_;
    bool present_ = false;
    protocol::Model model_;
    QList<int> routing_;          // 0: unknown
    QList<QString> inputLabels_;  // empty: the default
    QList<QString> outputLabels_; // empty: the default
    QList<QString> locks_;
    QHash<QString, Client> clients_;
    int nextId_ = -2; // below the server's own numbers
};

} // namespace server
