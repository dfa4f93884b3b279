// The address control takes whatever text it is given.

#include "frontends/windows/network/ipbox.h"

#include <QApplication>
#include <QStringList>

#include <cstdint>
#include <cstdlib>

namespace {
ipBox* box = nullptr;

bool isDottedQuad(const QString& a) {
    const QStringList parts = a.split('.');
    if (parts.size() != 4)
        return false;
    for (const QString& p : parts) {
        bool ok = false;
        const int v = p.toInt(&ok);
        if (!ok || v < 0 || v > 255 || QString::number(v) != p)
            return false;
    }
    return true;
}
} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    new QApplication(*argc, *argv);
    box = new ipBox;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
    const QString before = box->Address();
    const std::optional<IpError> error = box->setAddress(text);
    const QString after = box->Address();
    if (!isDottedQuad(after))
        std::abort();
    if (error) {
        // A refused text leaves the shown address as it was.
        if (after != before || error->description.isEmpty())
            std::abort();
    } else {
        // An accepted address reads back and writes again unchanged.
        if (box->setAddress(after) || box->Address() != after)
            std::abort();
    }
    return 0;
}
