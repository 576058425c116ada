// The protocol's pure pieces: message building, reading formats, operands.
#include "device_protocol.h"
#include <gtest/gtest.h>
