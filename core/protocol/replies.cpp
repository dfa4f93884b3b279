#include "core/protocol/replies.h"

#include "core/protocol/reply_line.h"

#include <vector>

namespace protocol {

namespace {

bool isDigit(QChar c) {
    return c.unicode() >= '0' && c.unicode() <= '9';
}

} // namespace

namespace {

// The keywords after the routing report, in the order they are tried.
struct Word {
    QString word;
    Reply::Kind kind;
    Mode mode = Mode::Setup;
    bool entry = false;
    Reply::IrCode irCode = Reply::IrCode::Read;
    Reply::Setting setting = Reply::Setting::LongCable;
};

const std::vector<Word>& words() {
    using K = Reply::Kind;
    using I = Reply::IrCode;
    using S = Reply::Setting;
    static const std::vector<Word> table = [] {
        std::vector<Word> t;
        t.push_back({irRouteAllCommand(0).left(3), K::IrRoutingReport});
        t.push_back({QStringLiteral("Ack"), K::Ack});
        for (Mode m : {Mode::Setup, Mode::Edid, Mode::Ir}) {
            t.push_back({entryWord(m), K::ModeEcho, m, true});
            t.push_back({exitWord(m), K::ModeEcho, m, false});
        }
        t.push_back({QStringLiteral("err"), K::Err});
        t.push_back({QStringLiteral("rdy"), K::Ready});
        t.push_back({QStringLiteral("rok"), K::IrCodeAnswer, Mode::Ir, false, I::Read});
        t.push_back({QStringLiteral("wok"), K::IrCodeAnswer, Mode::Ir, false, I::Written});
        t.push_back({QStringLiteral("rir"), K::IrCodeAnswer, Mode::Ir, false, I::Learned});
        const std::pair<QString, S> settings[] = {
            {longCableCommand({}), S::LongCable}, {edidModeCommand({}), S::EdidMode},
            {QStringLiteral("swm"), S::WorkMode}, {QStringLiteral("seq"), S::Equalizer},
            {QStringLiteral("utp"), S::Utp},      {copyEdidCommand({}, {}), S::EdidCopy},
            {factoryResetCommand(), S::Reset}};
        for (const auto& [word, setting] : settings)
            t.push_back({word.left(3), K::SettingsReply, Mode::Setup, false, I::Read, setting});
        return t;
    }();
    return table;
}

} // namespace

Reply parseReply(const QString& line) {
    Reply r;
    r.line = line;
    if (line.size() >= 3 && line[0] == QChar('s') && isDigit(line[1]) && isDigit(line[2])) {
        r.kind = Reply::Kind::RoutingReport;
        r.output = line[1].unicode() - '0';
        r.input = line[2].unicode() - '0';
        return r;
    }
    const QStringView head = QStringView(line).left(3);
    for (const Word& w : words()) {
        if (head != w.word)
            continue;
        r.kind = w.kind;
        r.mode = w.mode;
        r.entry = w.entry;
        r.irCode = w.irCode;
        r.setting = w.setting;
        if (r.kind == Reply::Kind::IrRoutingReport) {
            r.irOutput = chars(line, 6, 1);
            r.irInput = chars(line, 9, 1);
        }
        return r;
    }
    // "ok" and what follows: an EDID byte answer.
    if (line.startsWith(QLatin1String("ok")))
        r.kind = Reply::Kind::ByteAnswer;
    return r;
}

} // namespace protocol
