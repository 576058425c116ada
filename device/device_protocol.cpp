// The command texts, the reading formats and the arithmetic result message.
#include "device_protocol.h"

#include <cstdint>
#include <cstdio>
#include <cstring>

const char WakeCommand[] = "1";
const char CounterRequest[] = "5";
const char SwitchOffCommand[] = "99991";
const char ResetCommand[] = "88881";
const char SaveMemoryCommand[] = "77771";
const char EraseMemoryCommand[] = "33331";

void FormatReading(int reading, char text[ReadingTextSize])
{
    snprintf(text, ReadingTextSize, "%i", reading);
}

void FormatAutoCounter(int reading, char whole[ReadingTextSize], char tenths[ReadingTextSize])
{
    // Truncating division, as the device counts in tenths.
    int wholePart = reading / 10;
    FormatReading(wholePart, whole);
    FormatReading(reading - wholePart * 10, tenths);
}

// The C locale's white space, which is what atoi skips.
static bool IsAsciiSpace(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

int OperandValue(const char *text)
{
    while (IsAsciiSpace(*text))
        text++;
    bool negative = *text == '-';
    if (*text == '-' || *text == '+')
        text++;
    // Accumulate in 64 bits and stop growing once past the 32-bit range,
    // so a thousand digits clamp like strtol instead of overflowing.
    const int64_t limit = int64_t(INT32_MAX) + 1;
    int64_t magnitude = 0;
    for (; *text >= '0' && *text <= '9'; text++) {
        magnitude = magnitude * 10 + (*text - '0');
        if (magnitude > limit)
            magnitude = limit;
    }
    if (negative)
        return int(-magnitude);
    return magnitude > INT32_MAX ? INT32_MAX : int(magnitude);
}

int ApplyOperation(int operation, int first, int second)
{
    // Computed wide and truncated to 32 bits: the two's-complement wrap the
    // device has always seen, without signed overflow.
    int64_t a = first, b = second, result = 0;
    switch (operation) {
    case AddOperation:      result = a + b; break;
    case SubtractOperation: result = a - b; break;
    case MultiplyOperation: result = a * b; break;
    }
    return int(int32_t(uint32_t(uint64_t(result))));
}

int BuildResultMessage(int operation, const char *firstText, int firstLength,
                       const char *secondText, int secondLength,
                       char buffer[ResultBufferSize])
{
    if (operation < AddOperation || operation > MultiplyOperation)
        return -1;
    int result = ApplyOperation(operation, OperandValue(firstText), OperandValue(secondText));
    // Zero-filled, so whatever the count takes beyond the text is zero bytes.
    memset(buffer, 0, ResultBufferSize);
    snprintf(buffer, ResultBufferSize, "%i", result);
    int count = (firstLength > secondLength ? firstLength : secondLength) + 1;
    // Operand texts of 255 characters or more would ask for bytes past the buffer.
    if (count > ResultBufferSize)
        count = ResultBufferSize;
    return count;
}
