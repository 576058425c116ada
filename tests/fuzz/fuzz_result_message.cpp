// The arithmetic result message: two operand texts as the panel reads them
// from its edits, any operation value, compared byte for byte with the reference.
#include "device_protocol.h"
#include "fuzz_check.h"
#include "reference_model.h"

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

// An edit's text as the panel holds it: a zero-filled buffer of the reported
// length plus one. GetWindowTextLengthA may report more than it then copies,
// so the reported length can exceed the text.
static std::vector<char> EditBuffer(const uint8_t *&data, size_t &size, int extra)
{
    size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    std::vector<char> buffer(length + size_t(extra) + 1, '\0');
    memcpy(buffer.data(), data, length);
    size_t used = length < size ? length + 1 : length;
    data += used;
    size -= used;
    return buffer;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    if (size < 1)
        return 0;
    // First byte: the operation in the low two bits (0 is none chosen), and
    // in the high bits how far the first reported length overstates its text.
    int operation = data[0] & 3;
    int overstated = data[0] >> 2;
    data++, size--;
    std::vector<char> first = EditBuffer(data, size, overstated);
    std::vector<char> second = EditBuffer(data, size, 0);
    int firstLength = int(first.size()) - 1;
    int secondLength = int(second.size()) - 1;

    // Exactly ResultBufferSize bytes on the heap, filled with a pattern that
    // shows both a missing zero fill and a write when nothing should change.
    std::unique_ptr<char[]> buffer(new char[ResultBufferSize]);
    memset(buffer.get(), 0xA5, ResultBufferSize);

    std::string expected;
    int expectedCount = ReferenceResultMessage(operation, first.data(), firstLength,
                                               second.data(), secondLength, expected);
    int count = BuildResultMessage(operation, first.data(), firstLength,
                                   second.data(), secondLength, buffer.get());
    FuzzCheck(count == expectedCount, "count");
    if (expectedCount < 0) {
        for (int i = 0; i < ResultBufferSize; i++)
            FuzzCheck(uint8_t(buffer[i]) == 0xA5, "buffer written with no operation");
        return 0;
    }
    FuzzCheck(count >= 1 && count <= ResultBufferSize, "count outside the buffer");
    FuzzCheck(memcmp(buffer.get(), expected.data(), ResultBufferSize) == 0, "buffer bytes");
    return 0;
}
