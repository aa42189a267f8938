// libFuzzer target for the engine's model files: a background model and two target models made
// from the input (model_files_case.h) are written to a directory and go through the engine's
// functions as the library calls them: the background loaded, the targets counted, loaded and
// scored against a fixed recording, the set released. Whatever the files hold, nothing may
// touch memory it does not own, no call may hang, and every answer must be one the contract
// allows: a known code, and for each target a score, FRR and FAR in range, a target taken out
// of the call reported as such.
#include <unistd.h>

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "check.h"
#include "core/contract/engine_codes.h"
#include "engine/kestrune.h"
#include "model_files_case.h"

namespace {

namespace fs = std::filesystem;
using fuzzcheck::Check;
using modelcase::ModelFilesCase;

void WriteFile(const fs::path& file, const std::vector<uint8_t>& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

// The fuzzer's own directory: a background folder and a models folder of targets "a" and "b".
struct Workspace {
    Workspace() {
        root = fs::temp_directory_path() / ("kestrune-model-fuzz-" + std::to_string(getpid()));
        fs::create_directories(root / "ubm");
        fs::create_directories(root / "models" / "a");
        fs::create_directories(root / "models" / "b");
        fixedBackground = kestrune::EncodeBackground(modelcase::SmallBackground());
        fixedFile = (root / "fixed-ubm.krn").string();
        WriteFile(fixedFile, fixedBackground);
        // A second or so of a buzz with pauses, so that the front end finds speech frames in
        // it whatever its constants.
        recording.resize(12000);
        for (size_t i = 0; i < recording.size(); ++i) {
            const bool voiced = (i / 1600) % 3 != 2;
            const double t = static_cast<double>(i) / 8000.0;
            const double buzz = std::sin(2 * M_PI * 140 * t) + 0.5 * std::sin(2 * M_PI * 910 * t) +
                                0.3 * std::sin(2 * M_PI * 2300 * t);
            recording[i] = static_cast<int16_t>((voiced ? 6000.0 : 30.0) * buzz);
        }
    }
    ~Workspace() {
        std::error_code code;
        fs::remove_all(root, code);
    }
    fs::path root;
    std::vector<uint8_t> fixedBackground;
    std::string fixedFile;
    std::vector<int16_t> recording;
};

Workspace& TheWorkspace() {
    static Workspace workspace;
    return workspace;
}

bool KnownCode(int32_t code) {
    return code == 0 || (code >= kestrune::KS_ERR_NO_UBM && code <= kestrune::KS_ERR_INTERNAL) ||
           code == kestrune::KS_ERR_TOO_MANY_TARGETS;
}

void CheckScores(int32_t code, int32_t count, const std::vector<int32_t>& log,
                 const std::vector<int32_t>& frr, const std::vector<int32_t>& far) {
    Check(KnownCode(code), "SoundData answered a code outside the contract");
    Check(code != kestrune::KS_ERR_INTERNAL, "SoundData failed inside the engine");
    Check(code != kestrune::KS_ERR_MODEL_SET, "SoundData refused the set it was handed");
    if (code != 0) {
        return;
    }
    for (int32_t t = 0; t < count; ++t) {
        Check(frr[t] >= 0 && frr[t] <= 100000, "FRR out of range");
        Check(far[t] >= 0 && far[t] <= 100000, "FAR out of range");
        if (log[t] == kestrune::kRemovedTargetScore) {
            Check(frr[t] == 0 && far[t] == kestrune::kRemovedTargetFar,
                  "a removed target reported with rates");
        } else {
            Check(log[t] >= -1000000000 && log[t] <= 1000000000, "score beyond the trusted range");
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    Workspace& work = TheWorkspace();
    const ModelFilesCase c = modelcase::Parse(data, size);
    const bool rawTargets = (c.flags & modelcase::kRawTargets) != 0;
    std::vector<uint8_t> background = work.fixedBackground;
    if (!c.background.empty()) {
        background = (c.flags & modelcase::kRawBackground) != 0
                         ? c.background
                         : modelcase::Frame("UBM ", c.background);
    }
    WriteFile(work.root / "ubm" / "ubm.krn", background);
    WriteFile(work.root / "models" / "a" / "target.krn",
              rawTargets ? c.first : modelcase::Frame("TGT ", c.first));
    WriteFile(work.root / "models" / "b" / "target.krn",
              rawTargets ? c.second : modelcase::Frame("TGT ", c.second));

    // A background that does not load leaves the one loaded before: load the fixed one first,
    // so that each input is judged on its own.
    Check(COM_IDENTI_LoadUBMModels(work.fixedFile.c_str()) == 1,
          "the fixed background did not load");
    COM_IDENTI_LoadUBMModels((work.root / "ubm").c_str());

    const std::string models = (work.root / "models").string();
    const int32_t counted = COM_IDENTI_GetQntModelsFromSubDirs(models.c_str());
    Check(counted >= 0 && counted <= 2, "count beyond the targets written");

    jkestrune::ModelSet set;
    COM_IDENTI_LoadFromSubDirsToBuffers(models.c_str(), &set.targetCount, &set.modelValueA,
                                        &set.modelBufferA, &set.modelBufferB, &set.modelBufferC,
                                        &set.modelValueB, &set.modelBufferD, &set.targetNames,
                                        (c.flags & modelcase::kStrictLoad) ? 0 : 1, 1);
    Check(set.targetCount >= 0 && set.targetCount <= counted, "loaded more than counted");
    const auto n = static_cast<size_t>(set.targetCount);
    std::vector<int32_t> log(n, 0), frr(n, -1), far(n, -1);
    const int32_t code = COM_IDENTI_SoundData(
        work.recording.data(), static_cast<int32_t>(work.recording.size()), set.targetCount,
        set.modelBufferA, set.modelValueA, set.modelBufferC, set.modelBufferB, set.modelBufferD,
        set.modelValueB, log.data(), frr.data(), far.data());
    if (set.targetCount > 0) {
        CheckScores(code, set.targetCount, log, frr, far);
    }
    COM_IDENTI_DestroyedBuffers(&set.modelBufferA, &set.modelValueA, &set.modelBufferC,
                                &set.modelBufferB, &set.modelBufferD, &set.modelValueB,
                                &set.targetNames);
    return 0;
}
