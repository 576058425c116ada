// The reference model: written from the rules, sharing no code with device/.
#include "reference_model.h"

#include <cstring>

static const char MaxText[] = "2147483647";
static const char MinMagnitudeText[] = "2147483648";

int32_t ReferenceOperandValue(const char *text)
{
    while (*text != '\0' && strchr(" \t\n\v\f\r", *text) != nullptr)
        text++;
    bool negative = false;
    if (*text == '+' || *text == '-')
        negative = *text++ == '-';
    while (*text == '0')
        text++;
    std::string digits;
    while (*text >= '0' && *text <= '9')
        digits += *text++;
    const char *limit = negative ? MinMagnitudeText : MaxText;
    bool beyond = digits.size() > 10 || (digits.size() == 10 && digits > limit);
    if (beyond)
        return negative ? INT32_MIN : INT32_MAX;
    int64_t magnitude = 0;
    for (char digit : digits)
        magnitude = magnitude * 10 + (digit - '0');
    return int32_t(negative ? -magnitude : magnitude);
}

int32_t ReferenceApply(int operation, int32_t first, int32_t second)
{
    uint32_t a = uint32_t(first), b = uint32_t(second), result = 0;
    if (operation == 1) result = a + b;
    if (operation == 2) result = a - b;
    if (operation == 3) result = a * b;
    int32_t value;
    memcpy(&value, &result, sizeof value);
    return value;
}

std::string ReferenceDecimal(int64_t value)
{
    uint64_t magnitude = value < 0 ? uint64_t(0) - uint64_t(value) : uint64_t(value);
    std::string reversed;
    do {
        reversed += char('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude != 0);
    if (value < 0)
        reversed += '-';
    return std::string(reversed.rbegin(), reversed.rend());
}

void ReferenceAutoCounter(int32_t reading, std::string &whole, std::string &tenths)
{
    int64_t magnitude = reading < 0 ? -int64_t(reading) : int64_t(reading);
    int64_t sign = reading < 0 ? -1 : 1;
    whole = ReferenceDecimal(sign * (magnitude / 10));
    tenths = ReferenceDecimal(sign * (magnitude % 10));
}

int ReferenceResultMessage(int operation, const char *firstText, int firstLength,
                           const char *secondText, int secondLength, std::string &buffer)
{
    if (operation < 1 || operation > 3)
        return -1;
    int32_t result = ReferenceApply(operation, ReferenceOperandValue(firstText),
                                    ReferenceOperandValue(secondText));
    buffer.assign(255, '\0');
    std::string text = ReferenceDecimal(result);
    buffer.replace(0, text.size(), text);
    int64_t longer = firstLength > secondLength ? firstLength : secondLength;
    return int(longer + 1 < 255 ? longer + 1 : 255);
}
