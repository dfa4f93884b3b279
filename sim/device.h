#pragma once

#include "sim/edid_state.h"
#include "sim/ir_state.h"
#include "sim/settings_state.h"

#include <QByteArray>
#include <QByteArrayList>
#include <QCommandLineParser>
#include <QList>
#include <QStringList>
#include <array>
#include <functional>
#include <map>

namespace sim {

// Faults the simulated switcher can be told to commit.
struct Faults {
    bool silent = false;        // answers nothing at all
    bool silentModes = false;   // does not echo the mode words
    bool ackOnlyRecall = false; // answers "msw" and "asw" with "Ack", no reports
    bool refuseRoutes = false;  // answers a route with "err"
    bool ignoreRoutes = false;  // answers a route with nothing, and keeps it
    bool garbage = false;       // sends a burst of noise before every answer
    int dropEvery = 0;          // drops every n-th answer line (0: never)
    int answered = 0;           // answer lines produced so far, for dropEvery
};

// A model of the switcher's command family the simulator can be: its own
// table, apart from the program's, so that the program's shape is checked
// against a second definition rather than mirrored.
struct Shape {
    QString name; // as --model takes it
    int inputs;
    int outputs;
};
// The shape of that name (8x8, 4x4); nullptr for one it does not know.
const Shape* findShape(const QString& name);
const Shape& standardShape();
QStringList shapeNames();

// The switcher: its shape's HDMI inputs routed to its outputs, three
// presets, the device modes, settings, one EDID per input, the IR code
// table and IR routing (8 IR ports, whatever the shape).
// Bytes go in as they arrive on the line; reply lines (CR LF each) come out.
class Device {
public:
    using Reply = QByteArrayList;
    // A command's handler gets the whole line (without CR LF) and its words.
    using Handler =
        std::function<Reply(Device&, const QByteArray& line, const QByteArrayList& args)>;

    explicit Device(const Shape& shape = standardShape());

    // Feeds received bytes; returns what the device sends back.
    QByteArray receive(const QByteArray& bytes);
    // One command line, without its terminator; the answer lines, each
    // without CR LF.
    Reply handleLine(const QByteArray& line);
    void addCommand(const QByteArray& word, Handler handler);

    // Called with every command line received (the console prints them).
    std::function<void(const QByteArray&)> onLine;

    // A routing report line for output o (from 0): "s", o + 1, input + 1.
    QByteArray routingReport(int output) const;
    Reply allRoutingReports() const;

    const Shape shape;
    QList<int> routing; // input (from 0) of each output
    std::array<QList<int>, 3> presets{};
    QByteArray mode; // "stm", "edm", "irm" or empty
    Faults faults;
    SettingsState settings;
    EdidState edid;
    IrState ir;

private:
    QByteArray pending_;
    std::map<QByteArray, Handler> commands_;
};

// Command-line options of the console simulator: each feature adds its own.
void addOptions(QCommandLineParser& parser);
// Applies them; false with a message on a bad value.
bool applyOptions(const QCommandLineParser& parser, Device& device, QString* error);

// Each feature registers its commands and options here.
void registerRoutingCommands(Device& d);
void registerSettingsCommands(Device& d);
void registerEdidCommands(Device& d);
void registerIrCommands(Device& d);
void addSettingsOptions(QCommandLineParser& p);
void addEdidOptions(QCommandLineParser& p);
void addIrOptions(QCommandLineParser& p);
bool applySettingsOptions(const QCommandLineParser& p, Device& d, QString* error);
bool applyEdidOptions(const QCommandLineParser& p, Device& d, QString* error);
bool applyIrOptions(const QCommandLineParser& p, Device& d, QString* error);

} // namespace sim
