#include "sim/device.h"

namespace sim {

namespace {

// A value in the two-character argument form of the settings replies.
QByteArray twoDigits(int v) {
    return QByteArray::number(v).rightJustified(2, '0');
}
QByteArray twoHex(int v) {
    return QByteArray::number(v & 0xFF, 16).toUpper().rightJustified(2, '0');
}

// A hexadecimal argument, or -1 when it is none.
int hexArg(const QByteArrayList& args, int i) {
    bool ok = false;
    const int v = args.value(i).toInt(&ok, 16);
    return ok && v >= 0 ? v : -1;
}

// Wraps a settings command: counts it while the device is in setting mode and
// adds the unasked "sto" once the configured number is reached. The settings
// window opens with the status query "sts", so the count starts afresh there.
Device::Handler counted(Device::Handler inner) {
    return [inner](Device& d, const QByteArray& line, const QByteArrayList& args) {
        Device::Reply reply = inner(d, line, args);
        SettingsState& s = d.settings;
        if (args.value(0) == "sts")
            s.commandsInSetting = 0;
        if (d.mode == "stm" && s.leaveAfter > 0 && ++s.commandsInSetting >= s.leaveAfter) {
            d.mode.clear();
            s.commandsInSetting = 0;
            reply << "sto";
        }
        return reply;
    };
}

} // namespace

QByteArray leaveSettingMode(Device& d) {
    d.mode.clear();
    d.settings.commandsInSetting = 0;
    return "sto\r\n";
}

void registerSettingsCommands(Device& d) {
    d.addCommand("sts", counted([](Device& dev, const QByteArray&, const QByteArrayList&) {
                     return Device::Reply{"slc " + twoDigits(dev.settings.longCable),
                                          "smd " + twoDigits(dev.settings.edidMode)};
                 }));
    d.addCommand("slc", counted([](Device& dev, const QByteArray&, const QByteArrayList& args) {
                     const int v = hexArg(args, 1);
                     if (v >= 0 && v <= 3)
                         dev.settings.longCable = v;
                     return Device::Reply{"slc " + twoDigits(dev.settings.longCable)};
                 }));
    d.addCommand("smd", counted([](Device& dev, const QByteArray&, const QByteArrayList& args) {
                     const int v = hexArg(args, 1);
                     if (v >= 0 && v <= 5)
                         dev.settings.edidMode = v;
                     return Device::Reply{"smd " + twoDigits(dev.settings.edidMode)};
                 }));
    // "sed f t": copy the EDID of output f to input t, or to all inputs for
    // t = 10. The answer is a port mask: the ports that took the copy.
    d.addCommand("sed", counted([](Device& dev, const QByteArray&, const QByteArrayList& args) {
                     const int f = hexArg(args, 1);
                     if (f < 0 || f >= dev.shape.outputs)
                         return Device::Reply{"sed 00"};
                     if (args.value(2) == "10")
                         return Device::Reply{"sed " + twoHex(dev.settings.allPortsMask)};
                     const int t = hexArg(args, 2);
                     if (t < 0 || t >= dev.shape.inputs)
                         return Device::Reply{"sed 00"};
                     return Device::Reply{"sed " + twoHex(1 << t)};
                 }));
    d.addCommand("rst", counted([](Device& dev, const QByteArray&, const QByteArrayList&) {
                     SettingsState& s = dev.settings;
                     s.longCable = 1;
                     s.edidMode = 0;
                     ++s.resets;
                     return Device::Reply{"rst"};
                 }));
    d.addCommand("dhc", [](Device& dev, const QByteArray&, const QByteArrayList&) {
        dev.settings.autoAddress = true;
        return Device::Reply{"Ack"};
    });
    d.addCommand("sip", [](Device& dev, const QByteArray&, const QByteArrayList& args) {
        std::array<int, 4> a{};
        for (int i = 0; i < 4; ++i) {
            a[i] = hexArg(args, i + 1);
            if (a[i] < 0 || a[i] > 255 || args.size() != 5)
                return Device::Reply{"Ack"};
        }
        dev.settings.address = a;
        dev.settings.autoAddress = false;
        return Device::Reply{"Ack"};
    });
}

void addSettingsOptions(QCommandLineParser& p) {
    p.addOption({"all-ports-mask",
                 "Answer an all-inputs EDID copy with this port mask, two hexadecimal digits "
                 "(default FF: every port took it).",
                 "hex"});
    p.addOption({"leave-setting-after",
                 "Leave setting mode by itself (an unasked \"sto\") after <n> settings commands.",
                 "n"});
}

bool applySettingsOptions(const QCommandLineParser& p, Device& d, QString* error) {
    if (p.isSet("all-ports-mask")) {
        bool ok = false;
        const int mask = p.value("all-ports-mask").toInt(&ok, 16);
        if (!ok || mask < 0 || mask > 0xFF) {
            *error = "--all-ports-mask takes a hexadecimal value from 0 to FF";
            return false;
        }
        d.settings.allPortsMask = mask;
    }
    if (p.isSet("leave-setting-after")) {
        bool ok = false;
        const int n = p.value("leave-setting-after").toInt(&ok);
        if (!ok || n < 1) {
            *error = "--leave-setting-after takes a whole number of 1 or more";
            return false;
        }
        d.settings.leaveAfter = n;
    }
    return true;
}

} // namespace sim
