// A second, deliberately different reading of the protocol's pure pieces,
// for the fuzz targets to compare the real ones against.
#pragma once

#include <cstdint>
#include <string>

// Operand conversion by digit strings: skip C white space, take a sign,
// compare the digits with the 32-bit limits as text, saturate beyond them.
int32_t ReferenceOperandValue(const char *text);

// The operation in unsigned 32-bit arithmetic, which wraps by definition.
int32_t ReferenceApply(int operation, int32_t first, int32_t second);

// Decimal text of a value, written digit by digit without printf.
std::string ReferenceDecimal(int64_t value);

// Whole and tenths of a reading, from its magnitude.
void ReferenceAutoCounter(int32_t reading, std::string &whole, std::string &tenths);

// The expected message: the full 255-byte buffer and the count to send,
// or -1 when no operation is chosen.
int ReferenceResultMessage(int operation, const char *firstText, int firstLength,
                           const char *secondText, int secondLength, std::string &buffer);
