#pragma once
// The interleaving run: from a seed, random user actions fired one after the
// other without waiting for the previous one to end (Connect, Disconnect, ON
// and double ON, F released with and without Ctrl, Freeze, Ctrl+U with a
// package chosen or cancelled and twice in a row, key codes, closing the
// window, unplugging, a silent amplifier, a driver call that throws), with
// the link going away while a question or the package dialog is open. After
// every step it checks what must hold whatever the user does:
//   - at most one poll thread alive or ending; no driver call on a handle
//     after its FT_Close; one power-on pulse at a time; no query frame while
//     a firmware transfer runs; the package dialog never opens during one;
//   - no OFF code unless a plain F release was answered Yes while on-line; no
//     question or box that the actions do not explain;
//   - no job counted as running once every thread has ended;
//   - every update ends in success (the amplifier holds the package) or a
//     reported failure, with polling resumed while on-line;
//   - closing is refused while firmware is written and otherwise ends the
//     program's threads within bounded simulated time.

#include <cstdint>
#include <string>

// Runs one seed for `steps` steps; returns what broke, or "".
std::string RunInterleave(std::uint64_t seed, int steps, bool verbose);
