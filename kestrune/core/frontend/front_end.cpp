// MFCC front end: DC removal, pre-emphasis, Hamming window, power spectrum, mel filterbank,
// log, DCT-II, delta regression, energy-based speech detection.
#include "core/frontend/front_end.h"

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdlib>
#include <numbers>
#include <unsupported/Eigen/FFT>

namespace kestrune {
namespace {

float HzToMel(float hz) {
    return 2595.0f * std::log10(1.0f + hz / 700.0f);
}
float MelToHz(float mel) {
    return 700.0f * (std::pow(10.0f, mel / 2595.0f) - 1.0f);
}

// Energies below this (in squared 16-bit units, summed over a filter) are treated as this, so
// that digital silence does not give minus infinity.
constexpr float kEnergyFloor = 1e-4f;

// The quietest frames of a recording: their level (the 10th percentile of the frame levels),
// and whether they form a steady floor, which noise (or silence) between words does and the
// quiet edges of speech trimmed of its pauses do not: the 5th to the 25th percentile then lie
// within kSteadyFloorDb.
constexpr float kSteadyFloorDb = 5.0f;

struct NoiseFloor {
    float levelDb = 0.0f;
    bool steady = false;
};

NoiseFloor FindNoiseFloor(std::vector<float> levels) {
    std::sort(levels.begin(), levels.end());
    const auto quantile = [&](double share) {
        return levels[static_cast<size_t>(share * static_cast<double>(levels.size() - 1))];
    };
    return {quantile(0.10), quantile(0.25) - quantile(0.05) <= kSteadyFloorDb};
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
           vadNoiseMarginDb >= 0.0f && vadNoiseMarginDb <= 60.0f;
}

FrontEnd::FrontEnd(const FrontEndConfig& config) : config_(config) {
    const uint32_t n = config_.frameLength;
    window_.resize(n);
    for (uint32_t i = 0; i < n; ++i) {
        window_[i] =
            static_cast<float>(0.54 - 0.46 * std::cos(2.0 * std::numbers::pi * i / (n - 1)));
    }

    // Triangles equally spaced on the mel scale, evaluated at each bin's true frequency.
    const uint32_t bins = config_.fftSize / 2 + 1;
    const float binHz = static_cast<float>(config_.sampleRate) / config_.fftSize;
    const float lowMel = HzToMel(config_.lowHz);
    const float highMel = HzToMel(config_.highHz);
    std::vector<float> edges(config_.filterCount + 2);
    for (size_t i = 0; i < edges.size(); ++i) {
        edges[i] = MelToHz(lowMel + (highMel - lowMel) * i / (config_.filterCount + 1));
    }
    for (uint32_t f = 0; f < config_.filterCount; ++f) {
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
        filterFirstBin_.push_back(first);
        filterCentres_.push_back(centre);
    }

    // Orthonormal DCT-II rows for the kept cepstra.
    const uint32_t filters = config_.filterCount;
    dct_.resize(config_.cepstra, filters);
    for (uint32_t k = 0; k < config_.cepstra; ++k) {
        const uint32_t q = config_.firstCepstrum + k;
        const double scale = std::sqrt((q == 0 ? 1.0 : 2.0) / filters);
        for (uint32_t j = 0; j < filters; ++j) {
            dct_(k, j) =
                static_cast<float>(scale * std::cos(std::numbers::pi * q * (j + 0.5) / filters));
        }
    }
}

size_t FrontEnd::FrameCount(size_t samples) const {
    if (samples < config_.frameLength) {
        return 0;
    }
    return 1 + (samples - config_.frameLength) / config_.frameShift;
}

std::vector<float> FrontEnd::FrameLevels(const int16_t* samples, size_t count) const {
    const size_t frames = FrameCount(count);
    std::vector<float> levels(frames);
    for (size_t t = 0; t < frames; ++t) {
        const int16_t* x = samples + t * config_.frameShift;
        double sum = 0.0;
        for (uint32_t i = 0; i < config_.frameLength; ++i) {
            sum += static_cast<double>(x[i]) * x[i];
        }
        const double meanSquare = sum / config_.frameLength / (32768.0 * 32768.0);
        levels[t] =
            meanSquare > 1e-20 ? static_cast<float>(10.0 * std::log10(meanSquare)) : -200.0f;
    }
    return levels;
}

std::vector<bool> FrontEnd::SpeechFrames(const std::vector<float>& levels) const {
    std::vector<bool> speech(levels.size(), false);
    if (levels.empty()) {
        return speech;
    }
    const float loudest = *std::max_element(levels.begin(), levels.end());
    float threshold = std::max(loudest - config_.vadRangeDb, config_.vadFloorDb);
    const NoiseFloor floor = FindNoiseFloor(levels);
    if (config_.vadNoiseMarginDb > 0.0f && floor.steady) {
        // A recording whose loudest frames do not rise that far above its floor has nothing
        // to tell speech from noise by (a steady tone, a monotone stretch of speech): the rule
        // then keeps the frames within the margin below the loudest.
        threshold =
            std::max(threshold, std::min(floor.levelDb, loudest - 2.0f * config_.vadNoiseMarginDb) +
                                    config_.vadNoiseMarginDb);
    }
    for (size_t t = 0; t < levels.size(); ++t) {
        speech[t] = levels[t] >= threshold;
    }
    return speech;
}

namespace {

// The FFT and its buffers for one pass over a recording. Eigen's FFT caches its plan inside the
// object, so each pass (each thread) has its own.
struct SpectrumWork {
    explicit SpectrumWork(uint32_t size) : padded(size, 0.0f) {
        fft.SetFlag(Eigen::FFT<float>::HalfSpectrum);
    }
    Eigen::FFT<float> fft;
    std::vector<float> padded;
    std::vector<std::complex<float>> spectrum;
};

void PowerSpectrumInto(const float* frame, uint32_t length, SpectrumWork& work,
                       std::vector<float>& power) {
    std::copy(frame, frame + length, work.padded.begin());
    work.fft.fwd(work.spectrum, work.padded);
    power.resize(work.padded.size() / 2 + 1);
    for (size_t b = 0; b < power.size(); ++b) {
        power[b] = std::norm(work.spectrum[b]);
    }
}

}  // namespace

std::vector<float> FrontEnd::PowerSpectrum(const float* frame) const {
    SpectrumWork work(config_.fftSize);
    std::vector<float> power;
    PowerSpectrumInto(frame, config_.frameLength, work, power);
    return power;
}

void FrontEnd::FilterbankEnergies(const std::vector<float>& power, float* energies) const {
    for (size_t f = 0; f < filters_.size(); ++f) {
        float sum = 0.0f;
        for (size_t i = 0; i < filters_[f].size(); ++i) {
            sum += filters_[f][i] * power[filterFirstBin_[f] + i];
        }
        energies[f] = sum;
    }
}

std::vector<float> FrontEnd::LogFilterbank(const std::vector<float>& power) const {
    std::vector<float> energies(filters_.size());
    FilterbankEnergies(power, energies.data());
    for (float& energy : energies) {
        energy = std::log(std::max(energy, kEnergyFloor));
    }
    return energies;
}

float FrontEnd::FilterCentreHz(uint32_t i) const {
    return filterCentres_.at(i);
}

FeatureMatrix FrontEnd::Compute(const int16_t* samples, size_t count,
                                RecordingTraits* traits) const {
    const size_t frames = FrameCount(count);
    const uint32_t c = config_.cepstra;
    if (frames == 0 || samples == nullptr) {
        return FeatureMatrix(0, config_.Dimension());
    }

    // Filterbank energies of every frame.
    const std::vector<float> levels = FrameLevels(samples, count);
    const std::vector<bool> speech = SpeechFrames(levels);
    FloatMatrix energies(frames, config_.filterCount);
    const float binHz = static_cast<float>(config_.sampleRate) / config_.fftSize;
    double outOfBand = 0.0, inBand = 0.0;
    std::vector<float> frame(config_.frameLength);
    SpectrumWork work(config_.fftSize);
    std::vector<float> power;
    for (size_t t = 0; t < frames; ++t) {
        const int16_t* x = samples + t * config_.frameShift;
        double mean = 0.0;
        for (uint32_t i = 0; i < config_.frameLength; ++i) {
            mean += x[i];
        }
        mean /= config_.frameLength;
        float previous = static_cast<float>(x[0] - mean);
        for (uint32_t i = 0; i < config_.frameLength; ++i) {
            const float value = static_cast<float>(x[i] - mean);
            frame[i] = (value - config_.preEmphasis * previous) * window_[i];
            previous = value;
        }
        PowerSpectrumInto(frame.data(), config_.frameLength, work, power);
        FilterbankEnergies(power, energies.row(static_cast<Eigen::Index>(t)).data());
        if (traits != nullptr && speech[t]) {
            for (size_t b = 1; b < power.size(); ++b) {
                const float hz = b * binHz;
                if (hz < 250.0f || hz > 3550.0f) {
                    outOfBand += power[b];
                } else if (hz >= 300.0f && hz <= 3400.0f) {
                    inBand += power[b];
                }
            }
        }
    }
    if (traits != nullptr) {
        double speechLevel = 0.0;
        size_t speechFrames = 0;
        for (size_t t = 0; t < frames; ++t) {
            if (speech[t]) {
                speechLevel += levels[t];
                ++speechFrames;
            }
        }
        const NoiseFloor noise = FindNoiseFloor(levels);
        traits->snrDb =
            speechFrames == 0 ? 0.0f
            : !noise.steady
                ? kMaxSnrDb
                : std::clamp(static_cast<float>(speechLevel / static_cast<double>(speechFrames)) -
                                 noise.levelDb,
                             0.0f, kMaxSnrDb);
        traits->outOfBandDb =
            inBand > 0.0 ? static_cast<float>(10.0 * std::log10(std::max(outOfBand, 1e-3) / inBand))
                         : 0.0f;
    }

    // Static cepstra of every frame.
    const FloatMatrix logEnergies = energies.cwiseMax(kEnergyFloor).array().log().matrix();
    FeatureMatrix statics = logEnergies * dct_.transpose();

    // Deltas by linear regression over ±deltaWindow frames, edges repeated; delta-deltas are
    // the deltas of the deltas.
    const uint32_t d = config_.Dimension();
    FeatureMatrix all(frames, d);
    all.leftCols(c) = statics;
    const int window = static_cast<int>(config_.deltaWindow);
    float norm = 0.0f;
    for (int k = 1; k <= window; ++k) {
        norm += 2.0f * k * k;
    }
    const int last = static_cast<int>(frames) - 1;
    for (uint32_t order = 1; order <= config_.deltaOrder; ++order) {
        const auto source = all.middleCols((order - 1) * c, c);
        for (int t = 0; t <= last; ++t) {
            Eigen::RowVectorXf delta = Eigen::RowVectorXf::Zero(c);
            for (int k = 1; k <= window; ++k) {
                delta += k * (source.row(std::min(t + k, last)) - source.row(std::max(t - k, 0)));
            }
            all.row(t).middleCols(order * c, c) = delta / norm;
        }
    }

    const auto kept = static_cast<Eigen::Index>(std::count(speech.begin(), speech.end(), true));
    FeatureMatrix out(kept, d);
    Eigen::Index row = 0;
    for (size_t t = 0; t < frames; ++t) {
        if (speech[t]) {
            out.row(row++) = all.row(t);
        }
    }
    return out;
}

void NormaliseRecording(FeatureMatrix& features, const FrontEndConfig& config) {
    if (config.warping != 0) {
        // The cepstra only: deltas carry no channel offset, and ranking them among the few
        // frames of a short recording would only add noise.
        FeatureMatrix statics = features.leftCols(config.cepstra);
        WarpFeatures(statics, config.normaliseWindow);
        features.leftCols(config.cepstra) = statics;
    } else {
        NormaliseSliding(features, config.normaliseWindow, config.varianceNormalise != 0);
    }
}

namespace {

// Standard normal quantile (Acklam's rational approximation, relative error below 1.2e-9).
double NormalQuantile(double p) {
    static constexpr double a[] = {-3.969683028665376e+01, 2.209460984245205e+02,
                                   -2.759285104469687e+02, 1.383577518672690e+02,
                                   -3.066479806614716e+01, 2.506628277459239e+00};
    static constexpr double b[] = {-5.447609879822406e+01, 1.615858368580409e+02,
                                   -1.556989798598866e+02, 6.680131188771972e+01,
                                   -1.328068155288572e+01};
    static constexpr double c[] = {-7.784894002430293e-03, -3.223964580411365e-01,
                                   -2.400758277161838e+00, -2.549732539343734e+00,
                                   4.374664141464968e+00,  2.938163982698783e+00};
    static constexpr double d[] = {7.784695709041462e-03, 3.224671290700398e-01,
                                   2.445134137142996e+00, 3.754408661907416e+00};
    constexpr double low = 0.02425;
    if (p < low) {
        const double q = std::sqrt(-2.0 * std::log(p));
        return (((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    }
    if (p > 1.0 - low) {
        const double q = std::sqrt(-2.0 * std::log(1.0 - p));
        return -(((((c[0] * q + c[1]) * q + c[2]) * q + c[3]) * q + c[4]) * q + c[5]) /
               ((((d[0] * q + d[1]) * q + d[2]) * q + d[3]) * q + 1.0);
    }
    const double q = p - 0.5;
    const double r = q * q;
    return (((((a[0] * r + a[1]) * r + a[2]) * r + a[3]) * r + a[4]) * r + a[5]) * q /
           (((((b[0] * r + b[1]) * r + b[2]) * r + b[3]) * r + b[4]) * r + 1.0);
}

}  // namespace

void WarpFeatures(FeatureMatrix& features, Eigen::Index window) {
    const Eigen::Index rows = features.rows();
    if (rows == 0) {
        return;
    }
    const Eigen::Index n = (window <= 0 || rows <= window) ? rows : window;
    // Quantiles of the 2n + 1 half-ranks a value can have among n: rank r (values below it,
    // ties counted half) maps to the quantile of (r + 1/2) / n.
    std::vector<float> quantiles(static_cast<size_t>(2 * n + 1));
    for (Eigen::Index h = 0; h <= 2 * n; ++h) {
        const double p = (0.5 * static_cast<double>(h) + 0.5) / static_cast<double>(n);
        quantiles[static_cast<size_t>(h)] =
            static_cast<float>(NormalQuantile(std::clamp(p, 0.5 / n, 1.0 - 0.5 / n)));
    }
    const FeatureMatrix source = features;
    std::vector<float> column(static_cast<size_t>(rows));
    for (Eigen::Index j = 0; j < features.cols(); ++j) {
        for (Eigen::Index t = 0; t < rows; ++t) {
            column[static_cast<size_t>(t)] = source(t, j);
        }
        for (Eigen::Index t = 0; t < rows; ++t) {
            const Eigen::Index start = std::clamp<Eigen::Index>(t - n / 2, 0, rows - n);
            const float x = column[static_cast<size_t>(t)];
            Eigen::Index below = 0, equal = 0;
            for (Eigen::Index k = start; k < start + n; ++k) {
                const float y = column[static_cast<size_t>(k)];
                below += y < x;
                equal += y == x;
            }
            // `equal` counts the value itself; the other equal values count half.
            features(t, j) = quantiles[static_cast<size_t>(2 * below + (equal - 1))];
        }
    }
}

void NormaliseFeatures(FeatureMatrix& features, bool variance) {
    if (features.rows() == 0) {
        return;
    }
    const Eigen::RowVectorXf mean = features.colwise().mean();
    features.rowwise() -= mean;
    if (!variance) {
        return;
    }
    const Eigen::RowVectorXf deviation =
        (features.array().square().colwise().sum() / static_cast<float>(features.rows()))
            .sqrt()
            .max(1e-3f)
            .matrix();
    features.array().rowwise() /= deviation.array();
}

void NormaliseSliding(FeatureMatrix& features, Eigen::Index window, bool variance) {
    const Eigen::Index rows = features.rows();
    if (window <= 0 || rows <= window) {
        NormaliseFeatures(features, variance);
        return;
    }
    // Prefix sums in double, so that long recordings keep their precision.
    const Eigen::Index d = features.cols();
    DoubleMatrix sums = DoubleMatrix::Zero(rows + 1, d);
    DoubleMatrix squares = DoubleMatrix::Zero(rows + 1, d);
    for (Eigen::Index t = 0; t < rows; ++t) {
        const Eigen::RowVectorXd x = features.row(t).cast<double>();
        sums.row(t + 1) = sums.row(t) + x;
        squares.row(t + 1) = squares.row(t) + x.cwiseAbs2();
    }
    for (Eigen::Index t = 0; t < rows; ++t) {
        const Eigen::Index start = std::clamp<Eigen::Index>(t - window / 2, 0, rows - window);
        const Eigen::RowVectorXd mean = (sums.row(start + window) - sums.row(start)) / window;
        Eigen::RowVectorXd x = features.row(t).cast<double>() - mean;
        if (variance) {
            const Eigen::RowVectorXd meanSquare =
                (squares.row(start + window) - squares.row(start)) / window;
            x = x.cwiseQuotient((meanSquare - mean.cwiseAbs2()).cwiseMax(1e-6).cwiseSqrt());
        }
        features.row(t) = x.cast<float>();
    }
}

}  // namespace kestrune
