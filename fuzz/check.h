// The fuzzers' check: a property that does not hold ends the run with its description, and
// libFuzzer keeps the input.
#pragma once

#include <cstdio>
#include <cstdlib>

namespace fuzzcheck {

inline void Check(bool holds, const char* what) {
    if (!holds) {
        std::fprintf(stderr, "fuzz check failed: %s\n", what);
        std::abort();
    }
}

}  // namespace fuzzcheck
