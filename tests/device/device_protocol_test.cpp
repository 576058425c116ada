// The protocol's pure pieces: reading formats, operand conversion and the
// arithmetic result message. Built natively under the sanitizers and under Wine.
#include "device_protocol.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>
#include <vector>

TEST(FormatReading, ShowsTheByteAsADecimalNumber)
{
    const std::pair<int, const char *> cases[] = {{0, "0"}, {42, "42"}, {200, "200"}, {255, "255"}, {NoReading, "256"}};
    for (auto [reading, shown] : cases) {
        char text[ReadingTextSize];
        FormatReading(reading, text);
        EXPECT_STREQ(shown, text) << reading;
    }
}

TEST(FormatAutoCounter, SplitsTenthsOffTheWholePart)
{
    struct Case { int reading; const char *whole; const char *tenths; };
    const Case cases[] = {{123, "12", "3"}, {7, "0", "7"}, {NoReading, "25", "6"}, {0, "0", "0"}, {255, "25", "5"}, {10, "1", "0"}};
    for (const Case &c : cases) {
        char whole[ReadingTextSize], tenths[ReadingTextSize];
        FormatAutoCounter(c.reading, whole, tenths);
        EXPECT_STREQ(c.whole, whole) << c.reading;
        EXPECT_STREQ(c.tenths, tenths) << c.reading;
    }
}

TEST(FormatAutoCounter, ExtremeValuesStayInsideTheText)
{
    char whole[ReadingTextSize], tenths[ReadingTextSize];
    FormatAutoCounter(INT_MIN, whole, tenths);
    EXPECT_STREQ("-214748364", whole);
    EXPECT_STREQ("-8", tenths);
}

TEST(OperandValue, ReadsLikeAtoiInRange)
{
    const std::pair<const char *, int> cases[] = {
        {"1st", 1}, {"2nd", 2}, {"", 0}, {"abc", 0}, {"0042", 42}, {"9999", 9999},
        {"  -12x", -12}, {"+5", 5}, {"\t\n\v\f\r7", 7}, {"- 5", 0}, {"--5", 0},
        {"2147483647", INT_MAX}, {"-2147483648", INT_MIN}};
    for (auto [text, value] : cases)
        EXPECT_EQ(value, OperandValue(text)) << '"' << text << '"';
}

TEST(OperandValue, ClampsValuesBeyondThirtyTwoBits)
{
    EXPECT_EQ(INT_MAX, OperandValue("2147483648"));
    EXPECT_EQ(INT_MIN, OperandValue("-2147483649"));
    EXPECT_EQ(INT_MAX, OperandValue("99999999999999999999"));
    EXPECT_EQ(INT_MAX, OperandValue(std::string(1000, '9').c_str()));
    EXPECT_EQ(INT_MIN, OperandValue(("-" + std::string(1000, '7')).c_str()));
    // A byte above 127 is neither space nor digit, whatever char's signedness.
    EXPECT_EQ(0, OperandValue("\xa0" "12"));
}

TEST(ApplyOperation, WrapsInTwosComplement)
{
    EXPECT_EQ(INT_MIN, ApplyOperation(AddOperation, INT_MAX, 1));
    EXPECT_EQ(INT_MAX, ApplyOperation(SubtractOperation, INT_MIN, 1));
    EXPECT_EQ(0, ApplyOperation(MultiplyOperation, 65536, 65536));
    EXPECT_EQ(INT_MIN, ApplyOperation(MultiplyOperation, INT_MIN, -1));
    EXPECT_EQ(-7, ApplyOperation(SubtractOperation, 5, 12));
    EXPECT_EQ(9801, ApplyOperation(MultiplyOperation, 99, 99));
}

// The bytes that would go out: the first count bytes of the buffer.
static std::string ResultMessage(int operation, const std::string &first, const std::string &second)
{
    std::vector<char> buffer(ResultBufferSize, char(0xAA));
    int count = BuildResultMessage(operation, first.c_str(), int(first.size()),
                                   second.c_str(), int(second.size()), buffer.data());
    if (count < 0)
        return "no message";
    return std::string(buffer.data(), size_t(count));
}

TEST(BuildResultMessage, SendsCountBytesOfTheFormattedResult)
{
    using namespace std::string_literals;
    struct Case { int operation; const char *first; const char *second; std::string sent; };
    const Case cases[] = {
        {AddOperation, "15", "5", "20\0"s},
        {MultiplyOperation, "99", "99", "980"s},
        {AddOperation, "9999", "9999", "19998"s},
        {SubtractOperation, "1", "9999", "-9998"s},
        {SubtractOperation, "5", "12", "-7\0"s},
        // The start-up texts: "1st" + "2nd" is 3, padded with zeros to count 4.
        {AddOperation, "1st", "2nd", "3\0\0\0"s},
        {AddOperation, "", "", "0"s},
        {MultiplyOperation, "", "123456", "0\0\0\0\0\0\0"s},
    };
    for (const Case &c : cases)
        EXPECT_EQ(c.sent, ResultMessage(c.operation, c.first, c.second)) << c.first << " op" << c.operation << " " << c.second;
}

TEST(BuildResultMessage, SendsNothingWithoutAnOperation)
{
    char buffer[ResultBufferSize];
    memset(buffer, 0x55, sizeof buffer);
    EXPECT_EQ(-1, BuildResultMessage(NoOperation, "1", 1, "2", 1, buffer));
    EXPECT_EQ(0x55, buffer[0]);
}

TEST(BuildResultMessage, NeverCountsPastTheBuffer)
{
    // Operand texts of 254 characters still fit; 255 and 1000 would ask for more.
    for (int length : {253, 254, 255, 256, 1000}) {
        std::string digits(size_t(length), '1');
        std::string sent = ResultMessage(AddOperation, digits, "1");
        EXPECT_EQ(size_t(std::min(length + 1, ResultBufferSize)), sent.size()) << length;
        // The clamped sum is INT_MAX + 1, wrapped.
        EXPECT_EQ(std::string("-2147483648"), sent.substr(0, 11));
        EXPECT_EQ(std::string(sent.size() - 11, '\0'), sent.substr(11)) << "stale bytes after the text";
    }
}
