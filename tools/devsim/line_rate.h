// The line's rate in baud, through the kernel's termios2 interface. Wine 10
// sets every rate as an arbitrary one (BOTHER), which cfgetospeed cannot
// show; the kernel keeps the rate in baud whichever way it was set.
#pragma once

// The output rate in baud, or -1 when fd is no terminal.
int LineRateOf(int fd);

// Sets both rates to baud as an arbitrary rate (BOTHER), leaving every
// other setting alone.
bool SetLineRate(int fd, int baud);
