#pragma once

#include "core/protocol/commands.h"
#include "core/protocol/model.h"
#include <QChar>
#include <QString>
#include <QStringList>
#include <array>
#include <optional>

// The IR code table and the IR routing commands, apart from any window.
namespace ir {

// Entry 0 is the custom code of the remote, entries 1..80 its data codes.
inline constexpr int kEntries = protocol::kFamilyIrCodeEntries;
inline constexpr int kLastEntry = kEntries - 1;

// True when text is one or two hexadecimal digits (either case).
bool isHexCode(const QString& text);
// Whether a typed character may enter a code box: Backspace or a
// hexadecimal digit. Everything else, control characters included, is
// discarded.
bool acceptsCodeKey(QChar c);

// The byte value of a valid code text; nullopt for anything else.
std::optional<int> codeValue(const QString& text);
// Two code texts name the same code: equal byte values when both are valid
// ("5" and "05", "1a" and "1A"), else equal text ignoring letter case.
bool sameCode(const QString& a, const QString& b);

// The data-code entries (1..80) that duplicate another data code. An entry
// whose box already shows a format error starts no comparison of its own,
// but can still be matched by a valid one. Entry 0 never takes part.
std::array<bool, kEntries> findDuplicates(const QStringList& texts,
                                          const std::array<bool, kEntries>& formatError);
// The same, given each entry's codeValue() already (-1 for none).
std::array<bool, kEntries> findDuplicates(const QStringList& texts,
                                          const std::array<bool, kEntries>& formatError,
                                          const std::array<int, kEntries>& value);

// Where a data-code entry sits in the grid: row 0..7 is output 1..8, column
// 0..7 is input 1..8, column 8 is the "<" key and 9 the ">" key.
struct GridCell {
    int row = -1;
    int column = -1;
    bool operator==(const GridCell&) const = default;
};
inline constexpr int kGridColumns = protocol::kFamilyIrPorts + 2; // the inputs, "<" and ">"
// The cell of entry 1..80; {-1, -1} for entry 0 and anything out of range.
GridCell cellOf(int entry);
// The entry in a cell; -1 outside the grid.
int entryAt(int row, int column);

// The code text of a reply: two characters from position `from` (1-based),
// without the line's terminator when the device sent fewer.
QString replyCode(const QString& line, int from);

// Commands, without the CR LF that the send adds: the protocol's.
inline QString readCodeCommand(int entry) {
    return protocol::irReadCodeCommand(entry);
}
inline QString writeCodeCommand(int entry, const QString& text) {
    return protocol::irWriteCodeCommand(entry, text);
}

} // namespace ir
