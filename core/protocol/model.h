#pragma once

#include <QString>
#include <QStringList>

// A switcher model: its shape and how its command family spells the
// commands that name ports. It is one value, made here and passed where it
// is needed (the core at construction, the front ends from the core or from
// their options); nothing else in the program spells a count.
//
// Ports are counted from 1 everywhere in the program, as the operator and
// the switcher's reports count them; each protocol converts at its own edge
// (the encoders below, the Videohub protocol's 0-based numbers).
//
// A new model is one entry of the table in model.cpp, plus the simulator's
// (sim/device.h).
namespace protocol {

struct Model {
    QString name; // as --model takes it: "8x8"
    int inputs = 0;
    int outputs = 0;
    // Presets the switcher keeps.
    int presets = 0;
    // IR inputs and outputs of the IR routing.
    int irPorts = 0;
    // Entries of the IR code table: the custom code and the data codes.
    int irCodeEntries = 0;

    // The command encoders of the model's family, ports and presets from 1.
    // route: CR LF included (a routing button writes it raw); the others
    // without, as the senders add it.
    QString (*route)(int output, int input) = nullptr;
    // The output's next input (next) or previous one, wrapping round.
    QString (*stepInput)(int output, bool next) = nullptr;
    QString (*allOutputs)(int input) = nullptr;
    QString (*presetSave)(int preset) = nullptr;
    QString (*presetRecall)(int preset) = nullptr;
    QString (*irRoute)(int output, int input) = nullptr;
    QString (*irRouteAll)(int input) = nullptr;

    bool isInput(int n) const { return n >= 1 && n <= inputs; }
    bool isOutput(int n) const { return n >= 1 && n <= outputs; }
    bool isPreset(int n) const { return n >= 1 && n <= presets; }
    bool isIrPort(int n) const { return n >= 1 && n <= irPorts; }

    // The model a program uses without --model.
    static const Model& standard();
    // The model of that name; nullptr for one the program does not know.
    static const Model* find(const QString& name);
    // Every known name, the standard first.
    static QStringList names();
    // The message for a name find() does not know, naming the known ones.
    static QString unknownMessage(const QString& name);
};

// The family's IR side, the same in every model of it (why: model.cpp): the
// IR code table's layout and the digits of the IR routing's reports, so
// the capacity of the IR code table and of the IR routing window.
inline constexpr int kFamilyIrPorts = 8;
inline constexpr int kFamilyIrCodeEntries = 81;

// How long a routing command's report may take once the command is written
// (the tool's default --timeout, the server's routes).
inline constexpr int kRoutingTimeoutMs = 1000;

} // namespace protocol
