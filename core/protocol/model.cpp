#include "core/protocol/model.h"

#include "core/protocol/commands.h"

#include <array>

namespace protocol {

namespace {

// The family's encoders: the commands count from 0, the program from 1.
QString familyRoute(int output, int input) {
    return routeCommand(output - 1, input - 1);
}
QString familyStepInput(int output, bool next) {
    return routeCommand(output - 1, next ? kNextInput : kPreviousInput);
}
QString familyAllOutputs(int input) {
    return allOutputsCommand(input - 1);
}
QString familyPresetSave(int preset) {
    return presetSaveCommand(preset - 1);
}
QString familyPresetRecall(int preset) {
    return presetRecallCommand(preset - 1);
}
QString familyIrRoute(int output, int input) {
    return irRouteCommand(output - 1, input - 1);
}
QString familyIrRouteAll(int input) {
    return irRouteAllCommand(input - 1);
}

Model family(const char* name, int inputs, int outputs) {
    Model m;
    m.name = QLatin1String(name);
    m.inputs = inputs;
    m.outputs = outputs;
    m.presets = 3;
    // The IR side is the family's whatever the HDMI ports: the IR code
    // table's 81 entries (the custom code, then a key per IR input and two
    // arrow keys for each of 8 IR outputs) are laid out for 8 IR ports, and
    // "srp 8 i" spells every IR output with the digit past the last port, so
    // a unit with fewer IR ports would need another table and another "all"
    // digit: another family, not a model of this one.
    m.irPorts = kFamilyIrPorts;
    m.irCodeEntries = kFamilyIrCodeEntries;
    m.route = familyRoute;
    m.stepInput = familyStepInput;
    m.allOutputs = familyAllOutputs;
    m.presetSave = familyPresetSave;
    m.presetRecall = familyPresetRecall;
    m.irRoute = familyIrRoute;
    m.irRouteAll = familyIrRouteAll;
    return m;
}

// Every model the program knows, the standard first. The route's input
// digit stops at 8 (9 and 10 step to the previous and next input), so no
// model of the family has more than 8 ports a side.
const std::array<Model, 2>& known() {
    static const std::array<Model, 2> models{family("8x8", 8, 8), family("4x4", 4, 4)};
    return models;
}

} // namespace

const Model& Model::standard() {
    return known().front();
}

const Model* Model::find(const QString& name) {
    for (const Model& m : known())
        if (m.name == name)
            return &m;
    return nullptr;
}

QStringList Model::names() {
    QStringList names;
    for (const Model& m : known())
        names.append(m.name);
    return names;
}

QString Model::unknownMessage(const QString& name) {
    return QStringLiteral("unknown model \"%1\" (known: %2)")
        .arg(name, names().join(QStringLiteral(", ")));
}

} // namespace protocol
