// The background model installed with the tool, used when a command names none.
#pragma once

#include <filesystem>

namespace kestrune {

// `<folder of the kestrune executable>/../share/kestrune/ubm` when it holds a background model,
// else an empty path.
std::filesystem::path DefaultBackgroundDirectory();

}  // namespace kestrune
