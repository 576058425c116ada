// What the panel says to the counting device and how its answers read.
// Pure code: no Win32 here, so it also builds and is tested natively.
#pragma once

// A reading is the received byte, 0 to 255; this value means that none came.
const int NoReading = 256;

// The fixed commands, each sent alone with no terminator.
extern const char WakeCommand[];          // "1": switch-on steps 1 and 5
extern const char CounterRequest[];       // "5": asks for the Counter
extern const char SwitchOffCommand[];     // "99991"
extern const char ResetCommand[];         // "88881"
extern const char SaveMemoryCommand[];    // "77771"
extern const char EraseMemoryCommand[];   // "33331"
const int OneByteCommandLength = 1;
const int MaintenanceCommandLength = 5;

// The device needs this long after the wake command before it answers.
const unsigned SwitchOnWaitMilliseconds = 3000;

// Values of SelectedOperation.
const int NoOperation = 0;
const int AddOperation = 1;
const int SubtractOperation = 2;
const int MultiplyOperation = 3;

// "%i" of any 32-bit value, sign and terminator included, fits here.
const int ReadingTextSize = 12;

// The result text is formatted into a buffer of this size; nothing past it is sent.
const int ResultBufferSize = 255;

// The Counter as the display shows it: "%i" of the reading.
void FormatReading(int reading, char text[ReadingTextSize]);

// The Auto Counter in tenths: 123 shows as "12" and "3", the panel paints the point.
void FormatAutoCounter(int reading, char whole[ReadingTextSize], char tenths[ReadingTextSize]);

// atoi's reading of an operand (leading white space, a sign, digits), with
// values beyond 32 bits held at INT32_MIN or INT32_MAX instead of undefined.
int OperandValue(const char *text);

// The chosen operation on 32-bit operands, wrapping in two's complement.
// Must not be called with NoOperation.
int ApplyOperation(int operation, int first, int second);

// Builds the arithmetic result message in a zero-filled buffer and returns
// the count to send: one more than the longer operand text, never more than
// the buffer. Returns -1, leaving the buffer alone, when no operation is chosen.
int BuildResultMessage(int operation, const char *firstText, int firstLength,
                       const char *secondText, int secondLength,
                       char buffer[ResultBufferSize]);
