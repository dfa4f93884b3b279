#include "sim/device.h"

#include <QCoreApplication>
#include <QTimer>

namespace sim {

namespace {

// A hexadecimal argument 0..max, or -1.
int hexArg(const QByteArrayList& args, int i, int max) {
    const QByteArray a = args.value(i);
    if (a.isEmpty() || a.size() > 2)
        return -1;
    bool ok = false;
    const int v = a.toInt(&ok, 16);
    return ok && v >= 0 && v <= max ? v : -1;
}

// A one-digit decimal argument 0..max, or -1.
int digitArg(const QByteArrayList& args, int i, int max) {
    const QByteArray a = args.value(i);
    if (a.size() != 1 || a[0] < '0' || a[0] > '0' + max)
        return -1;
    return a[0] - '0';
}

// Counts a code command; true when the drop fault swallows this one.
bool dropped(IrState& ir) {
    ++ir.codeCommands;
    return ir.dropAt > 0 && ir.codeCommands == ir.dropAt;
}

// The answer, twice when the repeat fault hits this command.
Device::Reply answer(const IrState& ir, const QByteArray& line) {
    if (ir.repeatAt > 0 && ir.codeCommands == ir.repeatAt)
        return {line, line};
    return {line};
}

} // namespace

void registerIrCommands(Device& d) {
    // "ric X": the entry X (hex 0..50) as "rok HH".
    d.addCommand("ric", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        IrState& ir = dev.ir;
        if (dropped(ir))
            return Device::Reply{};
        const int e = hexArg(args, 1, 80);
        if (e < 0)
            return Device::Reply{"Ack"};
        return answer(ir, "rok " + ir.hex2(ir.codes[e]));
    });
    // "wic X t": stores t (one or two hex digits) as entry X.
    d.addCommand("wic", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        IrState& ir = dev.ir;
        if (dropped(ir))
            return Device::Reply{};
        const int e = hexArg(args, 1, 80);
        const int v = hexArg(args, 2, 255);
        if (e < 0 || v < 0)
            return Device::Reply{"Ack"};
        ir.codes[e] = e == ir.corruptEntry ? v ^ 0x01 : v;
        ir.saved = false;
        return answer(ir, "wok");
    });
    d.addCommand("sav", [](Device& dev, const QByteArray&, const QByteArrayList&) {
        dev.ir.saved = true;
        return Device::Reply{"Ack"};
    });
    // "srp o i": IR output o (8: all) to IR input i; one report per output
    // that changed.
    d.addCommand("srp", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        IrState& ir = dev.ir;
        const int o = digitArg(args, 1, 8);
        const int i = digitArg(args, 2, 7);
        if (o < 0 || i < 0)
            return Device::Reply{"Ack"};
        Device::Reply r;
        for (int k = 0; k < 8; ++k) {
            if ((o == 8 || o == k) && ir.routing[k] != i) {
                ir.routing[k] = i;
                r << IrState::routeReport(k, i);
            }
        }
        return r;
    });
    d.addCommand("ims", [](Device& dev, const QByteArray&, const QByteArrayList&) {
        Device::Reply r;
        for (int k = 0; k < 8; ++k)
            r << IrState::routeReport(k, dev.ir.routing[k]);
        return r;
    });
}

void addIrOptions(QCommandLineParser& p) {
    p.addOption({"ir-drop", "Say nothing to the <n>-th IR code command (ric/wic).", "n"});
    p.addOption({"ir-repeat", "Answer the <n>-th IR code command (ric/wic) twice.", "n"});
    p.addOption(
        {"ir-corrupt", "Store a different value when IR code entry <entry> is written.", "entry"});
    p.addOption({"ir-lower", "Answer IR codes with lower-case hexadecimal digits."});
    p.addOption({"ir-learn-every",
                 "Every <seconds>, report a learned IR code, as if the remote's keys were "
                 "pressed in table order 1..80.",
                 "seconds"});
}

bool applyIrOptions(const QCommandLineParser& p, Device& d, QString* error) {
    IrState& ir = d.ir;
    ir.lowerCase = p.isSet("ir-lower");
    if (p.isSet("ir-drop")) {
        bool ok = false;
        ir.dropAt = p.value("ir-drop").toInt(&ok);
        if (!ok || ir.dropAt < 1) {
            *error = "--ir-drop takes a whole number of 1 or more";
            return false;
        }
    }
    if (p.isSet("ir-repeat")) {
        bool ok = false;
        ir.repeatAt = p.value("ir-repeat").toInt(&ok);
        if (!ok || ir.repeatAt < 1) {
            *error = "--ir-repeat takes a whole number of 1 or more";
            return false;
        }
    }
    if (p.isSet("ir-corrupt")) {
        bool ok = false;
        ir.corruptEntry = p.value("ir-corrupt").toInt(&ok);
        if (!ok || ir.corruptEntry < 0 || ir.corruptEntry > 80) {
            *error = "--ir-corrupt takes an entry number from 0 to 80";
            return false;
        }
    }
    if (p.isSet("ir-learn-every")) {
        bool ok = false;
        const double s = p.value("ir-learn-every").toDouble(&ok);
        if (!ok || s < 0.1 || s > 3600) {
            *error = "--ir-learn-every takes a number of seconds from 0.1 to 3600";
            return false;
        }
        if (!QCoreApplication::instance()) {
            *error = "--ir-learn-every needs the running simulator";
            return false;
        }
        auto* timer = new QTimer(QCoreApplication::instance());
        timer->setInterval(static_cast<int>(s * 1000));
        QObject::connect(timer, &QTimer::timeout, [&d, key = 0]() mutable {
            key = key % 80 + 1;
            if (d.ir.sendLine)
                d.ir.sendLine(d.ir.keyPressed(key) + "\r\n");
        });
        timer->start();
    }
    return true;
}

} // namespace sim
