#pragma once

#include <cstdio>
#include <cstdlib>

// Stops the run on a broken promise, naming it; libFuzzer then keeps the
// input that broke it as a crash file. Unlike assert() it stays on in every
// build type.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #condition);     \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
