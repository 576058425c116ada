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

// Packet mode on the master, and EXTPROC in the slave's settings: every
// change of the line settings through the slave (a SetCommState) then wakes
// the master's reader, without polling.
bool WatchLineChanges(int master);

// The slave's current settings, as seen through the master.
LineSettings ReadLineSettings(int master);

// Deliberately "wrong" idle settings (9600, two stop bits), so each transfer
// must set the line again to show 4800 and one stop bit. Left alone when the
// line has them already: every change wakes a master in packet mode.
void SetIdleLineSettings(int master);

// Writes bytes to fd, going on after interruptions and short writes, until
// all are written or fd takes no more; returns how many were written.
size_t WriteAll(int fd, const std::string &bytes);

// Reads what the slave side has written from a master in packet mode, and
// notes whether the line settings were changed. Our own flow control's
// notices are dropped. Returns false once the slave side is closed and
// everything has been read (EIO).
bool ReadPackets(int master, std::string &bytes, bool &lineChanged);
