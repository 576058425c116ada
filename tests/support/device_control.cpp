// Orders to the device simulator over its control line.
#include "device_control.h"

#include <windows.h>

static const char ControlPortName[] = "\\\\.\\COM12";

std::string DeviceControl(const std::string &command)
{
    HANDLE port = CreateFileA(ControlPortName, GENERIC_READ | GENERIC_WRITE, 0, NULL,
                              OPEN_EXISTING, 0, NULL);
    if (port == INVALID_HANDLE_VALUE)
        return "";
    // A silent simulator must not hang the caller: give up after 3 s.
    COMMTIMEOUTS timeouts = {};
    timeouts.ReadTotalTimeoutConstant = 3000;
    SetCommTimeouts(port, &timeouts);
    std::string line = command + "\n";
    DWORD written = 0;
    std::string answer;
    if (WriteFile(port, line.data(), DWORD(line.size()), &written, NULL) && written == line.size()) {
        // One byte at a time: the simulator answers exactly one line, and a
        // read asking for more would wait for bytes that never come.
        char byte = 0;
        DWORD received = 0;
        while (ReadFile(port, &byte, 1, &received, NULL) && received == 1 && byte != '\n')
            answer += byte;
    }
    CloseHandle(port);
    return answer;
}
