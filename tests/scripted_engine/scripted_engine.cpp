// A test double of the engine, built as libkestrune.so for the JVM tests. It answers each call
// from a control file and appends every call it receives to a call log, so that a test in a
// real JVM can decide what the engine says and check what the library asked.
//
//   KESTRUNE_SCRIPT    control file, read anew on every call; one directive per line:
//                        max_targets N | max_streams N | load_ubm N | quantity N
//                        sound_code N | load_fails 0/1 | target_count N (reported instead)
//                        log_samples N (samples to list in the SoundData line)
//                        target SCORE FRR FAR NAME  (NAME is the rest of the line; \xNN escapes)
//                        generate N  (N more targets named target-00000 ... with varied values)
//                        busy_calls N (the first N SoundData calls after the script was
//                          written answer 4106, busy, as the reference engine does)
//                        enforce_streams 0/1 (SoundData answers 4106 while max_streams calls
//                          are already in it, as the reference engine does)
//                        hold_ms N (each SoundData call stays N ms, so that calls overlap)
//   KESTRUNE_CALL_LOG  file to which one line per call is appended.
//
// A models path that names a regular file is read as the script of that path instead: it gives
// the quantity, the load's answers and the sound code of the scoring that uses the loaded model
// set, so that calls running at the same time can each get their own answers. (A failed load
// hands no model set to the scoring, which then answers from KESTRUNE_SCRIPT.)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "engine/kestrune.h"
#include "support/engine_script.h"

namespace {

using enginescript::Target;

// The shared description, and how many samples SoundData lists in its log line.
struct Script : enginescript::Script {
    int32_t logSamples = 0;
    int32_t busyCalls = 0;
    bool enforceStreams = false;
    int32_t holdMs = 0;
};

constexpr int32_t kBusy = 4106;

std::string Unescape(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size() && text[i + 1] == 'x') {
            out.push_back(
                static_cast<char>(std::strtol(text.substr(i + 2, 2).c_str(), nullptr, 16)));
            i += 3;
        } else {
            out.push_back(text[i]);
        }
    }
    return out;
}

// The script of a models path (see above), or KESTRUNE_SCRIPT's when the path is null or names
// no regular file.
Script ReadScript(const char* modelsPath = nullptr) {
    Script script;
    struct stat info {};
    const bool ownScript =
        modelsPath != nullptr && ::stat(modelsPath, &info) == 0 && S_ISREG(info.st_mode);
    const char* path = ownScript ? modelsPath : std::getenv("KESTRUNE_SCRIPT");
    if (path == nullptr) {
        return script;
    }
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream words(line);
        std::string key;
        words >> key;
        if (key == "target") {
            Target target;
            words >> target.logScore >> target.frr >> target.far;
            std::string rest;
            std::getline(words >> std::ws, rest);
            target.name = Unescape(rest);
            script.targets.push_back(target);
            continue;
        }
        int64_t value = 0;
        words >> value;
        const auto v = static_cast<int32_t>(value);
        if (key == "max_targets")
            script.maxTargets = v;
        else if (key == "max_streams")
            script.maxStreams = v;
        else if (key == "load_ubm")
            script.loadUbmAnswer = static_cast<uint8_t>(v);
        else if (key == "quantity")
            script.quantity = v;
        else if (key == "sound_code")
            script.soundCode = v;
        else if (key == "load_fails")
            script.loadFails = v != 0;
        else if (key == "log_samples")
            script.logSamples = v;
        else if (key == "busy_calls")
            script.busyCalls = v;
        else if (key == "enforce_streams")
            script.enforceStreams = v != 0;
        else if (key == "hold_ms")
            script.holdMs = v;
        else if (key == "target_count") {
            script.reportedTargetCount = v;
        } else if (key == "generate") {
            for (int32_t i = 0; i < v; ++i) {
                char name[32];
                std::snprintf(name, sizeof name, "target-%05d", i);
                script.targets.push_back(
                    {name, (i * 7919) % 100000 - 50000, (i * 31) % 100000, (i * 17) % 100000});
            }
        }
    }
    return script;
}

// One write per line with O_APPEND, so that lines from concurrent calls never interleave.
void Log(const std::string& line) {
    const char* path = std::getenv("KESTRUNE_CALL_LOG");
    if (path == nullptr) {
        return;
    }
    const int fd = ::open(path, O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        return;
    }
    const std::string text = line + "\n";
    const ssize_t written = ::write(fd, text.data(), text.size());
    (void)written;
    ::close(fd);
}

// The SoundData calls logged so far (the call log starts empty with each script).
int32_t LoggedSoundDataCalls() {
    const char* path = std::getenv("KESTRUNE_CALL_LOG");
    std::ifstream in(path == nullptr ? "" : path);
    std::string line;
    int32_t calls = 0;
    while (std::getline(in, line)) {
        calls += line.rfind("SoundData", 0) == 0;
    }
    return calls;
}

// Calls inside SoundData now, for enforce_streams.
std::atomic<int32_t> activeSoundCalls{0};

// Holds one place among the active calls for its lifetime.
class ActiveCall {
  public:
    ActiveCall() : before_(activeSoundCalls.fetch_add(1)) {}
    ~ActiveCall() { activeSoundCalls.fetch_sub(1); }
    ActiveCall(const ActiveCall&) = delete;
    ActiveCall& operator=(const ActiveCall&) = delete;
    int32_t before() const { return before_; }

  private:
    int32_t before_;
};

// What buffer A points to: enough to check that DestroyedBuffers gets back what the load gave.
struct LoadRecord {
    uint32_t magic;
    char* names;
    void* buffers[3];
    int32_t soundCode;  // the answer of the scoring that uses this model set
};
constexpr uint32_t kMagic = 0x4B455354;

}  // namespace

extern "C" {

__attribute__((visibility("default"))) int32_t COM_IDENTI_CheckedQuantTargetUsers(void) {
    Log("CheckedQuantTargetUsers");
    return ReadScript().maxTargets;
}

__attribute__((visibility("default"))) int32_t COM_IDENTI_CheckedQuantVerifyStreams(void) {
    Log("CheckedQuantVerifyStreams");
    return ReadScript().maxStreams;
}

__attribute__((visibility("default"))) uint8_t COM_IDENTI_LoadUBMModels(const char* path) {
    Log(std::string("LoadUBMModels path=") + path);
    return ReadScript().loadUbmAnswer;
}

__attribute__((visibility("default"))) int32_t COM_IDENTI_GetQntModelsFromSubDirs(
    const char* path) {
    Log(std::string("GetQntModelsFromSubDirs path=") + path);
    return ReadScript(path).quantity;
}

__attribute__((visibility("default"))) void COM_IDENTI_LoadFromSubDirsToBuffers(
    const char* path, int32_t* targetCount, int32_t* modelValueA, void** modelBufferA,
    void** modelBufferB, void** modelBufferC, int32_t* modelValueB, void** modelBufferD,
    char** targetNames, uint8_t flagA, uint8_t flagB) {
    const Script script = ReadScript(path);
    const size_t count = script.targets.size();
    Log(std::string("LoadFromSubDirsToBuffers path=") + path + " flags=" + std::to_string(flagA) +
        "," + std::to_string(flagB) +
        (script.loadFails ? " failed" : " targets=" + std::to_string(count)));
    if (script.loadFails) {
        return;
    }
    auto* names = static_cast<char*>(std::calloc(count == 0 ? 1 : count, 256));
    for (size_t i = 0; i < count; ++i) {
        std::memcpy(names + i * 256, script.targets[i].name.data(),
                    std::min<size_t>(script.targets[i].name.size(), 256));
    }
    // Buffer B carries the scores, so that SoundData answers for exactly what was loaded.
    auto* scores = static_cast<int32_t*>(std::calloc(count * 3 + 1, sizeof(int32_t)));
    for (size_t i = 0; i < count; ++i) {
        scores[3 * i] = script.targets[i].logScore;
        scores[3 * i + 1] = script.targets[i].frr;
        scores[3 * i + 2] = script.targets[i].far;
    }
    auto* record = static_cast<LoadRecord*>(std::calloc(1, sizeof(LoadRecord)));
    record->magic = kMagic;
    record->names = names;
    record->buffers[0] = scores;
    record->buffers[1] = std::calloc(1, 8);
    record->buffers[2] = std::calloc(1, 8);
    record->soundCode = script.soundCode;
    *targetCount = script.reportedTargetCount.value_or(static_cast<int32_t>(count));
    *modelValueA = static_cast<int32_t>(count);
    *modelValueB = 0x5151;
    *modelBufferA = record;
    *modelBufferB = record->buffers[0];
    *modelBufferC = record->buffers[1];
    *modelBufferD = record->buffers[2];
    *targetNames = names;
}

__attribute__((visibility("default"))) int32_t COM_IDENTI_SoundData(
    const int16_t* samples, int32_t sampleCount, int32_t targetCount, void* modelBufferA,
    int32_t modelValueA, void*, void* modelBufferB, void*, int32_t, int32_t* logScores,
    int32_t* frrValues, int32_t* farValues) {
    const Script script = ReadScript();
    const ActiveCall active;
    const bool overLimit = script.enforceStreams && active.before() >= script.maxStreams;
    const bool scriptedBusy = script.busyCalls > 0 && LoggedSoundDataCalls() < script.busyCalls;
    int64_t sum = 0;
    for (int32_t i = 0; i < sampleCount; ++i) {
        sum += samples[i];
    }
    std::string line = "SoundData count=" + std::to_string(sampleCount) +
                       " targets=" + std::to_string(targetCount) + " sum=" + std::to_string(sum);
    if (script.logSamples > 0) {
        line += " samples=";
        for (int32_t i = 0; i < script.logSamples; ++i) {
            if (i > 0) {
                line += ',';
            }
            line += std::to_string(samples[i]);
        }
    }
    if (overLimit || scriptedBusy) {
        Log(line + (overLimit ? " busy: over max_streams" : " busy: scripted"));
        return kBusy;
    }
    Log(line);
    if (script.holdMs > 0) {
        std::this_thread::sleep_for(std::chrono::milliseconds(script.holdMs));
    }
    const auto* record = static_cast<const LoadRecord*>(modelBufferA);
    const int32_t soundCode = record != nullptr ? record->soundCode : script.soundCode;
    if (soundCode != 0) {
        return soundCode;
    }
    const auto* scores = static_cast<const int32_t*>(modelBufferB);
    for (int32_t i = 0; i < targetCount; ++i) {
        const bool known = record != nullptr && i < modelValueA;
        logScores[i] = known ? scores[3 * i] : 0;
        frrValues[i] = known ? scores[3 * i + 1] : 0;
        farValues[i] = known ? scores[3 * i + 2] : 0;
    }
    return 0;
}

__attribute__((visibility("default"))) void COM_IDENTI_DestroyedBuffers(
    void** modelBufferA, int32_t*, void** modelBufferC, void** modelBufferB, void** modelBufferD,
    int32_t*, char** targetNames) {
    auto* record = static_cast<LoadRecord*>(*modelBufferA);
    if (record == nullptr) {
        Log(*targetNames == nullptr ? "DestroyedBuffers empty" : "DestroyedBuffers mismatch");
        return;
    }
    const bool matches = record->magic == kMagic && record->names == *targetNames &&
                         record->buffers[0] == *modelBufferB &&
                         record->buffers[1] == *modelBufferC && record->buffers[2] == *modelBufferD;
    Log(matches ? "DestroyedBuffers ok" : "DestroyedBuffers mismatch");
    if (!matches) {
        return;
    }
    record->magic = 0;
    std::free(record->names);
    for (void* buffer : record->buffers) {
        std::free(buffer);
    }
    std::free(record);
    *modelBufferA = *modelBufferB = *modelBufferC = *modelBufferD = nullptr;
    *targetNames = nullptr;
}

}  // extern "C"
