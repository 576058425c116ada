// Serial transfers to the counting device: one direction and one transfer
// per opening, so no handle to the port outlives a call.
#include "serial_port.h"

#include "device_protocol.h"

#include <windows.h>

const char PortName[] = "\\\\.\\COM11";

// Asked once, at the first transfer: the answer cannot change while the
// program runs. A plain file-scope value, because a function-local static's
// thread-safe guard drags exception handling and a threads library into a
// one-thread program.
static int UnderWine = -1;

static bool RunningUnderWine()
{
    if (UnderWine < 0)
        UnderWine = GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != NULL;
    return UnderWine != 0;
}

static HANDLE OpenPort(const char *portName, DWORD access)
{
    // No sharing: while we hold the port nobody else may talk to the device.
    return CreateFileA(portName, access, 0, NULL, OPEN_EXISTING, 0, NULL);
}

// Only the four line settings are ours; flow control and the special
// characters stay as the port has them, hence read, change, write back.
static bool ConfigureLine(HANDLE port)
{
    DCB dcb = {};
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(port, &dcb))
        return false;
    dcb.BaudRate = 4800;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    return SetCommState(port, &dcb) != FALSE;
}

bool SerialWrite(const char *text, int count)
{
    return SerialWriteTo(PortName, text, count);
}

int SerialReadByte()
{
    return SerialReadByteFrom(PortName);
}

bool SerialWriteTo(const char *portName, const char *text, int count)
{
    // A negative count would become a huge unsigned one in WriteFile.
    if (count < 0)
        return false;
    // Windows changes the line settings of a write-only handle; Wine's serial
    // driver refuses them (error 5) without read access, so there we ask for both.
    DWORD access = RunningUnderWine() ? GENERIC_READ | GENERIC_WRITE : GENERIC_WRITE;
    HANDLE port = OpenPort(portName, access);
    if (port == INVALID_HANDLE_VALUE)
        return false;
    bool result = false;
    if (ConfigureLine(port)) {
        // Success is the write call's own verdict; a short write is not compared.
        DWORD written = 0;
        result = WriteFile(port, text, DWORD(count), &written, NULL) != FALSE;
    }
    CloseHandle(port);
    return result;
}

int SerialReadByteFrom(const char *portName)
{
    HANDLE port = OpenPort(portName, GENERIC_READ);
    if (port == INVALID_HANDLE_VALUE)
        return NoReading;
    int reading = NoReading;
    if (ConfigureLine(port)) {
        // A failed read, or one that delivered no byte, is no reading rather
        // than whatever the variable happened to hold.
        unsigned char byte = 0;
        DWORD received = 0;
        if (ReadFile(port, &byte, 1, &received, NULL) && received == 1)
            reading = byte;
    }
    CloseHandle(port);
    return reading;
}
