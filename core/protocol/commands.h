#pragma once

#include <QByteArrayView>
#include <QString>
#include <cstdint>

// Every command the program sends the switcher, spelled here and nowhere
// else. Each function returns the command's text; whether CR LF ends it is
// said with it, because the senders add it in different ways (a line send
// adds CR LF, a raw send does not) and the bytes on the wire must stay what
// they are.
namespace protocol {

// The device's three modes: settings, EDID transfer, IR codes.
enum class Mode { Setup, Edid, Ir };

// The word that enters a mode ("stm", "edm", "irm") and the one that leaves
// it ("sto", "edo", "iro"); the device echoes both. No CR LF.
QString entryWord(Mode m);
QString exitWord(Mode m);

// --- routing -------------------------------------------------------------

// "bc ": every output reports its input. No CR LF.
QString statusCommand();
// Two upper-case hexadecimal digits.
QString HTS(std::uint8_t value);
// "cir " and HTS(16 * output0 + input0), CR LF included. The low digits 8
// and 9 are no inputs: they step the output to the previous and the next
// input (kPreviousInput, kNextInput), which is why the family has at most
// 8 ports a side.
QString routeCommand(int output0, int input0);
inline constexpr int kPreviousInput = 8;
inline constexpr int kNextInput = 9;
QString presetSaveCommand(int index);   // "msa i", no CR LF
QString presetRecallCommand(int index); // "msw i", no CR LF
QString allOutputsCommand(int input0);  // "asw i", no CR LF

// --- IR routing ----------------------------------------------------------

// "ims": every IR output reports its input. No CR LF.
QString irStatusCommand();
QString irRouteCommand(int output0, int input0); // "srp o i", no CR LF
// "srp 8 i", no CR LF: 8 names every IR output, whatever the model.
QString irRouteAllCommand(int input0);

// --- settings (in the settings mode), CR LF included ------------------------

QString settingsQueryCommand();                                        // "sts"
QString longCableCommand(const QString& modeHex);                      // "slc m"
QString edidModeCommand(const QString& indexHex);                      // "smd i"
QString copyEdidCommand(const QString& fromHex, const QString& toHex); // "sed f t"
QString factoryResetCommand();                                         // "rst"

// --- EDID transfer (in the EDID mode), no CR LF ------------------------------

// "swe p 0" opens a download into port p (0..7), "swe p 1" a read.
QString edidOpenCommand(int port, bool read);
// "wed X c": byte index X in upper-case hexadecimal, the cell as given.
QString edidWriteByteCommand(int index, const QString& cell);
// "red X ": the blank is the last character.
QString edidReadByteCommand(int index);

// --- IR codes (in the IR mode), no CR LF ------------------------------------

// Entry X in upper-case hexadecimal.
QString irReadCodeCommand(int entry);                       // "ric X"
QString irWriteCodeCommand(int entry, const QString& text); // "wic X t"
// "sav": the device stores the table written.
QString irSaveCommand();

// --- network address, CR LF included ----------------------------------------

// "dhc": the device obtains its address by itself.
QString autoAddressCommand();
// "sip " and the address's groups as given (already in hexadecimal).
QString fixedAddressCommand(const QString& hexGroups);

// --- reading a client's line ------------------------------------------------
// Whether a line (as a client of the line port sends it) changes what the
// switcher does or keeps: a route, a preset, a setting, an address, an EDID
// download opened, an IR table stored. The bytes of a long transfer (each
// "wed", each "wic") are not counted, only what opens or stores it, and
// nothing that only reads.
bool changesSwitcher(QByteArrayView line);
// What such a line changes, for counting it with the requests of other
// front ends: None for a line changesSwitcher() says no to.
enum class LineChange { None, Route, AllOutputs, Preset, Setting };
LineChange lineChange(QByteArrayView line);

} // namespace protocol
