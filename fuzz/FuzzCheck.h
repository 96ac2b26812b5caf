// Shared by the fuzz targets: a broken property aborts, so that libFuzzer
// keeps the input and the corpus replay fails.
#pragma once

#include <cstdlib>

inline void Require(bool holds)
{
    if (!holds) {
        std::abort();
    }
}
