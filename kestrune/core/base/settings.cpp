// Strict parsing of numeric settings.
#include "core/base/settings.h"

#include <string>

#include "core/base/report_once.h"

namespace kestrune {

std::optional<uint64_t> ParseSettingNumber(std::string_view text, uint64_t maximum) {
    if (text.empty()) {
        return std::nullopt;
    }
    uint64_t value = 0;
    for (const char c : text) {
        if (c < '0' || c > '9') {
            return std::nullopt;
        }
        const auto digit = static_cast<uint64_t>(c - '0');
        // Stops before the value could pass `maximum` (and so before it could wrap).
        if (value > (maximum - digit) / 10) {
            return std::nullopt;
        }
        value = value * 10 + digit;
    }
    return value;
}

std::optional<uint64_t> SettingNumber(const char* name, const char* text, uint64_t maximum) {
    if (text == nullptr) {
        return std::nullopt;
    }
    const std::optional<uint64_t> value = ParseSettingNumber(text, maximum);
    if (value) {
        return value;
    }
    ReportOnce(std::string("setting\n") + name,
               std::string(name) + "='" + EscapedForLine(text) +
                   "' is not understood (decimal digits only, at most " + std::to_string(maximum) +
                   "); the default applies");
    return std::nullopt;
}

}  // namespace kestrune
