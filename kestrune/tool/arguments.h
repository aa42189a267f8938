// What the tool's commands share: parsing option values, and reading WAVE files.
#pragma once

#include <charconv>
#include <ostream>
#include <span>
#include <string>
#include <vector>

#include "core/base/option_table.h"
#include "core/frontend/augmentation.h"

namespace kestrune {

inline constexpr int kUsageError = 2;
inline constexpr int kFailure = 1;

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, code] = std::from_chars(text.data(), end, value);
    return code == std::errc() && ptr == end;
}

// What TakeOption made of an argument.
enum class OptionTaken { kNotOption, kTaken, kRefused };

// When args[i] is "--NAME" for an option of `table`, sets it from the next argument (range
// checked; the index moves past the value) and says kTaken, or reports on `log` as
// "<command>: ..." and says kRefused. kNotOption for any other argument.
template <typename Options>
OptionTaken TakeOption(std::span<const OptionField<Options>> table, Options& options,
                       const std::vector<std::string>& args, size_t& i, const char* command,
                       std::ostream& log) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0 || FindOption(table, std::string_view(arg).substr(2)) == nullptr) {
        return OptionTaken::kNotOption;
    }
    if (i + 1 >= args.size()) {
        log << command << ": " << arg << " needs a value\n";
        return OptionTaken::kRefused;
    }
    std::string error;
    if (!SetOption(table, options, arg.substr(2), args[++i], error)) {
        log << command << ": --" << error << "\n";
        return OptionTaken::kRefused;
    }
    return OptionTaken::kTaken;
}

// Reads `files` as 8 kHz mono samples into `audio`, reporting every tenth of the way as
// "<command>: read i/n files"; false (reported) at the first file that cannot be read.
bool ReadAudio(const std::vector<std::string>& files, std::vector<Samples>& audio,
               const char* command, std::ostream& log);

}  // namespace kestrune
