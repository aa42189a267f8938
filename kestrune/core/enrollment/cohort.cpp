// Cohort models for test normalisation.
#include "core/enrollment/cohort.h"

#include <algorithm>
#include <map>
#include <memory>
#include <string>

#include "core/scoring/background.h"

namespace kestrune {

std::vector<std::vector<size_t>> PoolCohortSpeakers(const std::vector<CohortCandidate>& candidates,
                                                    Eigen::Index minimumFrames) {
    std::vector<std::vector<size_t>> pools;
    size_t runStart = 0;      // the first pool of the current run of poolable candidates
    Eigen::Index pooled = 0;  // the speech of the last pool
    bool open = false;        // the last pool is poolable and still short
    auto endRun = [&] {
        if (open && pools.size() >= runStart + 2) {
            std::vector<size_t> rest = std::move(pools.back());
            pools.pop_back();
            pools.back().insert(pools.back().end(), rest.begin(), rest.end());
        }
        open = false;
    };
    for (size_t i = 0; i < candidates.size(); ++i) {
        if (!candidates[i].poolable) {
            endRun();
            pools.push_back({i});
            runStart = pools.size();
            continue;
        }
        if (!open) {
            pools.emplace_back();
            pooled = 0;
        }
        pools.back().push_back(i);
        pooled += candidates[i].frames;
        open = pooled < minimumFrames;
    }
    endRun();
    return pools;
}

void AddCohort(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
               uint32_t speakers, const EnrollmentProgress& progress) {
    const Background ubm(model, 0);
    // Each background speaker's recordings, in the order of first mention; a speaker is
    // poolable when none of its files was named (only those are measured).
    struct Speaker {
        std::vector<Samples> speech;
        CohortCandidate candidate;
    };
    std::vector<std::string> labels;
    std::map<std::string, Speaker> speakersByLabel;
    for (const LabelledRecording& recording : recordings) {
        auto [entry, added] = speakersByLabel.try_emplace(recording.label);
        if (added) {
            labels.push_back(recording.label);
        }
        Speaker& speaker = entry->second;
        speaker.speech.push_back(recording.samples);
        speaker.candidate.poolable = (added || speaker.candidate.poolable) && recording.unlabelled;
        if (speaker.candidate.poolable) {
            speaker.candidate.frames +=
                ubm.RawFeatures(recording.samples.data(), recording.samples.size()).rows();
        }
    }
    std::vector<CohortCandidate> inOrder;
    for (const std::string& label : labels) {
        inOrder.push_back(speakersByLabel[label].candidate);
    }
    const std::vector<std::vector<size_t>> pools = PoolCohortSpeakers(inOrder, kCohortSpeechFrames);
    const auto poolable = static_cast<size_t>(std::count_if(
        inOrder.begin(), inOrder.end(), [](const CohortCandidate& c) { return c.poolable; }));
    if (progress && poolable > 0) {
        const size_t named = inOrder.size() - poolable;
        progress(std::to_string(poolable) + " files without a speaker pooled into " +
                 std::to_string(pools.size() - named) + " cohort speakers (" +
                 std::to_string(kCohortSpeechFrames / 100) +
                 " s of speech or more each where the files hold that much)");
    }
    const std::vector<size_t> chosen = SpreadEvenly(pools.size(), speakers);
    const Eigen::Index m = model.gmm.Components();
    const Eigen::Index d = model.gmm.Dimension();
    const auto rows = static_cast<Eigen::Index>(chosen.size()) * m;
    for (FloatMatrix& means : model.cohortMeans) {
        means.resize(rows, d);
    }
    const EnrollmentOptions defaults;
    for (size_t k = 0; k < chosen.size(); ++k) {
        std::vector<Samples> pool;
        for (size_t speaker : pools[chosen[k]]) {
            const std::vector<Samples>& own = speakersByLabel[labels[speaker]].speech;
            pool.insert(pool.end(), own.begin(), own.end());
        }
        const EnrollmentSpeech prepared = PrepareEnrollmentSpeech(ubm, pool);
        const std::array<FloatMatrix, kConditions> means =
            AdaptConditionModels(ubm, prepared, defaults.relevance);
        for (int c = 0; c < kConditions; ++c) {
            model.cohortMeans[static_cast<size_t>(c)].middleRows(static_cast<Eigen::Index>(k) * m,
                                                                 m) = means[static_cast<size_t>(c)];
        }
        if (progress && ((k + 1) * 10 / chosen.size() > k * 10 / chosen.size())) {
            progress("cohort models " + std::to_string(k + 1) + "/" +
                     std::to_string(chosen.size()));
        }
    }
}

void AddCompanion(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
                  const BackgroundOptions& options, const EnrollmentProgress& progress) {
    const BackgroundOptions chosen = CompanionOptions(options);
    if (progress) {
        progress(std::string("the companion model, over ") +
                 (chosen.frontEnd.linearFilters != 0 ? "linear" : "mel") + "-frequency cepstra");
    }
    BackgroundModel companion =
        TrainBackground(TrainingSessions(FrontEnd(chosen.frontEnd), recordings, chosen.copies),
                        chosen, [&](uint32_t components, uint32_t pass, uint32_t passes) {
                            if (progress) {
                                progress(std::to_string(components) + " components, EM pass " +
                                         std::to_string(pass) + "/" + std::to_string(passes));
                            }
                        });
    AddCohort(companion, recordings, chosen.cohortSpeakers, progress);
    model.companion = std::make_shared<const BackgroundModel>(std::move(companion));
    model.companionWeight = kCompanionWeight;
}

}  // namespace kestrune
