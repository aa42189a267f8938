// Writes the model-file fuzzer's seed corpus: cases that between them hold every section of
// both kinds of file (header; FEND front-end constants, TOPC components per frame, MIXT
// mixture weights, means and variances, COHO cohort, FUSE weights and COMP companion model;
// BGFP fingerprint, ADAP relevance and frames, MEAN the three conditions' means, GENU genuine
// samples, CMEA the companion's means) with valid and edge values,
// framed and raw, so that fuzzing starts inside every field instead of having to find its way
// past the hash. The committed corpus in fuzz/corpus/model_files is this
// program's output:
//
//   model_files_seeds fuzz/corpus/model_files
#include <cstdio>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "model_files_case.h"

namespace {

using kestrune::BackgroundFingerprint;
using kestrune::BackgroundModel;
using kestrune::EncodeBackground;
using kestrune::EncodeTarget;
using kestrune::FloatMatrix;
using kestrune::TargetModel;
using modelcase::ModelFilesCase;
using modelcase::Payload;

TargetModel TargetOf(const BackgroundModel& ubm, float shift, size_t samples) {
    TargetModel model;
    model.ubmFingerprint = BackgroundFingerprint(ubm);
    model.relevance = 8.0f;
    model.enrollmentFrames = 800;
    const auto m = ubm.gmm.Components();
    const auto d = ubm.gmm.Dimension();
    for (size_t c = 0; c < model.means.size(); ++c) {
        model.means[c] = ubm.gmm.means.cast<float>() +
                         FloatMatrix::Constant(m, d, shift * static_cast<float>(c + 1));
        if (ubm.companion != nullptr) {
            const kestrune::DiagonalGmm& gmm = ubm.companion->gmm;
            model.companionMeans[c] =
                gmm.means.cast<float>() + FloatMatrix::Constant(gmm.Components(), gmm.Dimension(),
                                                                -shift * static_cast<float>(c + 1));
        }
    }
    for (size_t i = 0; i < samples; ++i) {
        model.genuine.push_back({2.0f + 0.25f * static_cast<float>(i % 13),
                                 static_cast<float>(50 << (i % 4)),
                                 static_cast<float>(5 + (i * 7) % 36), (i % 3) / 2.0f});
    }
    return model;
}

// A second front end and mixture: three cepstra with deltas and delta-deltas, four components.
BackgroundModel WiderBackground() {
    BackgroundModel model;
    model.frontEnd.cepstra = 3;
    model.frontEnd.deltaOrder = 2;
    model.frontEnd.warping = 0;
    model.frontEnd.varianceNormalise = 1;
    model.topComponents = 3;
    model.gmm.weights = Eigen::Vector4d(0.1, 0.2, 0.3, 0.4);
    model.gmm.means = kestrune::DoubleMatrix::Constant(4, 9, -0.5);
    model.gmm.means(3, 8) = 2.0;
    model.gmm.variances = kestrune::DoubleMatrix::Constant(4, 9, 0.75);
    for (FloatMatrix& cohort : model.cohortMeans) {
        cohort = FloatMatrix::Constant(12, 9, 0.1f);
    }
    return model;
}

struct Seed {
    std::string name;
    ModelFilesCase c;
};

std::vector<Seed> Seeds() {
    const BackgroundModel fixed = modelcase::SmallBackground();
    const BackgroundModel wider = WiderBackground();
    std::vector<Seed> seeds;
    const auto add = [&seeds](std::string name, uint8_t flags, std::vector<uint8_t> background,
                              std::vector<uint8_t> first, std::vector<uint8_t> second) {
        seeds.push_back(
            {std::move(name), {flags, std::move(background), std::move(first), std::move(second)}});
    };
    const auto target = [](const TargetModel& model) { return Payload(EncodeTarget(model)); };

    add("fixed_two_targets", 0, {}, target(TargetOf(fixed, 0.2f, 6)),
        target(TargetOf(fixed, -0.3f, 3)));
    add("own_background", 0, Payload(EncodeBackground(wider)), target(TargetOf(wider, 0.1f, 5)),
        target(TargetOf(wider, 0.4f, 150)));
    add("raw_files", modelcase::kRawBackground | modelcase::kRawTargets, EncodeBackground(wider),
        EncodeTarget(TargetOf(wider, 0.1f, 4)), EncodeTarget(TargetOf(wider, -0.2f, 4)));
    add("strict_with_a_damaged_target", modelcase::kStrictLoad, {},
        target(TargetOf(fixed, 0.2f, 2)), {'K', 'S', 'R', 'N'});
    add("other_background_targets", 0, {}, target(TargetOf(wider, 0.1f, 2)),
        target(TargetOf(fixed, 0.1f, 2)));

    TargetModel edge = TargetOf(fixed, 0.0f, 4);
    edge.means[0].setConstant(1e4f);
    edge.means[2].setConstant(-1e4f);
    edge.genuine[0].score = 1e6f;
    edge.genuine[1].score = -1e6f;
    add("edge_values", 0, {}, target(edge), target(TargetOf(fixed, 0.1f, 3)));

    TargetModel wide = TargetOf(fixed, 0.1f, 2);
    wide.genuine[0].score = 16000.0f;
    add("wide_genuine_scores", 0, {}, target(wide), target(TargetOf(fixed, 0.2f, 2)));

    BackgroundModel noCohort = fixed;
    for (FloatMatrix& cohort : noCohort.cohortMeans) {
        cohort.resize(0, 4);
    }
    add("background_without_cohort", 0, Payload(EncodeBackground(noCohort)),
        target(TargetOf(noCohort, 0.2f, 3)), target(TargetOf(noCohort, 0.3f, 3)));

    // Score-level fusion: the fixed front end and a wider companion over linear filters.
    BackgroundModel fused = fixed;
    BackgroundModel companion = wider;
    companion.frontEnd.linearFilters = 1;
    fused.companion = std::make_shared<const BackgroundModel>(companion);
    fused.companionWeight = 0.5f;
    add("companion", 0, Payload(EncodeBackground(fused)), target(TargetOf(fused, 0.2f, 4)),
        target(TargetOf(fused, -0.1f, 3)));
    add("companion_targets_on_plain_background", 0, {}, target(TargetOf(fused, 0.2f, 2)),
        target(TargetOf(fixed, 0.1f, 2)));
    return seeds;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s <corpus directory>\n", argv[0]);
        return 2;
    }
    for (const Seed& seed : Seeds()) {
        const std::vector<uint8_t> bytes = modelcase::Serialise(seed.c);
        std::ofstream out(std::string(argv[1]) + "/" + seed.name, std::ios::binary);
        out.write(reinterpret_cast<const char*>(bytes.data()),
                  static_cast<std::streamsize>(bytes.size()));
        if (!out) {
            std::fprintf(stderr, "cannot write %s\n", seed.name.c_str());
            return 1;
        }
    }
    return 0;
}
