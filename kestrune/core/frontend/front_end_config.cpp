// Which front-end constants can be built.
#include "core/frontend/front_end_config.h"

#include <cmath>

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
    const bool powerOfTwo = fftSize >= 64 && fftSize <= 4096 && (fftSize & (fftSize - 1)) == 0;
    return sampleRate == 8000 && powerOfTwo && frameLength >= 32 && frameLength <= fftSize &&
           frameShift >= 1 && frameShift <= frameLength && filterCount >= 4 &&
           filterCount <= fftSize / 2 && std::isfinite(lowHz) && std::isfinite(highHz) &&
           lowHz >= 0.0f && lowHz < highHz && highHz <= sampleRate / 2.0f && cepstra >= 1 &&
           firstCepstrum < filterCount && cepstra <= filterCount - firstCepstrum &&
           deltaWindow >= 1 && deltaWindow <= 10 && deltaOrder <= 2 && preEmphasis >= 0.0f &&
           preEmphasis < 1.0f && vadRangeDb > 0.0f && vadRangeDb <= 200.0f &&
           vadFloorDb >= -200.0f && vadFloorDb <= 0.0f && varianceNormalise <= 1 &&
           normaliseWindow <= 100000 && warping <= 1 && std::isfinite(vadNoiseMarginDb) &&
           vadNoiseMarginDb >= 0.0f && vadNoiseMarginDb <= 60.0f &&
           ValidBand(telephoneBand, sampleRate / 2.0f);
}

}  // namespace kestrune
