// The front end's constants by name, with their ranges and meanings.
#include "core/frontend/front_end_fields.h"

namespace kestrune {
namespace {

using Field = OptionField<FrontEndConfig>;

// Each range holds every value the analysis can be built with on its own; the rules that tie
// fields together (a frame no longer than the FFT, cepstra no more than filters, a band inside
// the Nyquist frequency) are FrontEndConfig::Valid's.
constexpr Field kFields[] = {
    {"frameLength", &FieldOf<&FrontEndConfig::frameLength>, 32, 4096,
     "samples per analysis frame (200: 25 ms at 8 kHz)"},
    {"frameShift", &FieldOf<&FrontEndConfig::frameShift>, 1, 4096,
     "samples from one frame to the next (80: 10 ms)"},
    {"fftSize", &FieldOf<&FrontEndConfig::fftSize>, 64, 4096,
     "FFT points, a power of two at least the frame length"},
    {"filterCount", &FieldOf<&FrontEndConfig::filterCount>, 4, 2048, "mel filters"},
    {"lowHz", &FieldOf<&FrontEndConfig::lowHz>, 0, 4000, "lowest edge of the filterbank, Hz"},
    {"highHz", &FieldOf<&FrontEndConfig::highHz>, 0, 4000, "highest edge of the filterbank, Hz"},
    {"cepstra", &FieldOf<&FrontEndConfig::cepstra>, 1, 2048, "cepstral coefficients kept"},
    {"firstCepstrum", &FieldOf<&FrontEndConfig::firstCepstrum>, 0, 2047,
     "first coefficient kept (0 keeps c0)"},
    {"deltaWindow", &FieldOf<&FrontEndConfig::deltaWindow>, 1, 10,
     "frames on each side of the delta regression"},
    {"deltaOrder", &FieldOf<&FrontEndConfig::deltaOrder>, 0, 2,
     "0: cepstra only, 1: with deltas, 2: also delta-deltas"},
    {"preEmphasis", &FieldOf<&FrontEndConfig::preEmphasis>, 0, 0.9999, "pre-emphasis coefficient"},
    {"vadRangeDb", &FieldOf<&FrontEndConfig::vadRangeDb>, 0.01, 200,
     "frames this many dB below the loudest are silence"},
    {"vadFloorDb", &FieldOf<&FrontEndConfig::vadFloorDb>, -200, 0,
     "frames below this level (dB of full scale) are silence"},
    {"varianceNormalise", &FieldOf<&FrontEndConfig::varianceNormalise>, 0, 1,
     "1: also scale each coefficient to unit variance"},
    {"normaliseWindow", &FieldOf<&FrontEndConfig::normaliseWindow>, 0, 100000,
     "speech frames in the sliding normalisation window (0: the whole recording)"},
    {"warping", &FieldOf<&FrontEndConfig::warping>, 0, 1,
     "1: feature warping of the cepstra, 0: mean normalisation"},
    {"vadNoiseMarginDb", &FieldOf<&FrontEndConfig::vadNoiseMarginDb>, 0, 60,
     "dB speech must stand above a steady noise floor (0: no such rule)"},
    {"linearFilters", &FieldOf<&FrontEndConfig::linearFilters>, 0, 1,
     "1: filters spaced evenly in Hz instead of on the mel scale"},
};

}  // namespace

std::span<const OptionField<FrontEndConfig>> FrontEndFields() {
    return kFields;
}

bool SetFrontEndField(FrontEndConfig& config, const std::string& name, const std::string& value,
                      std::string& error) {
    return SetOption(FrontEndFields(), config, name, value, error, "front-end constant");
}

std::string FrontEndFieldNames() {
    return OptionNames(FrontEndFields());
}

}  // namespace kestrune
