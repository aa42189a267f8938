// kestrune train-ubm: a background model from labelled WAVE files.
#include <filesystem>
#include <string>

#include "bridge/name_escape.h"
#include "core/contract/model_directories.h"
#include "core/enrollment/cohort.h"
#include "core/frontend/front_end_fields.h"
#include "core/models/background_training.h"
#include "core/models/model_files.h"
#include "tool/arguments.h"
#include "tool/commands.h"
#include "tool/shown_path.h"

namespace kestrune {
namespace {

// Background speech needed per mixture component, in speech frames, for EM to have something
// to estimate.
constexpr Eigen::Index kFramesPerComponent = 20;

Eigen::Index TotalFrames(const std::vector<LabelledFeatures>& sessions) {
    Eigen::Index frames = 0;
    for (const LabelledFeatures& session : sessions) {
        frames += session.frames.rows();
    }
    return frames;
}

}  // namespace

int TrainUbmCommand(const std::vector<std::string>& args, std::ostream& log) {
    BackgroundOptions options;
    std::string out, label;
    std::vector<std::string> files, labels;
    std::vector<bool> labelled;
    bool topGiven = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const OptionTaken taken =
            TakeOption(BackgroundOptionFields(), options, args, i, "train-ubm", log);
        if (taken != OptionTaken::kNotOption) {
            if (taken == OptionTaken::kRefused) {
                return kUsageError;
            }
            topGiven |= args[i - 1] == "--top";
            continue;
        }
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--out" && hasValue) {
            out = args[++i];
        } else if (arg == "--set" && hasValue) {
            const std::string& setting = args[++i];
            const size_t equals = setting.find('=');
            std::string error = "no '=' in " + setting;
            if (equals == std::string::npos ||
                !SetFrontEndField(options.frontEnd, setting.substr(0, equals),
                                  setting.substr(equals + 1), error)) {
                log << "train-ubm: --set takes NAME=VALUE: " << error << "\n";
                return kUsageError;
            }
        } else if (arg == "--speaker" && hasValue) {
            label = args[++i];
        } else if (arg.rfind("--", 0) == 0) {
            log << "train-ubm: unknown or incomplete option " << jkestrune::EscapedName(arg) << "\n"
                << CommandUsage("train-ubm");
            return kUsageError;
        } else {
            files.push_back(arg);
            labels.push_back(label.empty() ? std::filesystem::path(arg).filename().string()
                                           : label);
            labelled.push_back(!label.empty());
        }
    }
    if (out.empty() || files.empty()) {
        log << "train-ubm: needs --out DIR and at least one FILE\n" << CommandUsage("train-ubm");
        return kUsageError;
    }
    if (!options.frontEnd.Valid()) {
        log << "train-ubm: the front-end constants given with --set cannot be used together\n";
        return kUsageError;
    }
    if (options.components != 0 &&
        ((topGiven && options.topComponents > options.components) ||
         (options.companion != 0 && options.companionTopComponents > options.components))) {
        log << "train-ubm: --top and --companion-top cannot exceed --components\n";
        return kUsageError;
    }

    std::vector<Samples> audio;
    if (!ReadAudio(files, audio, "train-ubm", log)) {
        return kFailure;
    }
    std::vector<LabelledRecording> recordings;
    for (size_t i = 0; i < files.size(); ++i) {
        recordings.push_back({labels[i], std::move(audio[i]), !labelled[i]});
    }
    if (options.copies > 0) {
        log << "train-ubm: making " << options.copies
            << " degraded copies of each file (telephone channels, white noise, babble)\n";
    }
    const std::vector<LabelledFeatures> sessions =
        TrainingSessions(FrontEnd(options.frontEnd), recordings, options.copies);
    const Eigen::Index clean = TotalFrames(
        std::vector<LabelledFeatures>(sessions.begin(), sessions.begin() + files.size()));
    options.em.components =
        options.components != 0 ? options.components : ComponentsForSpeech(clean);
    if (options.components == 0) {
        log << "train-ubm: " << options.em.components << " components for " << clean / 100.0
            << " s of speech (--components sets another number)\n";
        if ((topGiven && options.topComponents > options.em.components) ||
            (options.companion != 0 && options.companionTopComponents > options.em.components)) {
            log << "train-ubm: --top or --companion-top exceeds the " << options.em.components
                << " components chosen; give --components too\n";
            return kUsageError;
        }
    }
    if (clean < kFramesPerComponent * static_cast<Eigen::Index>(options.em.components)) {
        log << "train-ubm: " << clean / 100.0 << " s of speech is too little for "
            << options.em.components << " components (at least "
            << kFramesPerComponent * options.em.components / 100.0 << " s)\n";
        return kFailure;
    }
    log << "train-ubm: training on " << clean / 100.0 << " s of speech in " << files.size()
        << " files, " << TotalFrames(sessions) / 100.0 << " s with the copies\n";
    const auto progress = [&](const std::string& step) { log << "train-ubm: " << step << "\n"; };
    BackgroundModel model = TrainBackground(
        sessions, options, [&](uint32_t components, uint32_t pass, uint32_t passes) {
            progress(std::to_string(components) + " components, EM pass " + std::to_string(pass) +
                     "/" + std::to_string(passes));
        });
    AddCohort(model, recordings, options.cohortSpeakers, progress);
    if (options.companion != 0) {
        AddCompanion(model, recordings, options, progress);
    }
    std::string error;
    if (!WriteBackgroundDirectory(out, model, error)) {
        log << "train-ubm: " << error << "\n";
        return kFailure;
    }
    log << "train-ubm: wrote " << ShownPath(std::filesystem::path(out) / kBackgroundFileName)
        << "\n";
    return 0;
}

}  // namespace kestrune
