// kestrune train-ubm and kestrune enroll.
#include "tool/commands.h"

#include <charconv>
#include <cstdint>
#include <filesystem>
#include <memory>

#include "core/model_files.h"
#include "core/training.h"
#include "tool/audio_input.h"

namespace kestrune {
namespace {

constexpr int kUsageError = 2;
constexpr int kFailure = 1;

// Background speech needed per mixture component, in speech frames, for EM to have something
// to estimate.
constexpr Eigen::Index kFramesPerComponent = 20;

// Share of the background recordings kept out of training as impostor speech. A quarter brought
// the false-acceptance estimates close to the rates measured on unseen trials, at a cost in
// identification within the noise of the validation trials.
constexpr double kDefaultHoldOut = 0.25;

template <typename T>
bool ParseNumber(const std::string& text, T& value) {
    const char* end = text.data() + text.size();
    const auto [ptr, code] = std::from_chars(text.data(), end, value);
    return code == std::errc() && ptr == end;
}

bool ParseDouble(const std::string& text, double& value) {
    try {
        size_t used = 0;
        value = std::stod(text, &used);
        return used == text.size();
    } catch (...) {
        return false;
    }
}

// Reads the recordings' speech frames, reporting every tenth of the way.
bool ReadFeatures(const FrontEnd& frontEnd, const std::vector<std::string>& files,
                  const std::vector<std::string>& labels, std::vector<LabelledFeatures>& out,
                  const char* command, std::ostream& log) {
    size_t reported = 0;
    for (size_t i = 0; i < files.size(); ++i) {
        std::vector<int16_t> samples;
        std::string error;
        if (!ReadRecording(files[i], frontEnd.config().sampleRate, samples, error)) {
            log << command << ": " << error << "\n";
            return false;
        }
        out.push_back({labels[i], frontEnd.Compute(samples.data(), samples.size())});
        if ((i + 1) * 10 / files.size() > reported || i + 1 == files.size()) {
            reported = (i + 1) * 10 / files.size();
            log << command << ": read " << (i + 1) << "/" << files.size() << " files\n";
        }
    }
    return true;
}

Eigen::Index TotalFrames(const std::vector<LabelledFeatures>& recordings) {
    Eigen::Index frames = 0;
    for (const LabelledFeatures& recording : recordings) {
        frames += recording.frames.rows();
    }
    return frames;
}

}  // namespace

std::string UsageText() {
    return R"(usage:
  kestrune train-ubm --out DIR [--components N] [--top N] [--hold-out SHARE]
                     [[--speaker LABEL] FILE...]...
  kestrune enroll --ubm DIR --models DIR --name NAME [--speaker LABEL] [--relevance R] FILE...
  kestrune --help

train-ubm  trains a background model (UBM) from WAVE files and writes DIR/ubm.krn and
           DIR/impostors.krn (the speech of the held-out files, against which enrollment
           measures each target's false-acceptance rates).
           --components N  mixture components (default 64)
           --top N         components evaluated per frame when scoring (default 5)
           --hold-out S    share of the files kept out of training as impostor speech
                           (default 0.25)
           --speaker LABEL the speaker of the files that follow; a file before any --speaker
                           is its own speaker. Enrollment leaves the target's own speaker out
                           of its impostors, so label background speakers who are also targets.
enroll     adapts a target model from WAVE files into DIR/NAME/target.krn.
           --ubm DIR       a directory written by train-ubm
           --models DIR    the models directory; NAME becomes a subdirectory of it
           --speaker LABEL the target's label in the background (default: NAME)
           --relevance R   MAP relevance factor (default 2)

Files may be 16-bit PCM, A-law or mu-law WAVE at any rate and channel count; they are mixed to
mono and resampled to 8 kHz.
)";
}

int TrainUbmCommand(const std::vector<std::string>& args, std::ostream& log) {
    BackgroundOptions options;
    std::string out;
    std::string label;
    std::vector<std::string> files;
    std::vector<std::string> labels;
    bool topGiven = false;
    double holdOut = kDefaultHoldOut;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--out" && hasValue) {
            out = args[++i];
        } else if (arg == "--components" && hasValue) {
            if (!ParseNumber(args[++i], options.em.components) || options.em.components < 1 ||
                options.em.components > kMaxComponents) {
                log << "train-ubm: --components takes 1 to " << kMaxComponents << "\n";
                return kUsageError;
            }
        } else if (arg == "--top" && hasValue) {
            if (!ParseNumber(args[++i], options.topComponents) || options.topComponents < 1) {
                log << "train-ubm: --top takes a positive number\n";
                return kUsageError;
            }
            topGiven = true;
        } else if (arg == "--hold-out" && hasValue) {
            if (!ParseDouble(args[++i], holdOut) || !(holdOut >= 0.0) || holdOut >= 1.0) {
                log << "train-ubm: --hold-out takes a share from 0 to below 1\n";
                return kUsageError;
            }
        } else if (arg == "--speaker" && hasValue) {
            label = args[++i];
        } else if (arg.rfind("--", 0) == 0) {
            log << "train-ubm: unknown or incomplete option " << arg << "\n" << UsageText();
            return kUsageError;
        } else {
            files.push_back(arg);
            labels.push_back(label.empty() ? std::filesystem::path(arg).filename().string()
                                           : label);
        }
    }
    if (out.empty() || files.empty()) {
        log << "train-ubm: needs --out DIR and at least one FILE\n" << UsageText();
        return kUsageError;
    }
    if (topGiven && options.topComponents > options.em.components) {
        log << "train-ubm: --top cannot exceed --components\n";
        return kUsageError;
    }

    const FrontEnd frontEnd(options.frontEnd);
    std::vector<LabelledFeatures> recordings;
    if (!ReadFeatures(frontEnd, files, labels, recordings, "train-ubm", log)) {
        return kFailure;
    }
    std::vector<LabelledFeatures> impostors;
    HoldOutImpostorSpeech(recordings, holdOut, impostors);
    const Eigen::Index frames = TotalFrames(recordings);
    if (frames < kFramesPerComponent * static_cast<Eigen::Index>(options.em.components)) {
        log << "train-ubm: " << frames / 100.0 << " s of speech is too little for "
            << options.em.components << " components (at least "
            << kFramesPerComponent * options.em.components / 100.0 << " s)\n";
        return kFailure;
    }
    log << "train-ubm: training on " << frames / 100.0 << " s of speech in " << recordings.size()
        << " files; " << TotalFrames(impostors) / 100.0 << " s in " << impostors.size()
        << " files kept as impostor speech\n";
    const BackgroundModel model = TrainBackground(
        recordings, options, [&](uint32_t components, uint32_t pass, uint32_t passes) {
            log << "train-ubm: " << components << " components, EM pass " << pass << "/" << passes
                << "\n";
        });
    std::string error;
    if (!WriteBackgroundDirectory(out, model, impostors, error)) {
        log << "train-ubm: " << error << "\n";
        return kFailure;
    }
    log << "train-ubm: wrote " << (std::filesystem::path(out) / kBackgroundFileName).string()
        << " and " << kImpostorFileName << "\n";
    return 0;
}

int EnrollCommand(const std::vector<std::string>& args, std::ostream& log) {
    EnrollmentOptions options;
    std::string ubmDirectory, models, name, speaker;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--ubm" && hasValue) {
            ubmDirectory = args[++i];
        } else if (arg == "--models" && hasValue) {
            models = args[++i];
        } else if (arg == "--name" && hasValue) {
            name = args[++i];
        } else if (arg == "--speaker" && hasValue) {
            speaker = args[++i];
        } else if (arg == "--relevance" && hasValue) {
            if (!ParseDouble(args[++i], options.relevance) || !(options.relevance >= 0.0) ||
                options.relevance > 1e6) {
                log << "enroll: --relevance takes a number from 0 to 1e6\n";
                return kUsageError;
            }
        } else if (arg.rfind("--", 0) == 0) {
            log << "enroll: unknown or incomplete option " << arg << "\n" << UsageText();
            return kUsageError;
        } else {
            files.push_back(arg);
        }
    }
    if (ubmDirectory.empty() || models.empty() || name.empty() || files.empty()) {
        log << "enroll: needs --ubm DIR, --models DIR, --name NAME and at least one FILE\n"
            << UsageText();
        return kUsageError;
    }
    if (!ValidTargetName(name)) {
        log << "enroll: '" << name << "' cannot be a directory name\n";
        return kUsageError;
    }
    if (speaker.empty()) {
        speaker = name;
    }

    std::shared_ptr<const Background> ubm;
    std::vector<LabelledFeatures> background;
    std::string error;
    if (!ReadBackgroundDirectory(ubmDirectory, ubm, background, error)) {
        log << "enroll: " << error << "\n";
        return kFailure;
    }
    std::vector<LabelledFeatures> recordings;
    if (!ReadFeatures(ubm->frontEnd(), files, std::vector<std::string>(files.size(), speaker),
                      recordings, "enroll", log)) {
        return kFailure;
    }
    std::vector<FeatureMatrix> frames;
    for (LabelledFeatures& recording : recordings) {
        frames.push_back(std::move(recording.frames));
    }
    TargetModel model;
    const bool enrolled = EnrollTarget(
        *ubm, frames, ImpostorsFor(background, speaker), options, model, error,
        [&](const std::string& step) { log << "enroll: " << name << ": " << step << "\n"; });
    if (!enrolled || !WriteTargetModel(models, name, model, error)) {
        log << "enroll: " << name << ": " << error << "\n";
        return kFailure;
    }
    log << "enroll: wrote " << (std::filesystem::path(models) / name / kTargetFileName).string()
        << "\n";
    return 0;
}

}  // namespace kestrune
