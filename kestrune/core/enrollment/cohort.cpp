// Cohort models for test normalisation.
#include "core/enrollment/cohort.h"

#include <map>
#include <memory>
#include <string>

#include "core/scoring/background.h"

namespace kestrune {

void AddCohort(BackgroundModel& model, const std::vector<LabelledRecording>& recordings,
               uint32_t speakers, const EnrollmentProgress& progress) {
    std::vector<std::string> labels;
    std::map<std::string, std::vector<Samples>> speech;
    for (const LabelledRecording& recording : recordings) {
        auto [entry, added] = speech.try_emplace(recording.label);
        if (added) {
            labels.push_back(recording.label);
        }
        entry->second.push_back(recording.samples);
    }
    const Background ubm(model, 0);
    const std::vector<size_t> chosen = SpreadEvenly(labels.size(), speakers);
    const Eigen::Index m = model.gmm.Components();
    const Eigen::Index d = model.gmm.Dimension();
    const auto rows = static_cast<Eigen::Index>(chosen.size()) * m;
    for (FloatMatrix& means : model.cohortMeans) {
        means.resize(rows, d);
    }
    const EnrollmentOptions defaults;
    for (size_t k = 0; k < chosen.size(); ++k) {
        const EnrollmentSpeech prepared = PrepareEnrollmentSpeech(ubm, speech[labels[chosen[k]]]);
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
