// Writes seed inputs for the fuzz targets from real traffic of the simulated
// switcher: what it answers to a session of commands.

#include "sim/device.h"

#include <QDir>
#include <QFile>

namespace {

void write(const QDir& dir, const QString& name, const QByteArray& bytes) {
    QFile f(dir.filePath(name));
    if (f.open(QIODevice::WriteOnly))
        f.write(bytes);
}

// A receive input: a state byte, then chunks of at most 40 bytes (each
// preceded by its op and length byte) with a tick between them.
QByteArray receiveInput(std::uint8_t state, const QByteArray& traffic) {
    QByteArray in(1, static_cast<char>(state));
    for (qsizetype i = 0; i < traffic.size(); i += 13) {
        const QByteArray chunk = traffic.mid(i, 13);
        in += static_cast<char>(100);
        in += static_cast<char>(chunk.size() - 1);
        in += chunk;
        in += static_cast<char>(9); // a 10 ms tick
    }
    return in;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    const QDir root(QString::fromLocal8Bit(argv[1]));
    struct Session {
        const char* name;
        std::uint8_t state;
        QList<QByteArray> commands;
    };
    QList<QByteArray> edidRead{"edm", "swe 0 1"};
    for (int i = 0; i < 256; ++i)
        edidRead << "red " + QByteArray::number(i, 16).toUpper() + " ";
    QList<QByteArray> irRead{"irm"};
    for (int i = 0; i <= 80; ++i)
        irRead << "ric " + QByteArray::number(i, 16).toUpper();
    const QList<Session> sessions{
        {"routing", 0, {"bc ", "cir 12", "cir 18", "cir 79", "asw 3", "msa 1", "msw 1", "xyz"}},
        {"settings", 2, {"stm", "sts", "slc 3", "smd 2", "sed 0 10", "sed 1 2", "rst", "sto"}},
        {"edid_read", 4, edidRead},
        {"ir_read", 9, irRead},
        {"ir_routing", 11, {"ims", "srp 1 2", "srp 8 3", "ims"}},
    };
    // The core target reads the same inputs, its states numbered alike.
    QDir().mkpath(root.filePath("receive"));
    QDir().mkpath(root.filePath("core"));
    for (const Session& s : sessions) {
        sim::Device device;
        QByteArray traffic;
        for (const QByteArray& c : s.commands)
            traffic += device.receive(c + "\r\n");
        write(QDir(root.filePath("receive")), s.name, receiveInput(s.state, traffic));
        write(QDir(root.filePath("core")), s.name, receiveInput(s.state, traffic));
    }
    QDir().mkpath(root.filePath("comport"));
    write(QDir(root.filePath("comport")), "written", " 3 \r\n");
    {
        // The EDID read again, answered while a read is running.
        sim::Device device;
        QByteArray traffic;
        for (const QByteArray& c : edidRead)
            traffic += device.receive(c + "\r\n");
        write(QDir(root.filePath("receive")), "edid_reading", receiveInput(5, traffic));
        QByteArray view;
        for (int i = 0; i < 256; ++i)
            view +=
                QByteArray::number(device.edid.images[0][i], 16).toUpper().rightJustified(2, '0') +
                ((i + 1) % 16 == 0 ? "\r\n" : "  ");
        QDir().mkpath(root.filePath("hex_view"));
        const QString text = QString::fromLatin1(view);
        write(QDir(root.filePath("hex_view")), "read_form",
              QByteArray(reinterpret_cast<const char*>(text.utf16()), text.size() * 2));
        // The decoder's inputs besides the real images (tools/fuzz.sh copies
        // those): the image in edid-decode's report, and three blocks.
        const QByteArray image(reinterpret_cast<const char*>(device.edid.images[0].data()), 256);
        QByteArray report = "edid-decode (hex):\n\n";
        for (int row = 0; row < 16; ++row)
            report += image.mid(row * 16, 16).toHex(' ') + (row == 7 ? "\n\n" : "\n");
        report += "\n----------------\n\nBlock 0, Base EDID:\n  Manufacturer: SMX\n";
        QDir().mkpath(root.filePath("edid_decode"));
        write(QDir(root.filePath("edid_decode")), "report", report);
        write(QDir(root.filePath("edid_decode")), "three_blocks", image + image.mid(128));
    }
    QDir().mkpath(root.filePath("ip_address"));
    write(QDir(root.filePath("ip_address")), "typical", "192.168.1.10");
    write(QDir(root.filePath("ip_address")), "padded", "010.001.000.009");
    write(QDir(root.filePath("ip_address")), "too_few_dots", "1.2.3");
    QDir().mkpath(root.filePath("terminal_hex"));
    write(QDir(root.filePath("terminal_hex")), "typed",
          QByteArray(reinterpret_cast<const char*>(u"01 ab 5\n0102"), 24));
    return 0;
}
