// Preparing targets: new models through TargetBank's arithmetic, the others copied from the
// preparations that hold them.
#include "core/contract/prepared_targets.h"

#include <utility>

namespace kestrune {
namespace {

constexpr auto kConditionCount = static_cast<size_t>(kConditions);

// The models read from files, prepared together in source order.
ConditionBanks PrepareNewModels(const Background& ubm, const std::vector<TargetModel*>& models) {
    if (models.empty()) {
        return {};
    }
    const Eigen::Index m = ubm.gmm().Components();
    const Eigen::Index d = ubm.gmm().Dimension();
    const auto count = static_cast<Eigen::Index>(models.size());
    std::array<FloatMatrix, kConditions> means;
    for (size_t c = 0; c < kConditionCount; ++c) {
        means[c].resize(count * m, d);
        for (Eigen::Index t = 0; t < count; ++t) {
            FloatMatrix& model = models[static_cast<size_t>(t)]->means[c];
            means[c].middleRows(t * m, m) = model;
            model = FloatMatrix();  // the copy is all that is needed from here on
        }
    }
    return ConditionBanks(ubm.gmm(), means);
}

size_t BytesOf(const PreparedTargets& prepared) {
    size_t bytes = sizeof(PreparedTargets);
    for (const TargetBank& bank : prepared.banks.banks) {
        bytes += static_cast<size_t>(bank.Blocks() * TargetBank::kLanes * bank.Components() *
                                     (bank.Dimension() + 1)) *
                 sizeof(float);
    }
    for (const std::vector<GenuineSample>& samples : prepared.genuine) {
        bytes += sizeof(samples) + samples.size() * sizeof(GenuineSample);
    }
    bytes += prepared.pooledGenuine.size() * sizeof(GenuineSample);
    for (const FileIdentity& file : prepared.files) {
        bytes += sizeof(FileIdentity) + sizeof(int32_t) +
                 file.path.size() * sizeof(std::filesystem::path::value_type);
    }
    return bytes;
}

}  // namespace

std::shared_ptr<const PreparedTargets> PrepareTargets(const Background& ubm,
                                                      std::vector<FileIdentity> files,
                                                      const std::vector<TargetSource>& sources) {
    auto prepared = std::make_shared<PreparedTargets>();
    prepared->ubmFingerprint = ubm.fingerprint();
    prepared->files = std::move(files);
    prepared->targetOf.assign(sources.size(), kUnusableTarget);

    std::vector<TargetModel*> models;
    for (const TargetSource& source : sources) {
        if (source.model != nullptr) {
            models.push_back(source.model);
        }
    }
    ConditionBanks fresh = PrepareNewModels(ubm, models);

    std::array<std::vector<TargetBank::Pick>, kConditions> picks;
    Eigen::Index freshTarget = 0;
    int32_t target = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        const TargetSource& source = sources[i];
        if (source.model != nullptr) {
            for (size_t c = 0; c < kConditionCount; ++c) {
                picks[c].push_back({&fresh.banks[c], freshTarget});
            }
            ++freshTarget;
            prepared->genuine.push_back(std::move(source.model->genuine));
        } else if (source.prepared != nullptr && source.target >= 0) {
            for (size_t c = 0; c < kConditionCount; ++c) {
                picks[c].push_back({&source.prepared->banks.banks[c], source.target});
            }
            prepared->genuine.push_back(
                source.prepared->genuine[static_cast<size_t>(source.target)]);
        } else {
            if (source.unavailable) {
                prepared->targetOf[i] = kUnavailableTarget;
                prepared->anyUnavailable = true;
            }
            continue;
        }
        prepared->targetOf[i] = target++;
    }
    if (static_cast<size_t>(target) == models.size()) {
        prepared->banks = std::move(fresh);  // all new, in order: nothing to copy
    } else {
        for (size_t c = 0; c < kConditionCount; ++c) {
            prepared->banks.banks[c] = TargetBank::Gather(picks[c]);
        }
    }
    prepared->pooledGenuine = PoolGenuineSamples(prepared->genuine);
    prepared->bytes = BytesOf(*prepared);
    return prepared;
}

}  // namespace kestrune
