// Front-end constants by name.
#include "core/frontend/front_end_fields.h"

#include <charconv>
#include <cstdint>
#include <variant>

namespace kestrune {
namespace {

struct Field {
    const char* name;
    std::variant<uint32_t FrontEndConfig::*, float FrontEndConfig::*> member;
};

constexpr Field kFields[] = {
    {"frameLength", &FrontEndConfig::frameLength},
    {"frameShift", &FrontEndConfig::frameShift},
    {"fftSize", &FrontEndConfig::fftSize},
    {"filterCount", &FrontEndConfig::filterCount},
    {"lowHz", &FrontEndConfig::lowHz},
    {"highHz", &FrontEndConfig::highHz},
    {"cepstra", &FrontEndConfig::cepstra},
    {"firstCepstrum", &FrontEndConfig::firstCepstrum},
    {"deltaWindow", &FrontEndConfig::deltaWindow},
    {"deltaOrder", &FrontEndConfig::deltaOrder},
    {"preEmphasis", &FrontEndConfig::preEmphasis},
    {"vadRangeDb", &FrontEndConfig::vadRangeDb},
    {"vadFloorDb", &FrontEndConfig::vadFloorDb},
    {"varianceNormalise", &FrontEndConfig::varianceNormalise},
    {"normaliseWindow", &FrontEndConfig::normaliseWindow},
    {"warping", &FrontEndConfig::warping},
    {"vadNoiseMarginDb", &FrontEndConfig::vadNoiseMarginDb},
};

// Parses the whole of `text` into `value`, which a refused text leaves as it was (from_chars
// alone would store the number at the front of "0.9.7").
template <typename T>
bool Parse(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    T parsed{};
    const auto [ptr, code] = std::from_chars(text.data(), end, parsed);
    if (code != std::errc() || ptr != end) {
        return false;
    }
    value = parsed;
    return true;
}

}  // namespace

bool SetFrontEndField(FrontEndConfig& config, const std::string& name, const std::string& value,
                      std::string& error) {
    for (const Field& field : kFields) {
        if (name != field.name) {
            continue;
        }
        const bool parsed =
            std::visit([&](auto member) { return Parse(value, config.*member); }, field.member);
        if (!parsed) {
            error = "'" + value + "' is not a value for " + name;
        }
        return parsed;
    }
    error = "no front-end constant is called '" + name + "' (known: " + FrontEndFieldNames() + ")";
    return false;
}

std::string FrontEndFieldNames() {
    std::string names;
    for (const Field& field : kFields) {
        names += names.empty() ? "" : " ";
        names += field.name;
    }
    return names;
}

}  // namespace kestrune
