// A raw pseudo-terminal published under a chosen path, and its line settings.
#pragma once

#include <string>

struct PtyLink {
    int master = -1;
    std::string slavePath;   // /dev/pts/N
    std::string linkPath;    // the symlink others open, empty when none
    std::string linkedTo;    // where we last pointed it: the slave, or elsewhere
};

struct LineSettings {
    int baud = 0;
    int dataBits = 0;
    const char *parity = "none";
    int stopBits = 0;
};

// Opens a pty whose slave is raw: no echo, no XON/XOFF, no CR/LF translation.
bool OpenRawPty(PtyLink &pty);

// Points linkPath at target (normally the slave), replacing a stale symlink;
// the link appears in one step, so whoever sees it can open a ready device.
bool PublishLink(PtyLink &pty, const std::string &target, std::string &error);

// Removes the link if it still points where we pointed it.
void RemoveLink(const PtyLink &pty);

// The slave's current settings, as seen through the master.
LineSettings ReadLineSettings(int master);

// Deliberately "wrong" idle settings (9600, two stop bits), so each transfer
// must set the line again to show 4800 and one stop bit.
void SetIdleLineSettings(int master);

// Reads what the slave side has written. Returns false once the master
// reports that the slave side is closed and everything has been read (EIO).
bool DrainMaster(int master, std::string &bytes);
