#include "sim/device.h"

namespace sim {

namespace {

// A decimal argument 0..max, or -1.
int smallArg(const QByteArrayList& args, int i, int max) {
    bool ok = false;
    const int v = args.value(i).toInt(&ok);
    return ok && v >= 0 && v <= max ? v : -1;
}

} // namespace

void registerRoutingCommands(Device& d) {
    // "cir OJ": output O (from 0), J the input from 0, 8 one down, 9 one up.
    d.addCommand("cir", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        const QByteArray a = args.value(1);
        if (dev.faults.refuseRoutes)
            return Device::Reply{"err"};
        if (dev.faults.ignoreRoutes)
            return Device::Reply{};
        if (a.size() != 2)
            return Device::Reply{"Ack"};
        const int o = QByteArray(1, a[0]).toInt(nullptr, 16);
        const int j = QByteArray(1, a[1]).toInt(nullptr, 16);
        const int inputs = dev.shape.inputs;
        if (o < 0 || o >= dev.shape.outputs || !std::isxdigit(static_cast<unsigned char>(a[0])))
            return Device::Reply{"Ack"};
        if (j < inputs)
            dev.routing[o] = j;
        else if (j == 8)
            dev.routing[o] = (dev.routing[o] + inputs - 1) % inputs;
        else if (j == 9)
            dev.routing[o] = (dev.routing[o] + 1) % inputs;
        else
            return Device::Reply{"Ack"};
        return Device::Reply{dev.routingReport(o)};
    });
    d.addCommand("asw", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        const int i = smallArg(args, 1, dev.shape.inputs - 1);
        if (i < 0)
            return Device::Reply{"Ack"};
        dev.routing.fill(i);
        if (dev.faults.ackOnlyRecall)
            return Device::Reply{"Ack"};
        return dev.allRoutingReports();
    });
    d.addCommand("msa", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        const int p = smallArg(args, 1, 2);
        if (p >= 0)
            dev.presets[p] = dev.routing;
        return Device::Reply{"Ack"};
    });
    d.addCommand("msw", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        const int p = smallArg(args, 1, 2);
        if (p < 0)
            return Device::Reply{"Ack"};
        dev.routing = dev.presets[p];
        if (dev.faults.ackOnlyRecall)
            return Device::Reply{"Ack"};
        return dev.allRoutingReports();
    });
    d.addCommand("bc", [](Device& dev, const QByteArray&, const QByteArrayList&) {
        return dev.allRoutingReports();
    });

    // The mode words are echoed; the device remembers which mode it is in.
    for (const char* word : {"stm", "edm", "irm", "sto", "edo", "iro"}) {
        const QByteArray w(word);
        d.addCommand(w, [w](Device& dev, const QByteArray&, const QByteArrayList&) {
            const bool entry = w.endsWith('m');
            dev.mode = entry ? w : QByteArray();
            if (dev.faults.silentModes)
                return Device::Reply{};
            return Device::Reply{w};
        });
    }
}

} // namespace sim
