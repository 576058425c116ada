// The device simulator's control line on COM12: one command, one answer line.
// Plain Win32, so the benchmarks use it as well as the tests.
#pragma once

#include <string>

// The command and its answer line, without "\n"; empty when COM12 is missing
// or the simulator does not answer within a few seconds.
std::string DeviceControl(const std::string &command);
