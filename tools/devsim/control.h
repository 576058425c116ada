// Orders from the tests on the control pty, one line each, each answered with
// exactly "ok\n" or "error <reason>\n":
//   reset           start state, start readings, nothing pending, mute and
//                   delay off, device link back; logged as a reset marker
//   readings C A    set the Counter and the Auto Counter (0..255)
//   answer B        write byte B (0..255) to the device now
//   mute on|off     the device answers nothing
//   delay MS        answers are sent MS (0..60000) milliseconds late
//   detach|attach   remove or restore the device link
//   attach PATH     point the device link at PATH instead (e.g. /dev/null:
//                   a port that opens but takes no line settings)
//   sync            every transfer the program has finished is logged
// One command at a time: an answer still unread when the next command
// arrives is dropped, so a client that gave up cannot desynchronise the next.
#pragma once

#include "simulator.h"

#include <string>

// Reads what has arrived on the control master and runs every complete line.
void ReadControl(Simulator &sim);

// Runs one command line; returns the answer line, newline included.
std::string RunControlCommand(Simulator &sim, const std::string &line);
