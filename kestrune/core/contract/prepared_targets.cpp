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
    // Every model's means of one kind, stacked (TargetBank's layout); the models' own copies
    // are released as they are taken.
    const auto stack = [&](std::array<FloatMatrix, kConditions> TargetModel::*kind,
                           const DiagonalGmm& gmm) {
        const Eigen::Index m = gmm.Components();
        const auto count = static_cast<Eigen::Index>(models.size());
        std::array<FloatMatrix, kConditions> means;
        for (size_t c = 0; c < kConditionCount; ++c) {
            means[c].resize(count * m, gmm.Dimension());
            for (Eigen::Index t = 0; t < count; ++t) {
                FloatMatrix& model = (models[static_cast<size_t>(t)]->*kind)[c];
                means[c].middleRows(t * m, m) = model;
                model = FloatMatrix();
            }
        }
        return means;
    };
    const Background* companion = ubm.companion();
    if (companion == nullptr) {
        return ConditionBanks(ubm.gmm(), stack(&TargetModel::means, ubm.gmm()));
    }
    return ConditionBanks(ubm.gmm(), stack(&TargetModel::means, ubm.gmm()), companion->gmm(),
                          stack(&TargetModel::companionMeans, companion->gmm()));
}

size_t BytesOf(const PreparedTargets& prepared) {
    size_t bytes = sizeof(PreparedTargets);
    for (size_t c = 0; c < kConditionCount; ++c) {
        bytes += prepared.banks.banks[c].Bytes() + prepared.banks.companion[c].Bytes();
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

    std::array<std::vector<TargetBank::Pick>, kConditions> picks, companionPicks;
    Eigen::Index freshTarget = 0;
    int32_t target = 0;
    for (size_t i = 0; i < sources.size(); ++i) {
        const TargetSource& source = sources[i];
        if (source.model != nullptr) {
            for (size_t c = 0; c < kConditionCount; ++c) {
                picks[c].push_back({&fresh.banks[c], freshTarget});
                companionPicks[c].push_back({&fresh.companion[c], freshTarget});
            }
            ++freshTarget;
            prepared->genuine.push_back(std::move(source.model->genuine));
        } else if (source.prepared != nullptr && source.target >= 0) {
            for (size_t c = 0; c < kConditionCount; ++c) {
                picks[c].push_back({&source.prepared->banks.banks[c], source.target});
                companionPicks[c].push_back({&source.prepared->banks.companion[c], source.target});
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
            if (ubm.companion() != nullptr) {
                prepared->banks.companion[c] = TargetBank::Gather(companionPicks[c]);
            }
        }
    }
    prepared->pooledGenuine = PoolGenuineSamples(prepared->genuine);
    prepared->bytes = BytesOf(*prepared);
    return prepared;
}

}  // namespace kestrune
