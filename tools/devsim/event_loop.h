// The simulator's one loop: open and close events of the device slave, the
// bytes of each transfer, control commands, delayed answers and signals.
#pragma once

#include "simulator.h"

#include <string>

// Watches the device slave and prepares the signal and timer descriptors.
bool PrepareEventSources(Simulator &sim, std::string &error);

// Runs until SIGINT, SIGTERM or SIGHUP. Returns the exit code.
int RunEventLoop(Simulator &sim);

// Handles every open and close already reported and finishes every transfer
// that has ended, so the log holds all of them.
void SyncTransfers(Simulator &sim);

// Writes an answer byte to the device now.
void SendAnswer(Simulator &sim, int value, const char *reason);

// Drops answers not yet sent, and answer bytes sent but not yet read.
void DiscardAnswers(Simulator &sim);

// Publishes the device link, normally to the device's slave; another target
// (say /dev/null) plays a port that opens but is no serial line.
bool AttachDevice(Simulator &sim, const std::string &target, std::string &error);
void DetachDevice(Simulator &sim);
