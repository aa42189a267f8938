// Background training and the engine's directories.
#include "core/models/training.h"

#include <map>
#include <random>
#include <system_error>

#include "core/contract/names.h"
#include "core/models/model_files.h"

namespace kestrune {

std::vector<LabelledFeatures> TrainingSessions(const FrontEnd& frontEnd,
                                               const std::vector<LabelledRecording>& recordings,
                                               uint32_t copies) {
    std::vector<LabelledFeatures> sessions;
    for (const LabelledRecording& recording : recordings) {
        sessions.push_back({recording.label,
                            frontEnd.Compute(recording.samples.data(), recording.samples.size())});
    }
    std::mt19937 random(20261208);
    for (const LabelledRecording& recording : recordings) {
        std::vector<const Samples*> others;
        for (const LabelledRecording& other : recordings) {
            if (other.label != recording.label) {
                others.push_back(&other.samples);
            }
        }
        for (uint32_t copy = 0; copy < copies; ++copy) {
            const Samples degraded =
                DegradedCopy(recording.samples, static_cast<int>(copy), others, random);
            sessions.push_back(
                {recording.label, frontEnd.Compute(degraded.data(), degraded.size())});
        }
    }
    return sessions;
}

BackgroundModel TrainBackground(const std::vector<LabelledFeatures>& recordings,
                                const BackgroundOptions& options, const EmProgress& progress) {
    Eigen::Index rows = 0;
    for (const LabelledFeatures& recording : recordings) {
        rows += recording.frames.rows();
    }
    FeatureMatrix pool(rows, options.frontEnd.Dimension());
    Eigen::Index row = 0;
    for (const LabelledFeatures& recording : recordings) {
        FeatureMatrix frames = recording.frames;
        NormaliseRecording(frames, options.frontEnd);
        pool.middleRows(row, frames.rows()) = frames;
        row += frames.rows();
    }
    BackgroundModel model;
    model.frontEnd = options.frontEnd;
    model.gmm = TrainGmm(pool, options.em, progress);
    model.topComponents =
        std::min<uint32_t>(options.topComponents, static_cast<uint32_t>(model.gmm.Components()));
    return model;
}

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
        const EnrollmentSpeech prepared =
            PrepareEnrollmentSpeech(ubm.frontEnd(), speech[labels[chosen[k]]]);
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

namespace {

bool CreateDirectories(const std::filesystem::path& directory, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(directory, code);
    if (code) {
        error = "cannot create " + PathUtf8(directory) + ": " + code.message();
        return false;
    }
    return true;
}

}  // namespace

bool WriteBackgroundDirectory(const std::filesystem::path& directory, const BackgroundModel& model,
                              std::string& error) {
    return CreateDirectories(directory, error) &&
           WriteFileAtomically(directory / kBackgroundFileName, EncodeBackground(model), error);
}

bool ReadBackground(const std::filesystem::path& path, std::shared_ptr<const Background>& ubm,
                    std::string& error) {
    std::error_code code;
    const std::filesystem::path file =
        std::filesystem::is_directory(path, code) ? path / kBackgroundFileName : path;
    std::vector<uint8_t> bytes;
    BackgroundModel model;
    uint64_t fingerprint = 0;
    if (!ReadWholeFile(file, kMaxModelFileBytes, bytes, error) ||
        !DecodeBackground(bytes, model, fingerprint, error)) {
        error = PathUtf8(file) + ": " + error;
        return false;
    }
    ubm = std::make_shared<const Background>(std::move(model), fingerprint);
    return true;
}

bool ValidTargetName(const std::string& name) {
    return !name.empty() && name != "." && name != ".." && name.size() <= 255 &&
           name.find_first_of(std::string("/\\\0", 3)) == std::string::npos;
}

bool WriteTargetModel(const std::filesystem::path& models, const std::string& name,
                      const TargetModel& model, std::string& error) {
    if (!ValidTargetName(name)) {
        error = "not a usable target name: '" + name + "'";
        return false;
    }
    const std::filesystem::path directory =
        models / std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size());
    return CreateDirectories(directory, error) &&
           WriteFileAtomically(directory / kTargetFileName, EncodeTarget(model), error);
}

}  // namespace kestrune
