#include "core/device/routing.h"

namespace device {

QString HTS(std::uint8_t value) {
    static const char digits[] = "0123456789ABCDEF";
    return QString(QChar(digits[value / 16])) + QChar(digits[value % 16]);
}

std::uint8_t RouteCode(int n) {
    return static_cast<std::uint8_t>(((n - 11) / 10) * 16 + ((n - 11) % 10));
}

QString routeCommand(int n) {
    return QStringLiteral("cir ") + HTS(RouteCode(n)) + "\r\n";
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

} // namespace device
