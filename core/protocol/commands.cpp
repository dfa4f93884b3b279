#include "core/protocol/commands.h"

#include <QList>
#include <QPair>

namespace protocol {

namespace {

QString upperHex(int value) {
    return QString::number(value, 16).toUpper();
}

} // namespace

QString entryWord(Mode m) {
    switch (m) {
    case Mode::Setup:
        return QStringLiteral("stm");
    case Mode::Edid:
        return QStringLiteral("edm");
    case Mode::Ir:
        break;
    }
    return QStringLiteral("irm");
}

QString exitWord(Mode m) {
    switch (m) {
    case Mode::Setup:
        return QStringLiteral("sto");
    case Mode::Edid:
        return QStringLiteral("edo");
    case Mode::Ir:
        break;
    }
    return QStringLiteral("iro");
}

QString statusCommand() {
    return QStringLiteral("bc ");
}

QString HTS(std::uint8_t value) {
    static const char digits[] = "0123456789ABCDEF";
    return QString(QChar(digits[value / 16])) + QChar(digits[value % 16]);
}

QString routeCommand(int output0, int input0) {
    return QStringLiteral("cir ") + HTS(static_cast<std::uint8_t>(16 * output0 + input0)) + "\r\n";
}

QString presetSaveCommand(int index) {
    return QStringLiteral("msa %1").arg(index);
}

QString presetRecallCommand(int index) {
    return QStringLiteral("msw %1").arg(index);
}

QString allOutputsCommand(int input0) {
    return QStringLiteral("asw %1").arg(input0);
}

QString irStatusCommand() {
    return QStringLiteral("ims");
}

QString irRouteCommand(int output0, int input0) {
    return QStringLiteral("srp %1 %2").arg(output0).arg(input0);
}

QString irRouteAllCommand(int input) {
    return QStringLiteral("srp 8 %1").arg(input);
}

QString settingsQueryCommand() {
    return QStringLiteral("sts\r\n");
}

QString longCableCommand(const QString& modeHex) {
    return QStringLiteral("slc ") + modeHex + QStringLiteral("\r\n");
}

QString edidModeCommand(const QString& indexHex) {
    return QStringLiteral("smd ") + indexHex + QStringLiteral("\r\n");
}

QString copyEdidCommand(const QString& fromHex, const QString& toHex) {
    return QStringLiteral("sed ") + fromHex + QLatin1Char(' ') + toHex + QStringLiteral("\r\n");
}

QString factoryResetCommand() {
    return QStringLiteral("rst\r\n");
}

QString edidOpenCommand(int port, bool read) {
    return QStringLiteral("swe %1 %2").arg(port).arg(read ? 1 : 0);
}

QString edidWriteByteCommand(int index, const QString& cell) {
    return QStringLiteral("wed ") + upperHex(index) + u' ' + cell;
}

QString edidReadByteCommand(int index) {
    return QStringLiteral("red ") + upperHex(index) + u' ';
}

QString irReadCodeCommand(int entry) {
    return QStringLiteral("ric ") + upperHex(entry);
}

QString irWriteCodeCommand(int entry, const QString& text) {
    return QStringLiteral("wic ") + upperHex(entry) + QLatin1Char(' ') + text;
}

QString irSaveCommand() {
    return QStringLiteral("sav");
}

QString autoAddressCommand() {
    return QStringLiteral("dhc\r\n");
}

QString fixedAddressCommand(const QString& hexGroups) {
    return QStringLiteral("sip ") + hexGroups + QStringLiteral("\r\n");
}

bool changesSwitcher(QByteArrayView line) {
    return lineChange(line) != LineChange::None;
}

LineChange lineChange(QByteArrayView line) {
    const QByteArray words = line.trimmed().toByteArray().simplified().toLower();
    const QByteArray word = words.left(words.indexOf(' ') < 0 ? words.size() : words.indexOf(' '));
    // The first word of each command that changes something, as spelled
    // above.
    const auto first = [](const QString& command) {
        return command.trimmed().section(QLatin1Char(' '), 0, 0).toLatin1();
    };
    static const QList<QPair<QByteArray, LineChange>> changing{
        {first(routeCommand(0, 0)), LineChange::Route},
        {first(irRouteCommand(0, 0)), LineChange::Route},
        {first(allOutputsCommand(0)), LineChange::AllOutputs},
        {first(presetSaveCommand(1)), LineChange::Preset},
        {first(presetRecallCommand(1)), LineChange::Preset},
        {first(longCableCommand({})), LineChange::Setting},
        {first(edidModeCommand({})), LineChange::Setting},
        {first(copyEdidCommand({}, {})), LineChange::Setting},
        {first(factoryResetCommand()), LineChange::Setting},
        {first(irSaveCommand()), LineChange::Setting},
        {first(autoAddressCommand()), LineChange::Setting},
        {first(fixedAddressCommand({})), LineChange::Setting}};
    for (const auto& [command, change] : changing)
        if (command == word)
            return change;
    // "swe p 0" opens a download; "swe p 1" a read.
    return word == first(edidOpenCommand(0, false)) && words.endsWith(" 0") ? LineChange::Setting
                                                                            : LineChange::None;
}

} // namespace protocol
