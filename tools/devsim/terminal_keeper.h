// Keeps a pty from becoming the Wine server's controlling terminal.
#pragma once

#include <string>
#include <sys/types.h>

// The Wine server, a session leader without a terminal, takes the first pty
// it opens as its controlling terminal, and then gets SIGHUP, and dumps
// megabytes of state, when our master closes. A child of ours that holds the
// pty as its own controlling terminal first leaves it nothing to take; the
// child dies with us. Returns the child, or -1 (then we run without one).
pid_t KeepAsTerminal(const std::string &slavePath);
