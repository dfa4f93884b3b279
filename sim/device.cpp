#include "sim/device.h"

namespace sim {

namespace {

const QList<Shape>& shapes() {
    static const QList<Shape> known{{QStringLiteral("8x8"), 8, 8}, {QStringLiteral("4x4"), 4, 4}};
    return known;
}

} // namespace

const Shape* findShape(const QString& name) {
    for (const Shape& s : shapes())
        if (s.name == name)
            return &s;
    return nullptr;
}

const Shape& standardShape() {
    return shapes().front();
}

QStringList shapeNames() {
    QStringList names;
    for (const Shape& s : shapes())
        names << s.name;
    return names;
}

Device::Device(const Shape& shape) : shape(shape) {
    for (int o = 0; o < shape.outputs; ++o)
        routing.append(o % shape.inputs);
    for (auto& p : presets)
        p = routing;
    settings.allPortsMask = (1 << shape.inputs) - 1;
    registerRoutingCommands(*this);
    registerSettingsCommands(*this);
    registerEdidCommands(*this);
    registerIrCommands(*this);
}

void Device::addCommand(const QByteArray& word, Handler handler) {
    commands_[word] = std::move(handler);
}

QByteArray Device::receive(const QByteArray& bytes) {
    QByteArray out;
    for (char c : bytes) {
        if (c != '\r' && c != '\n') {
            // A line without an end never grows without bound.
            if (pending_.size() < 4096)
                pending_ += c;
            continue;
        }
        if (pending_.isEmpty())
            continue;
        const QByteArray line = pending_;
        pending_.clear();
        if (onLine)
            onLine(line);
        const Reply replies = handleLine(line);
        if (faults.silent)
            continue;
        for (const QByteArray& r : replies) {
            ++faults.answered;
            if (faults.dropEvery > 0 && faults.answered % faults.dropEvery == 0)
                continue;
            if (faults.garbage)
                out += QByteArray("#\x07~noise~\xfe\x01", 10);
            out += r + "\r\n";
        }
    }
    return out;
}

Device::Reply Device::handleLine(const QByteArray& line) {
    const QByteArrayList args = line.simplified().split(' ');
    const QByteArray word = args.value(0);
    const auto it = commands_.find(word);
    if (it == commands_.end())
        return {"Ack"};
    return it->second(*this, line, args);
}

QByteArray Device::routingReport(int output) const {
    return "s" + QByteArray::number(output + 1) + QByteArray::number(routing[output] + 1);
}

Device::Reply Device::allRoutingReports() const {
    Reply r;
    for (int o = 0; o < shape.outputs; ++o)
        r << routingReport(o);
    return r;
}

void addOptions(QCommandLineParser& p) {
    p.addOption({"silent", "Answer nothing at all."});
    p.addOption({"silent-modes", "Do not echo the mode words (stm, edm, irm, ...)."});
    p.addOption({"ack-only-recall",
                 "Answer a preset recall or all-outputs command with Ack alone, no reports."});
    p.addOption({"garbage", "Send a burst of noise before every answer line."});
    p.addOption({"refuse-routes", "Answer every route (cir) with err."});
    p.addOption({"ignore-routes", "Answer no route (cir), and carry none out."});
    p.addOption({"drop-every", "Drop every <n>-th answer line.", "n"});
    addSettingsOptions(p);
    addEdidOptions(p);
    addIrOptions(p);
}

bool applyOptions(const QCommandLineParser& p, Device& d, QString* error) {
    d.faults.silent = p.isSet("silent");
    d.faults.silentModes = p.isSet("silent-modes");
    d.faults.garbage = p.isSet("garbage");
    d.faults.ackOnlyRecall = p.isSet("ack-only-recall");
    d.faults.refuseRoutes = p.isSet("refuse-routes");
    d.faults.ignoreRoutes = p.isSet("ignore-routes");
    if (p.isSet("drop-every")) {
        bool ok = false;
        d.faults.dropEvery = p.value("drop-every").toInt(&ok);
        if (!ok || d.faults.dropEvery < 1) {
            *error = "--drop-every takes a whole number of 1 or more";
            return false;
        }
    }
    return applySettingsOptions(p, d, error) && applyEdidOptions(p, d, error) &&
           applyIrOptions(p, d, error);
}

} // namespace sim
