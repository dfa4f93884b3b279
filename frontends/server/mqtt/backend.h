#pragma once

#include "core/protocol/model.h"
#include "state/outcome.h"

#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

namespace mqtt {

using server::Outcome;

// The part of the server the message-broker front end sees: the routing, the
// labels and the requests, numbered from 1. The server adapts its own state to
// this, so that the front end is built and tested without it.
class Backend : public QObject {
    Q_OBJECT
public:
    // How a Queued request ended.
    using Finished = std::function<void(Outcome)>;

    using QObject::QObject;

    // The switcher's model: how many inputs, outputs and presets there are.
    virtual const protocol::Model& model() const { return protocol::Model::standard(); }
    // The switcher's line is open and it answered.
    virtual bool present() const = 0;
    // The input routed to an output, 0 while unknown.
    virtual int input(int output) const = 0;
    virtual QString inputLabel(int input) const = 0;
    virtual QString outputLabel(int output) const = 0;

    // Each returns Queued (finished follows) or why it was refused.
    virtual Outcome requestRoute(int output, int input, Finished finished) = 0;
    // Every output to one input (outputs another client locked refuse it).
    virtual Outcome allOutputs(int input, Finished finished) = 0;
    virtual Outcome recallPreset(int preset, Finished finished) = 0;
    virtual Outcome savePreset(int preset, Finished finished) = 0;

    // The server's named scenes, by name, and those active now (the routing
    // matches all their routes). A backend without scenes has none.
    virtual QStringList scenes() const { return {}; }
    virtual QStringList activeScenes() const { return {}; }
    // Invalid for a scene that is not there.
    virtual Outcome recallScene(const QString& name, Finished finished) {
        Q_UNUSED(name)
        Q_UNUSED(finished)
        return Outcome::Invalid;
    }

signals:
    void presentChanged();
    void inputChanged(int output);
    void inputLabelChanged(int input);
    void outputLabelChanged(int output);
    // The list of scenes, or which are active, changed.
    void scenesChanged();
};

} // namespace mqtt
