#pragma once

#include <cstdio>
#include <cstdlib>

// A property that must hold for every input: the fuzzer keeps the input that
// breaks it and stops.
#define PROPERTY(condition)                                                                        \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            std::fprintf(stderr, "%s:%d: property broken: %s\n", __FILE__, __LINE__, #condition);  \
            std::abort();                                                                          \
        }                                                                                          \
    } while (false)
