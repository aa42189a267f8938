// libFuzzer target for the engine's front end: the input, read as 16-bit samples, goes through
// framing, speech detection (frame levels without the recording's mean), the filterbank and
// cepstra, deltas, the recording's traits and its normalisation, as a trial or an enrollment
// recording does. Whatever the samples, nothing may touch memory it does not own, and every
// feature and trait must be a finite number in the range the scoring expects.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "check.h"
#include "core/frontend/front_end.h"
#include "core/frontend/normalisation.h"
#include "core/frontend/recording_traits.h"

namespace {

using fuzzcheck::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const kestrune::FrontEnd frontEnd{kestrune::FrontEndConfig{}};
    std::vector<int16_t> samples(size / 2);
    if (!samples.empty()) {
        std::memcpy(samples.data(), data, samples.size() * sizeof(int16_t));
    }
    kestrune::RecordingTraits traits;
    kestrune::FeatureMatrix features = frontEnd.Compute(samples.data(), samples.size(), &traits);
    Check(features.cols() == static_cast<Eigen::Index>(frontEnd.config().Dimension()),
          "every frame has the front end's dimension");
    Check(features.allFinite(), "features are finite");
    Check(
        std::isfinite(traits.snrDb) && traits.snrDb >= 0.0f && traits.snrDb <= kestrune::kMaxSnrDb,
        "the SNR lies in 0 to 40 dB");
    Check(std::isfinite(traits.outOfBandDb) && std::isfinite(traits.levelSpreadDb) &&
              traits.levelSpreadDb >= 0.0f,
          "the out-of-band level and the level spread are finite");
    kestrune::NormaliseRecording(features, frontEnd.config());
    Check(features.allFinite(), "normalised features are finite");
    return 0;
}
