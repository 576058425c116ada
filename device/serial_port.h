// The one road to the device: each call opens the serial port, sets the
// line, makes one transfer and closes the port again.
#pragma once

// "\\.\COM11": the device namespace prefix lets CreateFileA open COM ports
// above 9, which have no plain DOS name.
extern const char PortName[];

// Sends count bytes of text, no terminator added. True when the port opened,
// took the line settings and the write call reported success.
bool SerialWrite(const char *text, int count);

// One byte from the device, 0 to 255, or NoReading (256) when the port cannot
// be opened or configured, or the read delivers nothing.
int SerialReadByte();

// The same two transfers on another port, given by its device name: the
// benchmark compares COM11 with a port mapped to the same device otherwise.
bool SerialWriteTo(const char *portName, const char *text, int count);
int SerialReadByteFrom(const char *portName);
