// Background training and the engine's directories.
#include "core/training.h"

#include <random>
#include <system_error>

#include "core/model_files.h"
#include "core/names.h"

namespace kestrune {

void HoldOutImpostorSpeech(std::vector<LabelledFeatures>& recordings, double share,
                           std::vector<LabelledFeatures>& heldOut) {
    std::mt19937 random(20240607);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<LabelledFeatures> kept;
    for (LabelledFeatures& recording : recordings) {
        (uniform(random) < share ? heldOut : kept).push_back(std::move(recording));
    }
    recordings = std::move(kept);
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
        NormaliseSliding(frames, options.frontEnd.normaliseWindow,
                         options.frontEnd.varianceNormalise != 0);
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

bool WriteBackgroundDirectory(const std::filesystem::path& directory, const BackgroundModel& model,
                              const std::vector<LabelledFeatures>& impostors, std::string& error) {
    std::error_code code;
    std::filesystem::create_directories(directory, code);
    if (code) {
        error = "cannot create " + PathUtf8(directory) + ": " + code.message();
        return false;
    }
    return WriteFileAtomically(directory / kBackgroundFileName, EncodeBackground(model), error) &&
           WriteFileAtomically(directory / kImpostorFileName,
                               EncodeImpostors(BackgroundFingerprint(model), impostors), error);
}

bool ReadBackgroundDirectory(const std::filesystem::path& directory,
                             std::shared_ptr<const Background>& ubm,
                             std::vector<LabelledFeatures>& impostors, std::string& error) {
    std::vector<uint8_t> bytes;
    BackgroundModel model;
    uint64_t fingerprint = 0;
    const std::filesystem::path modelFile = directory / kBackgroundFileName;
    if (!ReadWholeFile(modelFile, kMaxModelFileBytes, bytes, error) ||
        !DecodeBackground(bytes, model, fingerprint, error)) {
        error = PathUtf8(modelFile) + ": " + error;
        return false;
    }
    uint64_t impostorFingerprint = 0;
    const std::filesystem::path impostorFile = directory / kImpostorFileName;
    if (!ReadWholeFile(impostorFile, kMaxImpostorFileBytes, bytes, error) ||
        !DecodeImpostors(bytes, impostorFingerprint, impostors, error)) {
        error = PathUtf8(impostorFile) + ": " + error;
        return false;
    }
    if (impostorFingerprint != fingerprint ||
        (!impostors.empty() && impostors[0].frames.cols() != model.gmm.Dimension())) {
        error = PathUtf8(impostorFile) + ": belongs to another background model";
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
    std::error_code code;
    std::filesystem::create_directories(directory, code);
    if (code) {
        error = "cannot create " + PathUtf8(directory) + ": " + code.message();
        return false;
    }
    return WriteFileAtomically(directory / kTargetFileName, EncodeTarget(model), error);
}

}  // namespace kestrune
