// Target enrollment.
#include "core/enrollment/enrollment.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <random>

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

}  // namespace

EnrollmentSpeech PrepareEnrollmentSpeech(const FrontEnd& frontEnd,
                                         const std::vector<Samples>& recordings) {
    EnrollmentSpeech speech;
    std::mt19937 random(20261208);
    const auto analyse = [&](const Samples& samples) {
        EnrollmentRecording recording;
        recording.frames = frontEnd.Compute(samples.data(), samples.size(), &recording.traits);
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
    const Eigen::Index d = ubm.gmm().Dimension();
    const auto report = [&](const std::string& step) {
        if (progress) {
            progress(step);
        }
    };
    for (const auto* kind : {&speech.clean, &speech.noisy, &speech.telephone}) {
        for (const EnrollmentRecording& recording : *kind) {
            if (recording.frames.cols() != d) {
                error = "a recording's features do not fit the background model";
                return false;
            }
        }
    }
    Eigen::Index frames = 0;
    for (const EnrollmentRecording& recording : speech.clean) {
        frames += recording.frames.rows();
    }
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

    // Clean, noisy and telephone versions of the recordings, and the statistics of each part
    // of each kind.
    const size_t sources = speech.clean.size();
    const size_t copies = std::max<size_t>(1, speech.noisy.size() / std::max<size_t>(sources, 1));
    const std::array<std::vector<Version>, 3> kinds = {Versions(ubm, speech.clean, 1),
                                                       Versions(ubm, speech.noisy, copies),
                                                       Versions(ubm, speech.telephone, copies)};
    const Eigen::Index m = ubm.gmm().Components();
    std::array<std::vector<AdaptationStats>, 3> partStats;
    std::array<AdaptationStats, 3> totals;
    for (size_t k = 0; k < kinds.size(); ++k) {
        totals[k] = AdaptationStats::Zero(m, d);
        partStats[k].assign(kHeldOutParts, AdaptationStats::Zero(m, d));
        for (const Version& version : kinds[k]) {
            for (int p = 0; p < kHeldOutParts; ++p) {
                const auto [start, rows] =
                    PartRows(version.normalised.rows(), version.source, sources, p);
                if (rows > 0) {
                    partStats[k][static_cast<size_t>(p)] += AccumulateStats(
                        ubm.evaluator(), version.normalised.middleRows(start, rows));
                }
            }
        }
        for (const AdaptationStats& part : partStats[k]) {
            totals[k] += part;
        }
    }

    model.genuine.clear();
    for (int p = 0; p < kHeldOutParts; ++p) {
        std::array<AdaptationStats, 3> rest = totals;
        for (size_t k = 0; k < kinds.size(); ++k) {
            rest[k] -= partStats[k][static_cast<size_t>(p)];
        }
        const ConditionBanks banks(ubm.gmm(), ModelsFromStats(ubm, rest, options.relevance));
        for (size_t k = 0; k < kinds.size(); ++k) {
            // The part's speech of this kind, one stream per copy (the clean kind has one),
            // joined across recordings so that segments can be longer than one recording.
            const size_t streams = k == 0 ? 1 : copies;
            for (size_t c = 0; c < streams; ++c) {
                std::vector<const FeatureMatrix*> pieces;
                std::vector<std::pair<Eigen::Index, Eigen::Index>> ranges;
                const RecordingTraits* traits = nullptr;
                Eigen::Index rows = 0;
                for (size_t v = c; v < kinds[k].size(); v += streams) {
                    const FeatureMatrix& raw = kinds[k][v].recording->frames;
                    const auto range = PartRows(raw.rows(), kinds[k][v].source, sources, p);
                    if (range.second > 0) {
                        pieces.push_back(&raw);
                        ranges.push_back(range);
                        rows += range.second;
                        traits = traits != nullptr ? traits : &kinds[k][v].recording->traits;
                    }
                }
                FeatureMatrix joined(rows, d);
                Eigen::Index row = 0;
                for (size_t i = 0; i < pieces.size(); ++i) {
                    joined.middleRows(row, ranges[i].second) =
                        pieces[i]->middleRows(ranges[i].first, ranges[i].second);
                    row += ranges[i].second;
                }
                for (Eigen::Index segment : kSegmentFrames) {
                    // A part shorter than the segment gives one segment of its own length.
                    const Eigen::Index n = std::min(segment, rows);
                    for (int taken = 0;
                         n > 0 && (taken + 1) * n <= rows && taken < kSegmentsPerLength; ++taken) {
                        const TrialScores scored =
                            ScoreRecording(ubm, joined.middleRows(taken * n, n), *traits, banks);
                        model.genuine.push_back({static_cast<float>(scored.scores[0]),
                                                 static_cast<float>(scored.conditions.frames),
                                                 static_cast<float>(scored.conditions.snrDb),
                                                 static_cast<float>(scored.conditions.telephone)});
                    }
                    if (n == rows) {
                        break;
                    }
                }
            }
        }
    }
    report(std::to_string(model.genuine.size()) + " genuine scores from " +
           std::to_string(kHeldOutParts) + " held-out parts");
    return true;
}

}  // namespace kestrune
