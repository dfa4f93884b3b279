#pragma once

#include <cstdint>

class MainWindow;

// The states the reply interpreter can meet, for the fuzz targets: which
// feature window is open, and what it is doing.
namespace fuzzstates {

// Opens the window of state s (taken modulo the number of states) and puts
// it into that state.
void enter(MainWindow& f, std::uint8_t s);
// An operator action in the middle of the traffic (a button pressed, a
// stray Escape).
void poke(MainWindow& f, std::uint8_t op);
// Closes whatever is open, so the next input starts from the main window.
void leave(MainWindow& f);

} // namespace fuzzstates
