// A failed comparison is a finding: print what differs and abort, so that
// libFuzzer saves the input that caused it.
#pragma once

#include <cstdio>
#include <cstdlib>

inline void FuzzCheck(bool holds, const char *what)
{
    if (holds)
        return;
    fprintf(stderr, "mismatch with the reference model: %s\n", what);
    abort();
}
