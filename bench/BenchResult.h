// The one summary line per figure that scripts/bench.sh gathers into its table.
#pragma once

#include <cstdio>

namespace bench {

inline void Result(const char* figure, const char* measured, const char* goal, bool met)
{
    std::printf("RESULT\t%s\t%s\t%s\t%s\n", figure, measured, goal, met ? "met" : "NOT met");
    std::fflush(stdout);
}

// A figure that has no goal and explains another.
inline void Reference(const char* figure, const char* measured)
{
    std::printf("RESULT\t%s\t%s\t(reference)\t-\n", figure, measured);
    std::fflush(stdout);
}

}  // namespace bench
