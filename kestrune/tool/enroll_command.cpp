// kestrune enroll: a target model from WAVE files.
#include <filesystem>

#include "bridge/name_escape.h"
#include "core/base/path_text.h"
#include "core/contract/model_directories.h"
#include "core/enrollment/enrollment.h"
#include "core/models/model_files.h"
#include "tool/arguments.h"
#include "tool/commands.h"

namespace kestrune {

int EnrollCommand(const std::vector<std::string>& args, std::ostream& log) {
    EnrollmentOptions options;
    std::string ubmPath, models, name;
    bool replace = false;
    std::vector<std::string> files;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--ubm" && hasValue) {
            ubmPath = args[++i];
        } else if (arg == "--models" && hasValue) {
            models = args[++i];
        } else if (arg == "--name" && hasValue) {
            name = args[++i];
        } else if (arg == "--replace") {
            replace = true;
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
    if (models.empty() || name.empty() || files.empty()) {
        log << "enroll: needs --models DIR, --name NAME and at least one FILE\n" << UsageText();
        return kUsageError;
    }
    if (!ValidTargetName(name)) {
        log << "enroll: '" << jkestrune::EscapedName(name) << "' cannot be a directory name\n";
        return kUsageError;
    }
    if (ubmPath.empty()) {
        ubmPath = DefaultBackgroundDirectory().string();
        if (ubmPath.empty()) {
            log << "enroll: needs --ubm DIR: no default background model is installed beside "
                   "the tool\n";
            return kUsageError;
        }
        log << "enroll: using the default background model " << ubmPath << "\n";
    }
    const std::filesystem::path target =
        std::filesystem::path(models) /
        std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()) / kTargetFileName;
    std::error_code code;
    if (!replace && std::filesystem::exists(target, code)) {
        log << "enroll: " << PathUtf8(target)
            << " exists: give --replace to enroll the target anew\n";
        return kFailure;
    }

    std::shared_ptr<const Background> ubm;
    std::string error;
    if (!ReadBackground(ubmPath, ubm, error)) {
        log << "enroll: " << error << "\n";
        return kFailure;
    }
    std::vector<Samples> audio;
    if (!ReadAudio(files, audio, "enroll", log)) {
        return kFailure;
    }
    const std::string shownName = jkestrune::EscapedName(name);
    const EnrollmentSpeech speech = PrepareEnrollmentSpeech(ubm->frontEnd(), audio);
    TargetModel model;
    const bool enrolled = EnrollTarget(
        *ubm, speech, options, model, error,
        [&](const std::string& step) { log << "enroll: " << shownName << ": " << step << "\n"; });
    if (!enrolled || !WriteTargetModel(models, name, model, error)) {
        log << "enroll: " << shownName << ": " << error << "\n";
        return kFailure;
    }
    log << "enroll: wrote " << PathUtf8(target) << "\n";
    return 0;
}

}  // namespace kestrune
