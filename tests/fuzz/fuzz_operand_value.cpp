// Operand conversion: any text an edit can hold (no zero byte inside) must
// convert as the reference says, reading nothing past its terminator.
#include "device_protocol.h"
#include "fuzz_check.h"
#include "reference_model.h"

#include <cstdint>
#include <cstring>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    // Exactly the text and its terminator, so ASan sees any over-read.
    size_t length = strnlen(reinterpret_cast<const char *>(data), size);
    std::vector<char> text(data, data + length);
    text.push_back('\0');
    FuzzCheck(OperandValue(text.data()) == ReferenceOperandValue(text.data()),
              "OperandValue");
    return 0;
}
