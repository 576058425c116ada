// termios2 access, in a file of its own: <asm/termbits.h> defines struct
// termios and the flag names differently from <termios.h>, and the two
// cannot meet in one translation unit.
#include "line_rate.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

int LineRateOf(int fd)
{
    termios2 line = {};
    if (ioctl(fd, TCGETS2, &line) != 0)
        return -1;
    // Filled in by the kernel for a rate set by its constant too.
    return int(line.c_ospeed);
}

bool SetLineRate(int fd, int baud)
{
    termios2 line = {};
    if (baud < 0 || ioctl(fd, TCGETS2, &line) != 0)
        return false;
    // No input rate of its own (CIBAUD clear): input follows output.
    line.c_cflag &= ~(CBAUD | CIBAUD);
    line.c_cflag |= BOTHER;
    line.c_ispeed = line.c_ospeed = speed_t(baud);
    return ioctl(fd, TCSETS2, &line) == 0;
}
