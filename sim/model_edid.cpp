#include "sim/device.h"

#include "core/files/edid_file.h"

#include <algorithm>
#include <cctype>
#include <cstring>

namespace sim {

namespace {

// Bytes copied into the image at an offset.
template <size_t N> void put(EdidState::Image& image, int at, const std::uint8_t (&bytes)[N]) {
    std::memcpy(image.data() + at, bytes, N);
}

void sealBlock(EdidState::Image& image, int block) {
    unsigned sum = 0;
    for (int i = block; i < block + 127; ++i)
        sum += image[i];
    image[block + 127] = std::uint8_t((256 - sum % 256) % 256);
}

// A byte index "0".."FF"; -1 when it is not one.
int byteIndex(const QByteArray& text) {
    if (text.isEmpty() || text.size() > 2)
        return -1;
    bool ok = false;
    const int v = text.toInt(&ok, 16);
    return ok ? v : -1;
}

// One or two hexadecimal digits, as a byte cell of the program arrives; -1
// for anything else.
int cellValue(const QByteArray& cell) {
    const QByteArray t = cell.trimmed();
    if (t.isEmpty() || t.size() > 2)
        return -1;
    for (char c : t)
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return -1;
    return t.toInt(nullptr, 16);
}

bool inEdidMode(const Device& d) {
    return d.mode == "edm";
}

Device::Reply swe(Device& dev, const QByteArray&, const QByteArrayList& args) {
    if (!inEdidMode(dev))
        return {"Ack"};
    bool okPort = false;
    bool okDir = false;
    const int port = args.value(1).toInt(&okPort);
    const int dir = args.value(2).toInt(&okDir);
    if (!okPort || !okDir || port < 0 || port >= dev.shape.inputs || (dir != 0 && dir != 1)) {
        dev.edid.port = -1;
        return {"err"};
    }
    EdidState& e = dev.edid;
    e.port = port;
    e.reading = dir == 1;
    e.pending = e.images[port];
    return {"rdy"};
}

// "wed X c": the raw line, because a cell may hold blanks of its own.
Device::Reply wed(Device& dev, const QByteArray& line, const QByteArrayList&) {
    if (!inEdidMode(dev))
        return {"Ack"};
    EdidState& e = dev.edid;
    const QByteArray rest = line.mid(4);
    const qsizetype blank = rest.indexOf(' ');
    const int index = byteIndex(blank < 0 ? rest : rest.left(blank));
    if (index >= 0 && index == e.dropAt) {
        e.dropAt = -1;
        return {};
    }
    const int value = blank < 0 ? -1 : cellValue(rest.mid(blank + 1));
    if (e.port < 0 || e.reading || index < 0 || value < 0 || index == e.errorAt)
        return {"err"};
    e.pending[index] = std::uint8_t(index == e.corruptAt ? value ^ 0xFF : value);
    if (index == 255)
        e.images[e.port] = e.pending;
    return {"ok"};
}

Device::Reply red(Device& dev, const QByteArray&, const QByteArrayList& args) {
    if (!inEdidMode(dev))
        return {"Ack"};
    EdidState& e = dev.edid;
    const int index = byteIndex(args.value(1));
    if (index >= 0 && index == e.dropAt) {
        e.dropAt = -1;
        return {};
    }
    if (e.port < 0 || !e.reading || index < 0 || index == e.errorAt)
        return {"err"};
    QByteArray hex = QByteArray::number(e.images[e.port][index], 16).rightJustified(2, '0');
    hex = e.lowerCase ? hex.toLower() : hex.toUpper();
    if (index == e.repeatAt) {
        e.repeatAt = -1;
        return {"ok " + hex, "ok " + hex};
    }
    return {"ok " + hex};
}

bool indexOption(const QCommandLineParser& p, const QString& name, int* out, QString* error) {
    if (!p.isSet(name))
        return true;
    bool ok = false;
    const int v = p.value(name).toInt(&ok, 0);
    if (!ok || v < 0 || v > 255) {
        *error = "--" + name + " takes a byte index from 0 to 255";
        return false;
    }
    *out = v;
    return true;
}

// "--edid-file N=FILE": input N (1 to the shape's inputs) serves the image
// in FILE, a raw image or a hexadecimal dump, read as the program's "Open
// EDID" reads it.
bool edidFileOption(const QString& value, int inputs, EdidState& e, QString* error) {
    const QString n = value.section(u'=', 0, 0);
    const QString path = value.section(u'=', 1);
    bool ok = false;
    const int input = n.toInt(&ok);
    if (!ok || input < 1 || input > inputs || path.isEmpty()) {
        *error = QStringLiteral("--edid-file takes N=FILE with N an input from 1 to %1, not \"%2\"")
                     .arg(inputs)
                     .arg(value);
        return false;
    }
    // Read as "Open EDID" reads it; a named pipe, which would hold the
    // start-up for ever, is refused.
    const files::EdidFile image = files::readEdidFile(path);
    if (!image.readable) {
        *error = "--edid-file: cannot read " + path + ": " + image.error;
        return false;
    }
    if (!image.image) {
        *error = "--edid-file: " + path + " holds no EDID dump: " + image.error;
        return false;
    }
    std::copy(image.image->begin(), image.image->end(), e.images[input - 1].begin());
    return true;
}

} // namespace

EdidState::EdidState() {
    images.fill(defaultImage());
}

EdidState::Image EdidState::defaultImage() {
    Image m{};
    // Base block: header, maker "SMX", product 0x1A2B, serial 1, week 12 of
    // 2021, EDID 1.3, digital input, 53 x 30 cm, gamma 2.2.
    put(m, 0, {0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00});
    const unsigned maker = ((('S' - '@') << 10) | (('M' - '@') << 5) | ('X' - '@'));
    m[8] = std::uint8_t(maker >> 8);
    m[9] = std::uint8_t(maker & 0xFF);
    put(m, 10, {0x2B, 0x1A, 0x01, 0x00, 0x00, 0x00, 0x0C, 31, 0x01, 0x03});
    put(m, 20, {0x80, 53, 30, 0x78, 0x0A});
    // sRGB chromaticity.
    put(m, 25, {0xEE, 0x91, 0xA3, 0x54, 0x4C, 0x99, 0x26, 0x0F, 0x50, 0x54});
    // 640x480, 800x600 and 1024x768 at 60 Hz; standard timing 1920x1080 at
    // 60 Hz (16:9), the other seven unused.
    put(m, 35, {0x21, 0x08, 0x00});
    put(m, 38, {0xD1, 0xC0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1});
    // Preferred timing: 1920x1080 at 60 Hz, 148.5 MHz, 531 x 299 mm.
    put(m, 54,
        {0x02, 0x3A, 0x80, 0x18, 0x71, 0x38, 0x2D, 0x40, 0x58, 0x2C, 0x45, 0x00, 0x13, 0x2B, 0x21,
         0x00, 0x00, 0x1E});
    // Range limits: 56-76 Hz, 30-83 kHz, 170 MHz.
    put(m, 72,
        {0x00, 0x00, 0x00, 0xFD, 0x00, 0x38, 0x4C, 0x1E, 0x53, 0x11, 0x00, 0x0A, 0x20, 0x20, 0x20,
         0x20, 0x20, 0x20});
    // Monitor name.
    put(m, 90,
        {0x00, 0x00, 0x00, 0xFC, 0x00, 'S', 'I', 'M', ' ', 'F', 'H', 'D', '1', '0', '8', '0', 0x0A,
         0x20});
    // Dummy descriptor.
    put(m, 108, {0x00, 0x00, 0x00, 0x10, 0x00});
    m[126] = 1; // one extension block
    sealBlock(m, 0);

    // CEA-861 extension: video (1080p60 native, 720p60), audio (2-channel
    // LPCM), HDMI vendor block (address 1.0.0.0), speakers; then a 720p60
    // detailed timing.
    const std::uint8_t dataBlocks[] = {0x42, 0x90, 0x04, 0x23, 0x09, 0x07, 0x07, 0x65, 0x03,
                                       0x0C, 0x00, 0x10, 0x00, 0x83, 0x01, 0x00, 0x00};
    const int dtd = 4 + int(sizeof dataBlocks);
    put(m, 128, {0x02, 0x03, std::uint8_t(dtd), 0xF1});
    put(m, 132, dataBlocks);
    put(m, 128 + dtd,
        {0x01, 0x1D, 0x00, 0x72, 0x51, 0xD0, 0x1E, 0x20, 0x6E, 0x28, 0x55, 0x00, 0x13, 0x2B, 0x21,
         0x00, 0x00, 0x1E});
    sealBlock(m, 128);
    return m;
}

void registerEdidCommands(Device& d) {
    d.addCommand("swe", swe);
    d.addCommand("wed", wed);
    d.addCommand("red", red);
}

void addEdidOptions(QCommandLineParser& p) {
    p.addOption(
        {"edid-corrupt", "Store EDID byte <index> inverted when it is downloaded.", "index"});
    p.addOption(
        {"edid-drop", "Leave the first command for EDID byte <index> unanswered.", "index"});
    p.addOption(
        {"edid-error-at", "Answer \"err\" to every command for EDID byte <index>.", "index"});
    p.addOption({"edid-lower", "Answer EDID reads in lower-case hexadecimal."});
    p.addOption({"edid-repeat", "Answer the first read of EDID byte <index> twice.", "index"});
    p.addOption({"edid-file",
                 "Serve the EDID in <N=FILE> (a raw image or a hexadecimal dump) for input N "
                 "(from 1); repeatable.",
                 "N=FILE"});
}

bool applyEdidOptions(const QCommandLineParser& p, Device& d, QString* error) {
    d.edid.lowerCase = p.isSet("edid-lower");
    for (const QString& v : p.values("edid-file"))
        if (!edidFileOption(v, d.shape.inputs, d.edid, error))
            return false;
    return indexOption(p, "edid-corrupt", &d.edid.corruptAt, error) &&
           indexOption(p, "edid-drop", &d.edid.dropAt, error) &&
           indexOption(p, "edid-error-at", &d.edid.errorAt, error) &&
           indexOption(p, "edid-repeat", &d.edid.repeatAt, error);
}

} // namespace sim
