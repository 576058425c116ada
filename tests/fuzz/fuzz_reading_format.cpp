// Reading formats: every int the read can return, and any other, formats as
// the reference's decimal text inside the fixed text buffer.
#include "device_protocol.h"
#include "fuzz_check.h"
#include "reference_model.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Short inputs give small readings (one byte: 0 to 255, two: up to 65535),
    // so the bytes the device really sends are reached at once.
    uint32_t bits = 0;
    memcpy(&bits, data, size < sizeof bits ? size : sizeof bits);
    int32_t reading;
    memcpy(&reading, &bits, sizeof reading);

    // Heap buffers of exactly the declared size, so a longer write is caught.
    std::unique_ptr<char[]> text(new char[ReadingTextSize]);
    std::unique_ptr<char[]> whole(new char[ReadingTextSize]);
    std::unique_ptr<char[]> tenths(new char[ReadingTextSize]);

    FormatReading(reading, text.get());
    FuzzCheck(memchr(text.get(), '\0', ReadingTextSize) != nullptr, "reading not terminated");
    FuzzCheck(ReferenceDecimal(reading) == text.get(), "FormatReading");

    std::string expectedWhole, expectedTenths;
    ReferenceAutoCounter(reading, expectedWhole, expectedTenths);
    FormatAutoCounter(reading, whole.get(), tenths.get());
    FuzzCheck(memchr(whole.get(), '\0', ReadingTextSize) != nullptr, "whole not terminated");
    FuzzCheck(memchr(tenths.get(), '\0', ReadingTextSize) != nullptr, "tenths not terminated");
    FuzzCheck(expectedWhole == whole.get(), "FormatAutoCounter whole");
    FuzzCheck(expectedTenths == tenths.get(), "FormatAutoCounter tenths");
    return 0;
}
