// Target enrollment.
#include "core/enrollment.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>

#include "core/adaptation.h"
#include "core/scoring.h"

namespace kestrune {
namespace {

FeatureMatrix Join(const std::vector<const FeatureMatrix*>& parts, Eigen::Index dimension) {
    Eigen::Index rows = 0;
    for (const FeatureMatrix* part : parts) {
        rows += part->rows();
    }
    FeatureMatrix joined(rows, dimension);
    Eigen::Index row = 0;
    for (const FeatureMatrix* part : parts) {
        joined.middleRows(row, part->rows()) = *part;
        row += part->rows();
    }
    return joined;
}

// Scores a raw segment as a trial of its own: normalised on its own, top components, ratio.
double ScoreSegment(const Background& ubm, const TargetBank& bank, FeatureMatrix segment) {
    ubm.Normalise(segment);
    const TopComponents top =
        SelectTopComponents(ubm.evaluator(), segment, ubm.model().topComponents);
    double score = 0.0;
    ScoreTargets(top, segment, bank, &score);
    return score;
}

std::string Seconds(Eigen::Index frames) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", static_cast<double>(frames) / 100.0);
    return text;
}

}  // namespace

std::vector<const LabelledFeatures*> ImpostorsFor(const std::vector<LabelledFeatures>& background,
                                                  const std::string& speaker) {
    std::vector<const LabelledFeatures*> impostors;
    for (const LabelledFeatures& recording : background) {
        if (recording.label != speaker) {
            impostors.push_back(&recording);
        }
    }
    return impostors;
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

std::vector<Eigen::Index> SegmentStarts(Eigen::Index frames, uint32_t length, uint32_t limit) {
    std::vector<Eigen::Index> starts;
    if (length == 0 || frames < length) {
        return starts;
    }
    const Eigen::Index hop = std::max<Eigen::Index>(length / 2, 1);
    const auto count = static_cast<size_t>(1 + (frames - length) / hop);
    for (size_t pick : SpreadEvenly(count, limit)) {
        starts.push_back(static_cast<Eigen::Index>(pick) * hop);
    }
    return starts;
}

bool EnrollTarget(const Background& ubm, const std::vector<FeatureMatrix>& recordings,
                  const std::vector<const LabelledFeatures*>& impostors,
                  const EnrollmentOptions& options, TargetModel& model, std::string& error,
                  const EnrollmentProgress& progress) {
    const Eigen::Index dimension = ubm.gmm().Dimension();
    const auto report = [&](const std::string& step) {
        if (progress) {
            progress(step);
        }
    };

    // The target's speech, joined raw for segments.
    std::vector<const FeatureMatrix*> rawParts;
    for (const FeatureMatrix& recording : recordings) {
        if (recording.cols() != dimension) {
            error = "a recording's features do not fit the background model";
            return false;
        }
        rawParts.push_back(&recording);
    }
    const FeatureMatrix raw = Join(rawParts, dimension);
    if (raw.rows() < static_cast<Eigen::Index>(options.minimumFrames)) {
        error = "too little speech to enroll: " + Seconds(raw.rows()) + ", at least " +
                Seconds(options.minimumFrames) + " needed";
        return false;
    }

    // Other speakers' speech, joined per label in order of first appearance.
    std::vector<std::string> labels;
    std::map<std::string, std::vector<const FeatureMatrix*>> byLabel;
    for (const LabelledFeatures* impostor : impostors) {
        if (impostor->frames.cols() != dimension) {
            error = "the impostor speech does not fit the background model";
            return false;
        }
        auto [entry, added] = byLabel.try_emplace(impostor->label);
        if (added) {
            labels.push_back(impostor->label);
        }
        entry->second.push_back(&impostor->frames);
    }
    std::vector<FeatureMatrix> impostorStreams;
    for (const std::string& label : labels) {
        impostorStreams.push_back(Join(byLabel[label], dimension));
    }

    // The same frames, row for row, each recording normalised on its own for the adaptation.
    std::vector<FeatureMatrix> normalised;
    std::vector<const FeatureMatrix*> normalisedParts;
    normalised.reserve(recordings.size());
    for (const FeatureMatrix& recording : recordings) {
        normalised.push_back(recording);
        ubm.Normalise(normalised.back());
        normalisedParts.push_back(&normalised.back());
    }
    const FeatureMatrix adaptation = Join(normalisedParts, dimension);

    report("adapting " + std::to_string(ubm.gmm().Components()) + " components on " +
           Seconds(raw.rows()) + " of speech");
    const AdaptationStats total = AccumulateStats(ubm.evaluator(), adaptation);
    model.ubmFingerprint = ubm.fingerprint();
    model.relevance = static_cast<float>(options.relevance);
    model.enrollmentFrames = static_cast<uint32_t>(raw.rows());
    model.means = MapAdaptMeans(ubm.gmm(), total, options.relevance);
    model.distributions.clear();
    const TargetBank bank(ubm.gmm(), model.means);

    for (uint32_t length : options.segmentFrames) {
        ScoreDistribution distribution;
        distribution.frames = length;
        // Leave-one-segment-out needs the rest to be the larger part of the enrollment.
        if (2 * static_cast<Eigen::Index>(length) <= raw.rows()) {
            for (Eigen::Index start : SegmentStarts(raw.rows(), length, options.maxGenuine)) {
                AdaptationStats rest = total;
                rest -= AccumulateStats(ubm.evaluator(), adaptation.middleRows(start, length));
                const TargetBank without(ubm.gmm(),
                                         MapAdaptMeans(ubm.gmm(), rest, options.relevance));
                distribution.genuine.push_back(
                    static_cast<float>(ScoreSegment(ubm, without, raw.middleRows(start, length))));
            }
        }
        std::vector<std::pair<size_t, Eigen::Index>> candidates;
        for (size_t s = 0; s < impostorStreams.size(); ++s) {
            for (Eigen::Index start :
                 SegmentStarts(impostorStreams[s].rows(), length, UINT32_MAX)) {
                candidates.emplace_back(s, start);
            }
        }
        for (size_t pick : SpreadEvenly(candidates.size(), options.maxImpostor)) {
            const auto& [stream, start] = candidates[pick];
            distribution.impostor.push_back(static_cast<float>(
                ScoreSegment(ubm, bank, impostorStreams[stream].middleRows(start, length))));
        }
        if (distribution.genuine.empty() || distribution.impostor.empty()) {
            continue;
        }
        std::sort(distribution.genuine.begin(), distribution.genuine.end());
        std::sort(distribution.impostor.begin(), distribution.impostor.end());
        report("segments of " + Seconds(length) + ": " +
               std::to_string(distribution.genuine.size()) + " genuine, " +
               std::to_string(distribution.impostor.size()) + " impostor scores");
        model.distributions.push_back(std::move(distribution));
    }
    if (model.distributions.empty()) {
        error = impostorStreams.empty()
                    ? "no impostor speech: the background holds no speaker other than the target"
                    : "no segment length has both genuine and impostor scores";
        return false;
    }
    return true;
}

}  // namespace kestrune
