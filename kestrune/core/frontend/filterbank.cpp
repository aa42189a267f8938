// Filterbank and cepstra.
#include "core/frontend/filterbank.h"

#include <cmath>
#include <numbers>

namespace kestrune {

float HzToMel(float hz) {
    return 2595.0f * std::log10(1.0f + hz / 700.0f);
}

float MelToHz(float mel) {
    return 700.0f * (std::pow(10.0f, mel / 2595.0f) - 1.0f);
}

Filterbank::Filterbank(const FrontEndConfig& config) {
    const uint32_t bins = config.fftSize / 2 + 1;
    const float binHz = static_cast<float>(config.sampleRate) / config.fftSize;
    const float lowMel = HzToMel(config.lowHz);
    const float highMel = HzToMel(config.highHz);
    std::vector<float> edges(config.filterCount + 2);
    for (size_t i = 0; i < edges.size(); ++i) {
        const float share = static_cast<float>(i) / static_cast<float>(config.filterCount + 1);
        edges[i] = config.linearFilters != 0 ? config.lowHz + (config.highHz - config.lowHz) * share
                                             : MelToHz(lowMel + (highMel - lowMel) * share);
    }
    for (uint32_t f = 0; f < config.filterCount; ++f) {
        const float left = edges[f], centre = edges[f + 1], right = edges[f + 2];
        std::vector<float> weights;
        uint32_t first = 0;
        for (uint32_t b = 0; b < bins; ++b) {
            const float hz = b * binHz;
            float w = 0.0f;
            if (hz > left && hz <= centre) {
                w = (hz - left) / (centre - left);
            } else if (hz > centre && hz < right) {
                w = (right - hz) / (right - centre);
            }
            if (w > 0.0f) {
                if (weights.empty()) {
                    first = b;
                }
                weights.resize(b - first + 1, 0.0f);
                weights[b - first] = w;
            }
        }
        filters_.push_back(std::move(weights));
        firstBin_.push_back(first);
        centres_.push_back(centre);
    }
}

void Filterbank::Energies(const std::vector<float>& power, float* energies) const {
    for (size_t f = 0; f < filters_.size(); ++f) {
        float sum = 0.0f;
        for (size_t i = 0; i < filters_[f].size(); ++i) {
            sum += filters_[f][i] * power[firstBin_[f] + i];
        }
        energies[f] = sum;
    }
}

Cepstra::Cepstra(const FrontEndConfig& config) {
    const uint32_t filters = config.filterCount;
    dct_.resize(config.cepstra, filters);
    for (uint32_t k = 0; k < config.cepstra; ++k) {
        const uint32_t q = config.firstCepstrum + k;
        const double scale = std::sqrt((q == 0 ? 1.0 : 2.0) / filters);
        for (uint32_t j = 0; j < filters; ++j) {
            dct_(k, j) =
                static_cast<float>(scale * std::cos(std::numbers::pi * q * (j + 0.5) / filters));
        }
    }
}

FeatureMatrix Cepstra::Of(const FloatMatrix& energies) const {
    const FloatMatrix logEnergies = energies.cwiseMax(kEnergyFloor).array().log().matrix();
    return logEnergies * dct_.transpose();
}

}  // namespace kestrune
