// kestrune enroll: target models from WAVE files, one target or a list of them.
#include <filesystem>

#include "bridge/name_escape.h"
#include "core/base/path_text.h"
#include "core/contract/model_directories.h"
#include "core/enrollment/enrollment.h"
#include "core/enrollment/enrollment_options.h"
#include "core/models/model_files.h"
#include "tool/arguments.h"
#include "tool/commands.h"
#include "tool/enroll_list.h"
#include "tool/shown_path.h"

namespace kestrune {

namespace {

struct EnrollSettings {
    EnrollmentOptions options;
    std::string ubmPath, models, name, list;
    ListShard shard;
    bool sharded = false;
    bool replace = false;
    std::vector<std::string> files;
};

// 0 parsed, else the usage error's exit code (reported).
int ParseEnrollArguments(const std::vector<std::string>& args, EnrollSettings& settings,
                         std::ostream& log) {
    for (size_t i = 0; i < args.size(); ++i) {
        const OptionTaken taken =
            TakeOption(EnrollmentOptionFields(), settings.options, args, i, "enroll", log);
        if (taken != OptionTaken::kNotOption) {
            if (taken == OptionTaken::kRefused) {
                return kUsageError;
            }
            continue;
        }
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--ubm" && hasValue) {
            settings.ubmPath = args[++i];
        } else if (arg == "--models" && hasValue) {
            settings.models = args[++i];
        } else if (arg == "--name" && hasValue) {
            settings.name = args[++i];
        } else if (arg == "--list" && hasValue) {
            settings.list = args[++i];
        } else if (arg == "--shard" && hasValue) {
            settings.sharded = true;
            if (!ParseShard(args[++i], settings.shard)) {
                log << "enroll: --shard takes K/N with 0 <= K < N\n";
                return kUsageError;
            }
        } else if (arg == "--replace") {
            settings.replace = true;
        } else if (arg.rfind("--", 0) == 0) {
            log << "enroll: unknown or incomplete option " << jkestrune::EscapedName(arg) << "\n"
                << CommandUsage("enroll");
            return kUsageError;
        } else {
            settings.files.push_back(arg);
        }
    }
    const bool listed = !settings.list.empty();
    if (settings.models.empty() ||
        (listed ? !settings.name.empty() || !settings.files.empty()
                : settings.name.empty() || settings.files.empty() || settings.sharded)) {
        log << "enroll: needs --models DIR and either --name NAME with at least one FILE, or "
               "--list NAMES.tsv [--shard K/N]\n"
            << UsageText();
        return kUsageError;
    }
    if (!listed && !ValidTargetName(settings.name)) {
        log << "enroll: '" << jkestrune::EscapedName(settings.name)
            << "' cannot be a directory name\n";
        return kUsageError;
    }
    return 0;
}

std::filesystem::path TargetFile(const std::string& models, const std::string& name) {
    return std::filesystem::path(models) /
           std::u8string(reinterpret_cast<const char8_t*>(name.data()), name.size()) /
           kTargetFileName;
}

// Enrolls one target; the model file is written whole or not at all.
bool EnrollOne(const Background& ubm, const EnrollSettings& settings, const std::string& name,
               const std::vector<std::string>& files, std::ostream& log) {
    const std::string shownName = jkestrune::EscapedName(name);
    std::vector<Samples> audio;
    if (!ReadAudio(files, audio, "enroll", log)) {
        log << "enroll: " << shownName << ": not enrolled\n";
        return false;
    }
    const EnrollmentSpeech speech = PrepareEnrollmentSpeech(ubm, audio);
    TargetModel model;
    std::string error;
    const bool enrolled = EnrollTarget(
        ubm, speech, settings.options, model, error,
        [&](const std::string& step) { log << "enroll: " << shownName << ": " << step << "\n"; });
    if (!enrolled || !WriteTargetModel(settings.models, name, model, error)) {
        log << "enroll: " << shownName << ": " << error << "\n";
        return false;
    }
    log << "enroll: wrote " << ShownPath(TargetFile(settings.models, name)) << "\n";
    return true;
}

}  // namespace

int EnrollCommand(const std::vector<std::string>& args, std::ostream& log) {
    EnrollSettings settings;
    if (const int usage = ParseEnrollArguments(args, settings, log); usage != 0) {
        return usage;
    }
    std::vector<EnrollEntry> entries;
    if (settings.list.empty()) {
        entries.push_back({settings.name, settings.files});
    } else {
        std::string error;
        if (!ReadEnrollList(settings.list, settings.shard, entries, error)) {
            log << "enroll: " << error << "\n";
            return kUsageError;
        }
    }
    // One target names an existing one by mistake; a list run again after a failed task
    // resumes, keeping the targets already written.
    std::error_code code;
    const bool listed = !settings.list.empty();
    std::vector<EnrollEntry> pending;
    for (EnrollEntry& entry : entries) {
        const std::filesystem::path target = TargetFile(settings.models, entry.name);
        if (settings.replace || !std::filesystem::exists(target, code)) {
            pending.push_back(std::move(entry));
        } else if (listed) {
            log << "enroll: " << jkestrune::EscapedName(entry.name) << ": kept "
                << ShownPath(target) << "\n";
        } else {
            log << "enroll: " << ShownPath(target)
                << " exists: give --replace to enroll the target anew\n";
            return kFailure;
        }
    }
    if (pending.empty()) {
        return 0;
    }
    if (settings.ubmPath.empty()) {
        settings.ubmPath = DefaultBackgroundDirectory().string();
        if (settings.ubmPath.empty()) {
            log << "enroll: needs --ubm DIR: no default background model is installed beside "
                   "the tool\n";
            return kUsageError;
        }
        log << "enroll: using the default background model " << settings.ubmPath << "\n";
    }
    std::shared_ptr<const Background> ubm;
    std::string error;
    if (!ReadBackground(settings.ubmPath, ubm, error)) {
        log << "enroll: " << error << "\n";
        return kFailure;
    }
    size_t failed = 0;
    for (const EnrollEntry& entry : pending) {
        failed += EnrollOne(*ubm, settings, entry.name, entry.files, log) ? 0 : 1;
    }
    if (listed) {
        log << "enroll: " << (pending.size() - failed) << " of " << pending.size()
            << " targets enrolled" << (failed > 0 ? ", " + std::to_string(failed) + " failed" : "")
            << "\n";
    }
    return failed == 0 ? 0 : kFailure;
}

}  // namespace kestrune
