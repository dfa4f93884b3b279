#pragma once

#include "core/edid/edid_image.h"
#include "core/protocol/model.h"

#include <QByteArray>
#include <QDateTime>
#include <QJsonValue>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// Everything a switcher lets the program read back, as one value: what a
// backup reads, what a restore compares with the switcher it writes to, and
// the one JSON document they are kept in. Parsing and printing are apart
// from any exchange with the device, so a file is refused whole before
// anything is written.
namespace backup {

inline constexpr auto kFormat = "hdmi-matrix-backup";
inline constexpr int kVersion = 1;
// A backup with labels and scenes stays far below this; anything bigger is
// not one, and is refused before it is read into memory.
inline constexpr qint64 kMaxFileSize = 4 * 1024 * 1024;

struct Backup {
    QString model; // the protocol::Model's name
    QString program;
    QDateTime made;
    // The input (from 1) of each output; 0: the switcher reported none.
    QList<int> routing;
    // Each input's image; nullopt where what was read was no valid EDID.
    QList<std::optional<edid::Image>> edids;
    // The IR code table's entries, as the switcher answered them.
    QStringList irCodes;
    // The IR input (from 1) of each IR output.
    QList<int> irRouting;
    // What the switcher's settings reply reports.
    bool longCable = false;
    int edidMode = 0;
    // Read only when asked for: each preset's input per output.
    std::optional<QList<QList<int>>> presets;
    // The server's labels and scenes, kept as the server's stores give
    // them; undefined when a backup was not made by the server.
    QJsonValue labels;
    QJsonValue scenes;
    // What the switcher cannot report, named so that whoever restores the
    // file knows it is not in it.
    QStringList notRead;
};

// The parts a restore may be limited to; IR is the codes and the IR routing.
struct Parts {
    bool routing = true;
    bool edid = true;
    bool ir = true;
    bool settings = true;
};
// "routing,edid": nullopt for a name that is none of routing, edid, ir,
// settings.
std::optional<Parts> parseParts(const QString& list);

struct Parsed {
    std::optional<Backup> backup;
    // Where and why the file was refused.
    QString error;
};
// The document, checked whole against the model it is to be restored to:
// JSON, the format and version, the model, the size of every list, every
// EDID's header and checksums, every IR code the switcher can take.
Parsed parse(const QByteArray& bytes, const protocol::Model& model);
QByteArray print(const Backup& backup);

// One thing a restore may write: an input's EDID, the IR code table, an IR
// output's IR input, the settings, an output's input.
struct Item {
    enum class Kind { Routing, Edid, IrCodes, IrRouting, Settings, Presets };
    Kind kind = Kind::Routing;
    int index = 0; // the output, input or IR output (from 1); 0 for the others
    bool operator==(const Item&) const = default;
};

// What differs between the backup and the switcher, one item each (the IR
// code table by entry, the settings by value).
struct Difference {
    Item item;
    int entry = 0; // the IR code entry, or 0/1 for long cable/EDID mode
    QString from;  // as the switcher holds it
    QString to;    // as the backup holds it
};
QList<Difference> differences(const Backup& wanted, const Backup& present, const Parts& parts);

// The lines scripts read, the same from the tool and the server's API:
// "output 4: input 3 → input 6", "input 2 EDID: ...", "IR code 7: 07 → 1A".
QString differenceLine(const Difference& difference);
QString itemName(const Item& item);

} // namespace backup
