#include "core/ir/ir_codes.h"

#include "core/protocol/hex_digit.h"

namespace ir {

namespace {

bool isHexDigit(QChar c) {
    const char16_t u = c.unicode();
    return (u >= '0' && u <= '9') || (u >= 'A' && u <= 'F') || (u >= 'a' && u <= 'f');
}

} // namespace

bool isHexCode(const QString& text) {
    if (text.isEmpty() || text.size() > 2)
        return false;
    for (QChar c : text)
        if (!isHexDigit(c))
            return false;
    return true;
}

bool acceptsCodeKey(QChar c) {
    return c.unicode() == 8 || isHexDigit(c);
}

std::optional<int> codeValue(const QString& text) {
    if (!isHexCode(text))
        return std::nullopt;
    int v = 0;
    for (QChar c : text)
        v = v * 16 + protocol::hexDigitValue(c);
    return v;
}

bool sameCode(const QString& a, const QString& b) {
    const auto va = codeValue(a);
    const auto vb = codeValue(b);
    if (va && vb)
        return *va == *vb;
    return a.compare(b, Qt::CaseInsensitive) == 0;
}

std::array<bool, kEntries> findDuplicates(const QStringList& texts,
                                          const std::array<bool, kEntries>& formatError) {
    std::array<int, kEntries> value{};
    for (int i = 0; i < kEntries; ++i)
        value[i] = codeValue(texts.value(i)).value_or(-1);
    return findDuplicates(texts, formatError, value);
}

std::array<bool, kEntries> findDuplicates(const QStringList& texts,
                                          const std::array<bool, kEntries>& formatError,
                                          const std::array<int, kEntries>& value) {
    // A pair of entries naming the same code marks both, unless both show a
    // format error. Valid codes name the same code by byte value, so they
    // are grouped by it; any other text (never equal to a valid code) is
    // compared with the other such texts regardless of case.
    static const QString none;
    const auto text = [&](int i) -> const QString& {
        return i < texts.size() ? texts.at(i) : none;
    };
    std::array<bool, kEntries> dup{};
    std::array<int, 256> count{};
    std::array<int, 256> checked{}; // of those, entries without a format error
    for (int i = 1; i <= kLastEntry; ++i) {
        if (value[i] >= 0) {
            ++count[value[i]];
            checked[value[i]] += formatError[i] ? 0 : 1;
        }
    }
    for (int i = 1; i <= kLastEntry; ++i) {
        if (value[i] >= 0) {
            dup[i] = count[value[i]] >= 2 && checked[value[i]] >= 1;
            continue;
        }
        // An invalid text shows a format error once the window's check has
        // run, so this is rare.
        if (formatError[i])
            continue;
        for (int j = 1; j <= kLastEntry; ++j) {
            if (j != i && value[j] < 0 && text(i).compare(text(j), Qt::CaseInsensitive) == 0)
                dup[i] = dup[j] = true;
        }
    }
    return dup;
}

// Rows are IR outputs, columns IR inputs: the input keys' codes first,
// row by row, then each row's two arrow keys.
constexpr int kPorts = protocol::kFamilyIrPorts;
constexpr int kFirstArrow = kPorts * kPorts + 1;

GridCell cellOf(int entry) {
    if (entry >= 1 && entry < kFirstArrow)
        return {(entry - 1) / kPorts, (entry - 1) % kPorts};
    if (entry >= kFirstArrow && entry <= kLastEntry)
        return {(entry - kFirstArrow) / 2, kPorts + (entry - kFirstArrow) % 2};
    return {};
}

int entryAt(int row, int column) {
    if (row < 0 || row >= kPorts || column < 0 || column >= kGridColumns)
        return -1;
    if (column < kPorts)
        return kPorts * row + column + 1;
    return kFirstArrow + 2 * row + (column - kPorts);
}

QString replyCode(const QString& line, int from) {
    QString code = line.mid(from - 1, 2);
    while (code.endsWith(QLatin1Char('\r')) || code.endsWith(QLatin1Char('\n')))
        code.chop(1);
    return code;
}

} // namespace ir
