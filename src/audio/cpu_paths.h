// Choosing among implementations of one sample loop by what the processor supports.
#pragma once

#include <cstddef>

namespace jkestrune {

// For the portable path, which every processor runs.
inline bool AlwaysSupported() {
    return true;
}

// The last of `paths` that the processor supports. paths[0] is the portable one, always
// supported; the others are listed from least to most preferred. The processor is asked on
// every call rather than once into a variable of ours: the library keeps no state, and the
// question costs a load and a test.
template <typename Path, size_t kCount>
const Path& PreferredPath(const Path (&paths)[kCount]) {
    for (size_t i = kCount; i-- > 1;) {
        if (paths[i].supported()) {
            return paths[i];
        }
    }
    return paths[0];
}

}  // namespace jkestrune
