// Filterbank and cepstra: the filterbank's energies of a power spectrum, and the cepstra
// (DCT-II of the log energies) of a recording's frames.
#pragma once

#include <cstdint>
#include <vector>

#include "core/base/matrix.h"
#include "core/frontend/front_end_config.h"

namespace kestrune {

// Energies below this (in squared 16-bit units, summed over a filter) are treated as this, so
// that digital silence does not give minus infinity.
inline constexpr float kEnergyFloor = 1e-4f;

// The mel scale (O'Shaughnessy's formula) and its inverse.
float HzToMel(float hz);
float MelToHz(float mel);

// Triangles equally spaced from lowHz to highHz on the mel scale (or in Hz with linearFilters),
// evaluated at each FFT bin's true frequency.
class Filterbank {
  public:
    explicit Filterbank(const FrontEndConfig& config);

    uint32_t size() const { return static_cast<uint32_t>(filters_.size()); }
    // The energy in each filter of a power spectrum (fftSize / 2 + 1 bins), into `energies`
    // (size() values).
    void Energies(const std::vector<float>& power, float* energies) const;
    // Centre frequency of filter i in Hz.
    float CentreHz(uint32_t i) const { return centres_.at(i); }

  private:
    std::vector<std::vector<float>> filters_;  // per filter: weight of each bin from firstBin_
    std::vector<uint32_t> firstBin_;
    std::vector<float> centres_;
};

// The kept cepstra (firstCepstrum onwards) through an orthonormal DCT-II.
class Cepstra {
  public:
    explicit Cepstra(const FrontEndConfig& config);

    // The cepstra of each row of filterbank energies (floored at kEnergyFloor, then logged).
    FeatureMatrix Of(const FloatMatrix& energies) const;

  private:
    FloatMatrix dct_;  // cepstra × filterCount
};

}  // namespace kestrune
