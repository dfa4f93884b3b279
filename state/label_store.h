#pragma once

#include "core/files/versioned_json.h"
#include "state/router_state.h"

#include <QObject>
#include <QString>
#include <QStringList>

#include <array>

namespace server {

// Keeps the port labels of a RouterState in the state folder: loads them at
// start (and again on reload) and saves them, atomically, before a change
// applies, so that a change that cannot be kept is refused rather than lost
// at the next start. The file, labels.json, holds {"version": 1, "inputs":
// [8 texts], "outputs": [8 texts]} (a file without a version is version 1);
// an empty text is the default label. A file it cannot read is set aside,
// renamed, before a new one is written; a newer version's file is never
// overwritten.
class LabelStore : public QObject {
    Q_OBJECT
public:
    static constexpr int kVersion = 1;

    LabelStore(RouterState& state, const QString& folder, QObject* parent = nullptr);

    // Reads the file into the state; a missing file is no error. False with
    // the reason, in words for the log, when the file is there but cannot
    // be read or is a newer version's.
    bool load(QString* error);
    // Reads the file again and applies what differs as a change clients
    // hear of; false as load().
    bool reload(QString* error);
    QString path() const { return file_.path(); }

signals:
    // A change was refused, or a damaged file set aside; one line for the log.
    void saveFailed(const QString& reason);
    void setAside(const QString& line);

private:
    using Labels = std::array<QStringList, 2>; // inputs, outputs; port 1's first
    bool read(Labels* labels, QString* error);
    bool keep(RouterState::Side side, const QStringList& next);

    RouterState& state_;
    files::VersionedJson file_;
    bool reloading_ = false;
};

} // namespace server
