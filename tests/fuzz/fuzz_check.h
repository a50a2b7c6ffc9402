// The fuzz targets' assertion: a failed check names itself and aborts, which
// libFuzzer reports as a crash with the input that caused it (assert would
// vanish in a release build).
#pragma once

#include <cstdio>
#include <cstdlib>

#define CHECK(cond)                                                                       \
    do {                                                                                  \
        if (!(cond)) {                                                                    \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
            std::abort();                                                                 \
        }                                                                                 \
    } while (0)
