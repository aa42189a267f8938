// Target enrollment.
#include "core/enrollment/enrollment.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>

#include "core/enrollment/speech_content.h"
#include "core/models/adaptation.h"
#include "core/scoring/trial_scoring.h"

namespace kestrune {
namespace {

// Segment lengths, in speech frames, of the held-out genuine trials, and how many of each
// length one part gives at most.
constexpr Eigen::Index kSegmentFrames[] = {50, 100, 200, 400, 800};
constexpr int kSegmentsPerLength = 1;

std::string Seconds(Eigen::Index frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(frames) / 100.0);
    return text;
}

// One version of an enrollment recording (the recording itself or a degraded copy): its frames
// normalised on their own for the adaptation, and which recording it comes from.
struct Version {
    const EnrollmentRecording* recording = nullptr;
    FeatureMatrix normalised;
    size_t source = 0;
};

std::vector<Version> Versions(const Background& ubm,
                              const std::vector<EnrollmentRecording>& recordings,
                              size_t perSource) {
    std::vector<Version> versions;
    for (size_t i = 0; i < recordings.size(); ++i) {
        Version version{&recordings[i], recordings[i].frames, i / perSource};
        ubm.Normalise(version.normalised);
        versions.push_back(std::move(version));
    }
    return versions;
}

// The rows of a version of recording `source` (of `sources`) that belong to part `p`. With as
// many recordings as parts, each part is a run of whole recordings, so that a held-out part is
// other recordings than those its model was adapted from (and, as recordings tend to come in
// order, other words or sentences); otherwise each recording (and every copy of it alike) is
// cut into the parts.
std::pair<Eigen::Index, Eigen::Index> PartRows(Eigen::Index rows, size_t source, size_t sources,
                                               int p) {
    if (sources >= static_cast<size_t>(kHeldOutParts)) {
        const auto part = static_cast<int>(source * kHeldOutParts / sources);
        return {0, part == p ? rows : 0};
    }
    const Eigen::Index start = rows * p / kHeldOutParts;
    return {start, rows * (p + 1) / kHeldOutParts - start};
}

// The weight of the degraded copies' statistics beside the clean recordings': at full weight
// the noisy copies cost clean short trials as much as they gained noisy ones; at half, short
// trials kept most of their accuracy and noisy ones all of their gain (validation trials).
constexpr double kCopyWeight = 0.5;

// The statistics a condition model is adapted from.
AdaptationStats WithCopies(const AdaptationStats& clean, AdaptationStats copies) {
    copies *= kCopyWeight;
    copies += clean;
    return copies;
}

// The condition models from the statistics of the clean recordings and of the noisy and the
// telephone copies (in Condition order).
std::array<FloatMatrix, kConditions> ModelsFromStats(const Background& ubm,
                                                     const std::array<AdaptationStats, 3>& stats,
                                                     double relevance) {
    return {MapAdaptMeans(ubm.gmm(), stats[kClean], relevance),
            MapAdaptMeans(ubm.gmm(), WithCopies(stats[kClean], stats[kNoisy]), relevance),
            MapAdaptMeans(ubm.gmm(), WithCopies(stats[kClean], stats[kTelephone]), relevance)};
}

// False, with `error` set, when a recording's features (of any kind) are not of the background
// model's dimension, or its companion features not of the companion's or not one per frame.
bool FitsBackground(const Background& ubm, const EnrollmentSpeech& speech, std::string& error) {
    const Background* companion = ubm.companion();
    for (const auto* kind : {&speech.clean, &speech.noisy, &speech.telephone}) {
        for (const EnrollmentRecording& recording : *kind) {
            const FeatureMatrix& other = recording.companionFrames;
            if (recording.frames.cols() != ubm.gmm().Dimension() ||
                (companion != nullptr ? other.cols() != companion->gmm().Dimension() ||
                                            other.rows() != recording.frames.rows()
                                      : other.size() != 0)) {
                error = "a recording's features do not fit the background model";
                return false;
            }
        }
    }
    return true;
}

// The target's speech as the companion model sees it: the same recordings, with the
// companion's frames.
EnrollmentSpeech AsCompanion(const EnrollmentSpeech& speech) {
    EnrollmentSpeech copy = speech;
    for (auto* kind : {&copy.clean, &copy.noisy, &copy.telephone}) {
        for (EnrollmentRecording& recording : *kind) {
            recording.frames = std::move(recording.companionFrames);
            recording.companionFrames = FeatureMatrix();
        }
    }
    return copy;
}

// False, with `error` set, when one of the target's own recordings holds no speech
// (SpeechContentProblem). A recording that holds none is a mistake worth saying so, rather
// than a few frames fewer.
bool HoldsSpeech(const std::vector<EnrollmentRecording>& recordings, std::string& error) {
    for (size_t i = 0; i < recordings.size(); ++i) {
        const std::string problem =
            SpeechContentProblem(recordings[i].frames, recordings[i].traits);
        if (!problem.empty()) {
            error = "recording " + std::to_string(i + 1) + " of " +
                    std::to_string(recordings.size()) + " " + problem;
            return false;
        }
    }
    return true;
}

Eigen::Index SpeechFrameCount(const std::vector<EnrollmentRecording>& recordings) {
    Eigen::Index frames = 0;
    for (const EnrollmentRecording& recording : recordings) {
        frames += recording.frames.rows();
    }
    return frames;
}

// The clean, noisy and telephone versions of a target's recordings (in Condition order), each
// normalised on its own, and what the held-out parts are cut by.
struct Kinds {
    std::array<std::vector<Version>, kConditions> versions;
    size_t sources = 0;  // the target's own recordings
    size_t copies = 1;   // degraded copies per recording of the noisy and telephone kinds
};

Kinds MakeKinds(const Background& ubm, const EnrollmentSpeech& speech) {
    Kinds kinds;
    kinds.sources = speech.clean.size();
    kinds.copies = std::max<size_t>(1, speech.noisy.size() / std::max<size_t>(kinds.sources, 1));
    kinds.versions = {Versions(ubm, speech.clean, 1), Versions(ubm, speech.noisy, kinds.copies),
                      Versions(ubm, speech.telephone, kinds.copies)};
    return kinds;
}

// The adaptation statistics of each held-out part of each kind, and of all parts together.
struct PartStatistics {
    std::array<std::vector<AdaptationStats>, kConditions> parts;
    std::array<AdaptationStats, kConditions> totals;
};

PartStatistics AccumulatePartStatistics(const Background& ubm, const Kinds& kinds) {
    const Eigen::Index m = ubm.gmm().Components();
    const Eigen::Index d = ubm.gmm().Dimension();
    PartStatistics stats;
    for (size_t k = 0; k < kinds.versions.size(); ++k) {
        stats.totals[k] = AdaptationStats::Zero(m, d);
        stats.parts[k].assign(kHeldOutParts, AdaptationStats::Zero(m, d));
        for (const Version& version : kinds.versions[k]) {
            for (int p = 0; p < kHeldOutParts; ++p) {
                const auto [start, rows] =
                    PartRows(version.normalised.rows(), version.source, kinds.sources, p);
                if (rows > 0) {
                    stats.parts[k][static_cast<size_t>(p)] += AccumulateStats(
                        ubm.evaluator(), version.normalised.middleRows(start, rows));
                }
            }
        }
        for (const AdaptationStats& part : stats.parts[k]) {
            stats.totals[k] += part;
        }
    }
    return stats;
}

// The condition models adapted from everything but part `p`.
std::array<FloatMatrix, kConditions> ModelsWithout(const Background& ubm,
                                                   const PartStatistics& stats, int p,
                                                   double relevance) {
    std::array<AdaptationStats, kConditions> rest = stats.totals;
    for (size_t k = 0; k < rest.size(); ++k) {
        rest[k] -= stats.parts[k][static_cast<size_t>(p)];
    }
    return ModelsFromStats(ubm, rest, relevance);
}

// Part `p` of one stream of a kind's versions (every `streams`-th version from `first`), its
// raw frames joined across recordings so that segments can be longer than one recording, and
// the traits of its first recording.
struct JoinedPart {
    FeatureMatrix frames;
    const RecordingTraits* traits = nullptr;
};

JoinedPart JoinPart(const std::vector<Version>& versions, size_t first, size_t streams,
                    size_t sources, int p, Eigen::Index d) {
    std::vector<std::pair<const FeatureMatrix*, std::pair<Eigen::Index, Eigen::Index>>> pieces;
    JoinedPart part;
    Eigen::Index rows = 0;
    for (size_t v = first; v < versions.size(); v += streams) {
        const FeatureMatrix& raw = versions[v].recording->frames;
        const auto range = PartRows(raw.rows(), versions[v].source, sources, p);
        if (range.second > 0) {
            pieces.push_back({&raw, range});
            rows += range.second;
            part.traits = part.traits != nullptr ? part.traits : &versions[v].recording->traits;
        }
    }
    part.frames.resize(rows, d);
    Eigen::Index row = 0;
    for (const auto& [raw, range] : pieces) {
        part.frames.middleRows(row, range.second) = raw->middleRows(range.first, range.second);
        row += range.second;
    }
    return part;
}

// The genuine scores of a held-out part: its first segment of each length in kSegmentFrames
// (a part shorter than a length gives one segment of its own length, and no longer ones).
// `companion` holds the same part's companion frames, row for row (empty without a companion).
void ScoreSegments(const Background& ubm, const JoinedPart& part, const FeatureMatrix& companion,
                   const ConditionBanks& banks, std::vector<GenuineSample>& genuine) {
    const Eigen::Index rows = part.frames.rows();
    for (Eigen::Index segment : kSegmentFrames) {
        const Eigen::Index n = std::min(segment, rows);
        for (int taken = 0; n > 0 && (taken + 1) * n <= rows && taken < kSegmentsPerLength;
             ++taken) {
            TrialFrames frames{part.frames.middleRows(taken * n, n), FeatureMatrix()};
            if (companion.rows() == rows) {
                frames.companion = companion.middleRows(taken * n, n);
            }
            const TrialScores scored = ScoreRecording(ubm, std::move(frames), *part.traits, banks);
            genuine.push_back({static_cast<float>(scored.scores[0]),
                               static_cast<float>(scored.conditions.frames),
                               static_cast<float>(scored.conditions.snrDb),
                               static_cast<float>(scored.conditions.telephone)});
        }
        if (n == rows) {
            break;
        }
    }
}

// Genuine scores of every held-out part of every kind (clean, noisy, telephone), one stream per
// copy (the clean kind has one), each scored against the models adapted without it.
// With a companion, both models are adapted without the same part and the part is scored by
// both (fused), as trials are.
std::vector<GenuineSample> HeldOutGenuineScores(const Background& ubm,
                                                const EnrollmentSpeech& speech, double relevance) {
    const Kinds kinds = MakeKinds(ubm, speech);
    const PartStatistics stats = AccumulatePartStatistics(ubm, kinds);
    const Background* companion = ubm.companion();
    const EnrollmentSpeech companionSpeech =
        companion != nullptr ? AsCompanion(speech) : EnrollmentSpeech{};
    const Kinds companionKinds =
        companion != nullptr ? MakeKinds(*companion, companionSpeech) : Kinds{};
    const PartStatistics companionStats = companion != nullptr
                                              ? AccumulatePartStatistics(*companion, companionKinds)
                                              : PartStatistics{};
    std::vector<GenuineSample> genuine;
    for (int p = 0; p < kHeldOutParts; ++p) {
        const ConditionBanks banks =
            companion != nullptr
                ? ConditionBanks(ubm.gmm(), ModelsWithout(ubm, stats, p, relevance),
                                 companion->gmm(),
                                 ModelsWithout(*companion, companionStats, p, relevance))
                : ConditionBanks(ubm.gmm(), ModelsWithout(ubm, stats, p, relevance));
        for (size_t k = 0; k < kinds.versions.size(); ++k) {
            const size_t streams = k == static_cast<size_t>(kClean) ? 1 : kinds.copies;
            for (size_t c = 0; c < streams; ++c) {
                const JoinedPart part = JoinPart(kinds.versions[k], c, streams, kinds.sources, p,
                                                 ubm.gmm().Dimension());
                const FeatureMatrix companionPart =
                    companion != nullptr ? JoinPart(companionKinds.versions[k], c, streams,
                                                    kinds.sources, p, companion->gmm().Dimension())
                                               .frames
                                         : FeatureMatrix();
                ScoreSegments(ubm, part, companionPart, banks, genuine);
            }
        }
    }
    return genuine;
}

}  // namespace

EnrollmentSpeech PrepareEnrollmentSpeech(const Background& ubm,
                                         const std::vector<Samples>& recordings) {
    EnrollmentSpeech speech;
    std::mt19937 random(20261208);
    const auto analyse = [&](const Samples& samples) {
        EnrollmentRecording recording;
        TrialFrames frames = ubm.Analyse(samples.data(), samples.size(), &recording.traits);
        recording.frames = std::move(frames.own);
        recording.companionFrames = std::move(frames.companion);
        return recording;
    };
    for (const Samples& samples : recordings) {
        speech.clean.push_back(analyse(samples));
        for (int copy = 0; copy < kEnrollmentCopies; ++copy) {
            speech.noisy.push_back(analyse(
                DegradedCopy(samples, static_cast<int>(Degradation::kWhiteNoise), {}, random)));
            speech.telephone.push_back(analyse(
                DegradedCopy(samples, static_cast<int>(Degradation::kTelephone), {}, random)));
        }
    }
    return speech;
}

std::array<FloatMatrix, kConditions> AdaptConditionModels(const Background& ubm,
                                                          const EnrollmentSpeech& speech,
                                                          double relevance) {
    const auto statsOf = [&](const std::vector<EnrollmentRecording>& recordings) {
        AdaptationStats stats =
            AdaptationStats::Zero(ubm.gmm().Components(), ubm.gmm().Dimension());
        for (const Version& version : Versions(ubm, recordings, 1)) {
            stats += AccumulateStats(ubm.evaluator(), version.normalised);
        }
        return stats;
    };
    return ModelsFromStats(
        ubm, {statsOf(speech.clean), statsOf(speech.noisy), statsOf(speech.telephone)}, relevance);
}

std::vector<size_t> SpreadEvenly(size_t count, size_t limit) {
    std::vector<size_t> picks;
    if (count <= limit) {
        for (size_t i = 0; i < count; ++i) {
            picks.push_back(i);
        }
        return picks;
    }
    for (size_t i = 0; i < limit; ++i) {
        picks.push_back(limit == 1 ? 0
                                   : static_cast<size_t>(std::llround(static_cast<double>(i) *
                                                                      (count - 1) / (limit - 1))));
    }
    return picks;
}

bool EnrollTarget(const Background& ubm, const EnrollmentSpeech& speech,
                  const EnrollmentOptions& options, TargetModel& model, std::string& error,
                  const EnrollmentProgress& progress) {
    const auto report = [&](const std::string& step) {
        if (progress) {
            progress(step);
        }
    };
    if (!FitsBackground(ubm, speech, error) || !HoldsSpeech(speech.clean, error)) {
        return false;
    }
    const Eigen::Index frames = SpeechFrameCount(speech.clean);
    if (frames < static_cast<Eigen::Index>(options.minimumFrames)) {
        error = "too little speech to enroll: " + Seconds(frames) + ", at least " +
                Seconds(options.minimumFrames) + " needed";
        return false;
    }

    report("adapting " + std::to_string(ubm.gmm().Components()) + " components on " +
           Seconds(frames) + " of speech");
    model.ubmFingerprint = ubm.fingerprint();
    model.relevance = static_cast<float>(options.relevance);
    model.enrollmentFrames = static_cast<uint32_t>(frames);
    model.means = AdaptConditionModels(ubm, speech, options.relevance);
    model.companionMeans = {};
    if (const Background* companion = ubm.companion()) {
        report("adapting the companion's " + std::to_string(companion->gmm().Components()) +
               " components");
        model.companionMeans =
            AdaptConditionModels(*companion, AsCompanion(speech), options.relevance);
    }
    model.genuine = HeldOutGenuineScores(ubm, speech, options.relevance);
    report(std::to_string(model.genuine.size()) + " genuine scores from " +
           std::to_string(kHeldOutParts) + " held-out parts");
    return true;
}

}  // namespace kestrune
