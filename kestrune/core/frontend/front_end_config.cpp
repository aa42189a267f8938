// Which front-end constants can be built.
#include "core/frontend/front_end_config.h"

#include <cmath>

#include "core/frontend/front_end_fields.h"

namespace kestrune {
namespace {

bool ValidBand(const TelephoneBand& band, float nyquistHz) {
    return std::isfinite(band.stopLowHz) && std::isfinite(band.stopHighHz) &&
           band.stopLowHz >= 0.0f && band.stopLowHz <= band.passLowHz &&
           band.passLowHz < band.passHighHz && band.passHighHz <= band.stopHighHz &&
           band.stopHighHz <= nyquistHz;
}

}  // namespace

bool FrontEndConfig::Valid() const {
    // Each field's own range is in its descriptor (front_end_fields.cpp); what ties fields
    // together is here.
    const bool powerOfTwo = (fftSize & (fftSize - 1)) == 0;
    return OptionsInRange(FrontEndFields(), *this) && sampleRate == 8000 && powerOfTwo &&
           frameLength <= fftSize && frameShift <= frameLength && filterCount <= fftSize / 2 &&
           lowHz < highHz && highHz <= sampleRate / 2.0f && firstCepstrum < filterCount &&
           cepstra <= filterCount - firstCepstrum && ValidBand(telephoneBand, sampleRate / 2.0f);
}

bool FrontEndConfig::SameSpeechFrames(const FrontEndConfig& other) const {
    return sampleRate == other.sampleRate && frameLength == other.frameLength &&
           frameShift == other.frameShift && preEmphasis == other.preEmphasis &&
           vadRangeDb == other.vadRangeDb && vadFloorDb == other.vadFloorDb &&
           vadNoiseMarginDb == other.vadNoiseMarginDb;
}

}  // namespace kestrune
