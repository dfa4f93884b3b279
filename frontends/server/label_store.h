#pragma once

#include "frontends/server/router_state.h"

#include <QObject>
#include <QString>

namespace server {

// Keeps the port labels of a RouterState in the state folder: loads them
// once at start and saves them, atomically, after every change. The file,
// labels.json, holds {"inputs": [8 texts], "outputs": [8 texts]}; an empty
// text is the default label.
class LabelStore : public QObject {
    Q_OBJECT
public:
    LabelStore(RouterState& state, const QString& folder, QObject* parent = nullptr);

    // Reads the file into the state; a missing file is no error. False with
    // the reason when the file is there but unreadable or damaged (the
    // defaults stay).
    bool load(QString* error);
    // Writes the state's labels; false with the reason.
    bool save(QString* error);
    QString path() const { return path_; }

signals:
    // A save after a change failed; one line for the log.
    void saveFailed(const QString& reason);

private:
    RouterState& state_;
    QString folder_;
    QString path_;
};

} // namespace server
