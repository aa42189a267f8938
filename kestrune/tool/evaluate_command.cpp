// kestrune evaluate: scores a list of trials through the engine's seven functions, exactly as
// the library's identification calls do, and reports what a user needs to judge an enrollment.
#include <algorithm>
#include <atomic>
#include <charconv>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <thread>

#include "audio/wave_decoder.h"
#include "audio/wave_reader.h"
#include "bridge/name_escape.h"
#include "bridge/scoped_model_set.h"
#include "core/contract/model_directories.h"
#include "engine/kestrune.h"
#include "tool/arguments.h"
#include "tool/audio_input.h"
#include "tool/busy_retry.h"
#include "tool/commands.h"
#include "tool/evaluate_options.h"
#include "tool/evaluation.h"
#include "tool/other_background.h"
#include "tool/shown_path.h"
#include "tool/trial_names.h"

namespace kestrune {
namespace {

using jkestrune::EscapedName;

struct Trial {
    std::filesystem::path file;
    std::string name;  // the true target, or "-"
};

// Lines "path<TAB>name"; relative paths are taken from the list's own folder, so that a list
// and its recordings can move together. Empty lines and lines starting with '#' are skipped.
bool ReadTrialList(const std::filesystem::path& list, std::vector<Trial>& trials,
                   std::string& error) {
    std::ifstream in(list);
    if (!in) {
        error = "cannot open " + ShownPath(list);
        return false;
    }
    std::string line;
    for (size_t number = 1; std::getline(in, line); ++number) {
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const size_t tab = line.find('\t');
        if (tab == std::string::npos || tab == 0 || tab + 1 == line.size()) {
            error = list.string() + ":" + std::to_string(number) + ": expected path<TAB>name";
            return false;
        }
        std::filesystem::path file = line.substr(0, tab);
        if (file.is_relative()) {
            file = list.parent_path() / file;
        }
        trials.push_back({std::move(file), line.substr(tab + 1)});
    }
    if (trials.empty()) {
        error = list.string() + ": no trials";
        return false;
    }
    return true;
}

// The samples of a WAVE file as the library hands them to the engine: decoded by the same
// reader, interleaved, with the count of frames. Non-zero: the library's own code, or -1 for a
// file that cannot be read and -2 for one outside the tools' limits (`problem` says which).
int32_t DecodeAsTheLibraryDoes(const std::filesystem::path& file, std::vector<int16_t>& samples,
                               uint32_t& frames, uint32_t& rate, std::string& problem) {
    std::vector<uint8_t> image;
    if (!ReadWaveImage(file, image, problem)) {
        return -1;
    }
    const auto length = static_cast<uint32_t>(image.size());
    jkestrune::WaveHeader header;
    uint32_t count = 0;
    const int32_t query = jkestrune::QueryWaveSampleCount(header, image.data(), length, count);
    if (query != 0) {
        return query;
    }
    rate = header.image.format.nSamplesPerSec;
    const int channels = header.image.format.nChannels;
    if (count > 0 && channels > 0) {
        problem = RecordingLimitProblem(rate, count / static_cast<uint32_t>(channels));
        if (!problem.empty()) {
            return -2;
        }
    }
    samples.assign(count, 0);
    frames = 0;
    if (count > 0) {
        const int32_t decode =
            jkestrune::DecodeWaveSamples(header, image.data(), length, count, samples.data());
        if (decode != 0) {
            return decode;
        }
        frames = count;
    }
    return 0;
}

// "evaluate: " lines naming the background models the targets under `models` were enrolled
// with, when not `ubm`; empty when no target says so.
std::string OtherTargetsMessage(const std::string& models, const std::string& ubm) {
    std::shared_ptr<const Background> loaded;
    std::string error;
    if (!ReadBackground(ubm, loaded, error)) {
        return "";
    }
    const std::string message = OtherBackgroundsMessage(
        models, ubm, loaded->fingerprint(),
        TargetsOfOtherBackgrounds(models, loaded->fingerprint()), DefaultBackgroundDirectory());
    std::string lines;
    for (size_t start = 0; start < message.size();) {
        const size_t end = message.find('\n', start);
        lines.append("evaluate: ").append(message, start, end + 1 - start);
        start = end + 1;
    }
    return lines;
}

}  // namespace

int EvaluateCommand(const std::vector<std::string>& args, std::ostream& log) {
    std::string ubm, models, list, scoresFile;
    bool tsv = false;
    EvaluateOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const OptionTaken taken =
            TakeOption(EvaluateOptionFields(), options, args, i, "evaluate", log);
        if (taken != OptionTaken::kNotOption) {
            if (taken == OptionTaken::kRefused) {
                return kUsageError;
            }
            continue;
        }
        const std::string& arg = args[i];
        const bool hasValue = i + 1 < args.size();
        if (arg == "--ubm" && hasValue) {
            ubm = args[++i];
        } else if (arg == "--models" && hasValue) {
            models = args[++i];
        } else if (arg == "--scores" && hasValue) {
            scoresFile = args[++i];
        } else if (arg == "--tsv") {
            tsv = true;
        } else if (arg.rfind("--", 0) == 0 || !list.empty()) {
            log << "evaluate: unexpected argument " << arg << "\n" << CommandUsage("evaluate");
            return kUsageError;
        } else {
            list = arg;
        }
    }
    if (models.empty() || list.empty()) {
        log << "evaluate: needs --models DIR and a TRIALS file\n" << CommandUsage("evaluate");
        return kUsageError;
    }
    if (ubm.empty()) {
        ubm = DefaultBackgroundDirectory().string();
        if (ubm.empty()) {
            log << "evaluate: needs --ubm DIR: no default background model is installed\n";
            return kUsageError;
        }
    }

    std::vector<Trial> trials;
    std::string error;
    if (!ReadTrialList(list, trials, error)) {
        log << "evaluate: " << error << "\n";
        return kUsageError;
    }
    if (COM_IDENTI_LoadUBMModels(ubm.c_str()) == 0) {
        log << "evaluate: cannot load the background model from " << ubm << "\n";
        return kFailure;
    }
    const auto started = std::chrono::steady_clock::now();
    jkestrune::ScopedModelSet set;
    set.Load(models.c_str());
    const int32_t targetCount = set.targetCount();
    if (targetCount <= 0) {
        const int32_t present = COM_IDENTI_GetQntModelsFromSubDirs(models.c_str());
        const int32_t limit = COM_IDENTI_CheckedQuantTargetUsers();
        if (limit > 0 && present > limit) {
            log << "evaluate: " << models << " holds " << present
                << " targets, more than the engine's limit of " << limit
                << " (code 4109): split the targets over several directories\n";
        } else if (const std::string others = OtherTargetsMessage(models, ubm); !others.empty()) {
            log << others;
        } else {
            log << "evaluate: no target under " << models
                << " fits this background model (or the directory is unreadable)\n";
        }
        return kFailure;
    }
    std::vector<std::string> targetNames;
    for (int32_t t = 0; t < targetCount; ++t) {
        targetNames.emplace_back(set.targetNames() +
                                 static_cast<size_t>(t) * jkestrune::kTargetNameSlot);
    }
    std::vector<std::string> listed;
    for (const Trial& trial : trials) {
        listed.push_back(trial.name);
    }
    std::vector<int32_t> truth;
    if (!MatchTrialNames(listed, targetNames, truth, error)) {
        log << "evaluate: " << list << ": " << error << "\n";
        return kUsageError;
    }
    std::vector<ScoredTrial> scored(trials.size());
    for (size_t i = 0; i < trials.size(); ++i) {
        scored[i].truth = truth[i];
    }
    // No more concurrent calls than the engine scores at once: the calls beyond would be
    // refused as busy, which says nothing about the recordings.
    const unsigned threads = ConcurrentCalls(RequestedThreads(options),
                                             COM_IDENTI_CheckedQuantVerifyStreams(), trials.size());

    std::atomic<size_t> next{0}, done{0}, unreadable{0}, otherRates{0};
    std::mutex logMutex;
    std::vector<std::string> problems(trials.size());
    size_t reported = 0;
    const auto work = [&] {
        std::vector<int16_t> samples;
        for (size_t i = next++; i < trials.size(); i = next++) {
            ScoredTrial& trial = scored[i];
            uint32_t frames = 0, rate = 0;
            trial.code = DecodeAsTheLibraryDoes(trials[i].file, samples, frames, rate, problems[i]);
            if (trial.code == 0 && frames > 0) {
                otherRates += rate != 8000;
                trial.logScores.assign(static_cast<size_t>(targetCount), 0);
                trial.frrValues.assign(static_cast<size_t>(targetCount), 0);
                trial.farValues.assign(static_cast<size_t>(targetCount), 0);
                trial.code = CallRetryingBusy(
                    [&] {
                        return set.Score(samples.data(), static_cast<int32_t>(frames),
                                         {trial.logScores.data(), trial.frrValues.data(),
                                          trial.farValues.data()});
                    },
                    BusyRetry{},
                    [](std::chrono::milliseconds pause) { std::this_thread::sleep_for(pause); });
                trial.unscored = trial.code == kEngineBusy;
            } else if (trial.code == 0) {
                trial.code = -1;
            }
            unreadable += trial.code == -1;
            const size_t finished = ++done;
            std::lock_guard lock(logMutex);
            if (finished * 100 / trials.size() > reported * 100 / trials.size() ||
                finished == trials.size()) {
                reported = finished;
                log << "\revaluate: " << finished << "/" << trials.size() << " trials"
                    << (finished == trials.size() ? "\n" : "") << std::flush;
            }
        }
    };
    std::vector<std::thread> pool;
    for (unsigned t = 1; t < std::min<size_t>(threads, trials.size()); ++t) {
        pool.emplace_back(work);
    }
    work();
    for (std::thread& thread : pool) {
        thread.join();
    }
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - started).count();

    if (!scoresFile.empty()) {
        std::ofstream out(scoresFile);
        out << "trial\ttruth\ttarget\tlogScore\tfrr\tfar\n";
        for (size_t i = 0; i < trials.size(); ++i) {
            for (size_t t = 0; t < scored[i].logScores.size(); ++t) {
                out << EscapedName(trials[i].file.string()) << '\t' << EscapedName(trials[i].name)
                    << '\t' << EscapedName(targetNames[t]) << '\t' << scored[i].logScores[t] << '\t'
                    << scored[i].frrValues[t] << '\t' << scored[i].farValues[t] << '\n';
            }
        }
        if (!out) {
            log << "evaluate: cannot write " << scoresFile << "\n";
            return kFailure;
        }
    }
    std::map<int32_t, size_t> codes;
    for (size_t i = 0; i < scored.size(); ++i) {
        if (scored[i].code == -2) {
            log << "evaluate: " << EscapedName(trials[i].file.string())
                << ": refused: " << problems[i] << "\n";
        }
        if (scored[i].code != 0) {
            ++codes[scored[i].code];
        }
    }
    for (const auto& [code, count] : codes) {
        std::string what = code == -1   ? "unreadable or without audio"
                           : code == -2 ? "refused: outside the limits the tools take"
                                        : "refused with code " + std::to_string(code);
        if (code == kEngineBusy) {
            what = "unscored: the engine stayed busy (code 4106) through " +
                   std::to_string(BusyRetry{}.tries) +
                   " tries; they count in no figure, and the run fails";
        }
        log << "evaluate: " << count << " trials " << what << "\n";
    }
    if (otherRates > 0) {
        log << "evaluate: " << otherRates
            << " trials are not at 8 kHz; the engine analyses every recording as 8 kHz\n";
    }
    const EvaluationSummary summary = Summarise(scored, static_cast<size_t>(targetCount));
    std::string text = FormatSummary(summary, tsv);
    char timing[128];
    std::snprintf(timing, sizeof timing,
                  tsv ? "targets\t%d\nseconds\t%.1f\n" : "%d targets; scored in %.1f s\n",
                  targetCount, seconds);
    std::fputs((text + timing).c_str(), stdout);
    std::fflush(stdout);
    return summary.unscoredTrials > 0 ? kFailure : 0;
}

}  // namespace kestrune
