// libFuzzer target for the whole identification path: both JNI methods, driven through the fake
// JNI environment and the fake engine with arbitrary recordings, lengths, engine answers, result
// destinations and JNI failures (the case layout is in identification_case.h). After every call
// it checks what a JVM and the engine need: no exception pending, every string's characters
// released, no JNI call made while an exception was pending, every name valid modified UTF-8,
// local references released; the engine's model set handed back exactly once whenever it was
// loaded and never otherwise; the code the one the arguments call for; the results in ranked
// order with the engine's values, and untouched whenever nothing was delivered.
#include <algorithm>
#include <cstdio>
#include <memory>
#include <numeric>
#include <optional>
#include <string>
#include <vector>

#include "audio/wave_decoder.h"
#include "audio/wave_header.h"
#include "audio/wave_reader.h"
#include "check.h"
#include "identification_case.h"
#include "return_codes.h"
#include "support/event_log.h"
#include "support/fake_engine.h"
#include "support/fake_jni.h"
#include "support/identification_call.h"

namespace {

using fakejni::FakeClass;
using fakejni::FakeJni;
using fuzzcase::IdentificationCase;
using fuzzcheck::Check;

// The classes a destination can be made of, on one fake heap.
struct Classes {
    explicit Classes(FakeJni& jni)
        : result(jni.DefineResultClass("test/Result", {{"age", "I"}})),
          other(jni.DefineClass("test/Other", {})),
          noFrr(jni.DefineBrokenResultClass("test/NoFrr", "errorFR_percent", std::nullopt)),
          longScore(jni.DefineBrokenResultClass("test/LongScore", "logScore", "J")),
          object(jni.ObjectClass()) {}

    FakeClass* result;
    FakeClass* other;
    FakeClass* noFrr;
    FakeClass* longScore;
    FakeClass* object;
};

// The call as the fuzzer makes it, with the folded values the expectations are computed from.
struct Call {
    std::vector<uint8_t> audio;
    jint audioLength = 0;
    const char* className = "test/Result";
    const char* failingCall = nullptr;
    int failingNth = 0;
    int32_t reported = 0;  // the target count the engine reports
    bool deliverable = true;
    size_t arrayLength = 0;
};

bool Fails(const Call& call, const char* function, int callsMade) {
    return call.failingCall != nullptr && std::string(call.failingCall) == function &&
           call.failingNth <= callsMade;
}

// The code of a call that ends before the engine is called, or nothing when the call goes on
// to the engine.
std::optional<int32_t> CodeBeforeTheEngine(const IdentificationCase& c, const Call& call) {
    if (c.modelsDirNull) {
        return jkestrune::ERR_NULL_ARGUMENT;
    }
    if (Fails(call, "GetStringUTFChars", 1)) {
        return jkestrune::ERR_OUT_OF_MEMORY;
    }
    if (!c.best && c.classNameNull) {
        return jkestrune::ERR_NULL_ARGUMENT;
    }
    if (!c.best && Fails(call, "GetStringUTFChars", 2)) {
        return jkestrune::ERR_OUT_OF_MEMORY;
    }
    const uint8_t* image = nullptr;
    uint32_t length = 0;
    if (!c.audioNull) {
        if (call.audioLength < 0 || static_cast<size_t>(call.audioLength) > call.audio.size()) {
            return jkestrune::ERR_INVALID_ARGUMENT;
        }
        if (Fails(call, "GetByteArrayRegion", 1)) {
            return jkestrune::ERR_INVALID_ARGUMENT;
        }
        image = call.audio.data();
        length = static_cast<uint32_t>(call.audioLength);
    }
    // The audio passes themselves are checked by the WAVE fuzzer; here they say where the
    // pipeline must stop, and that what the engine gets is sound: a buffer sized within the
    // recording's bytes, holding at least the frames the engine is told to read.
    jkestrune::WaveHeader header;
    uint32_t slots = 0;
    const int32_t sized = jkestrune::QueryWaveSampleCount(header, image, length, slots);
    if (slots == 0) {
        return sized;  // no audio, or not one whole frame
    }
    Check(slots <= length, "a sample buffer larger than the recording has bytes");
    std::vector<int16_t> samples(slots);
    uint32_t frames = slots;
    (void)jkestrune::DecodeWaveSamples(header, image, length, frames, samples.data());
    Check(frames <= slots, "the engine would read more samples than the buffer holds");
    return std::nullopt;
}

// Whether a delivery of `n` targets into the destination goes through.
bool Delivers(const IdentificationCase& c, const Call& call, int32_t n) {
    const uint8_t kind = c.destination % fuzzcase::kDestinationCount;
    if (kind == fuzzcase::kNullDestination) {
        return false;
    }
    if (c.best) {
        const bool wrongClass = kind == fuzzcase::kForeignElements ||
                                kind == fuzzcase::kUnknownClass ||
                                kind == fuzzcase::kDottedClassName;
        return !wrongClass && !Fails(call, "GetFieldID", 4) && !Fails(call, "NewStringUTF", 1);
    }
    const bool wrongClass = kind == fuzzcase::kForeignElements || kind == fuzzcase::kUnknownClass ||
                            kind == fuzzcase::kDottedClassName || kind == fuzzcase::kMissingField ||
                            kind == fuzzcase::kWrongFieldType;
    return !wrongClass && call.arrayLength >= static_cast<size_t>(n) &&
           !Fails(call, "FindClass", n) && !Fails(call, "AllocObject", n) &&
           !Fails(call, "GetFieldID", 4 * n) && !Fails(call, "NewStringUTF", n) &&
           !Fails(call, "SetObjectArrayElement", n);
}

// Target indices best first: a stable sort by the criterion rankBy selects.
std::vector<int32_t> Ranked(const std::vector<fuzzcase::Target>& targets, int32_t n,
                            int32_t rankBy) {
    std::vector<int32_t> order(static_cast<size_t>(n));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        const fuzzcase::Target& x = targets[a];
        const fuzzcase::Target& y = targets[b];
        switch (rankBy) {
            case 1:
                return x.frr > y.frr;
            case 2:
                return x.far < y.far;
            default:
                return x.logScore > y.logScore;
        }
    });
    return order;
}

// The name as the engine's slot holds it: up to the first NUL, or the whole slot.
std::string SlotName(const std::string& name) {
    return name.substr(0, name.find('\0'));
}

bool IsPlainAscii(const std::string& text) {
    return std::all_of(text.begin(), text.end(),
                       [](char ch) { return ch > 0 && static_cast<unsigned char>(ch) < 0x80; });
}

// The delivered object holds target t's values, and its name when that needs no conversion.
void CheckDelivered(jobject object, const fuzzcase::Target& target) {
    Check(object != nullptr, "a ranked position was left empty");
    Check(FakeJni::IntField(object, "logScore") == target.logScore, "logScore of another target");
    Check(FakeJni::IntField(object, "errorFA_percent") == target.far, "FAR of another target");
    Check(FakeJni::IntField(object, "errorFR_percent") == target.frr, "FRR of another target");
    const std::string name = SlotName(target.name);
    const auto& strings = FakeJni::Unwrap(object)->refFields;
    const auto field = strings.find("target_name");
    Check(field != strings.end() && field->second != nullptr, "no name delivered");
    const std::string& delivered = field->second->text;
    if (IsPlainAscii(name)) {
        Check(delivered == name, "an ASCII name was changed");
    }
    Check(delivered.size() <= 3 * name.size(), "a name grew beyond its conversion");
}

bool Untouched(jobject object) {
    const fakejni::FakeObject* fake = FakeJni::Unwrap(object);
    return fake->intFields.empty() && fake->refFields.empty();
}

void Run(IdentificationCase& c) {
    fakeengine::Reset();
    testsupport::Events().clear();
    FakeJni jni;
    const Classes classes(jni);

    Call call;
    call.audio = c.audio;
    switch (c.lengthMode) {
        case 0:
            call.audioLength = static_cast<jint>(c.audio.size());
            break;
        case 1:
            call.audioLength =
                static_cast<jint>(static_cast<uint32_t>(c.lengthValue) % (c.audio.size() + 1));
            break;
        default:
            call.audioLength = c.lengthValue;
            break;
    }
    call.failingCall = fuzzcase::kFailableCalls[c.failingCall % fuzzcase::kFailableCallCount];
    call.failingNth = c.failingNth % 4 + 1;
    if (call.failingCall != nullptr) {
        jni.FailCall(call.failingCall, call.failingNth);
    }

    fakeengine::Script& script = fakeengine::ScriptFor();
    script.targets = c.targets;
    const auto available = static_cast<int32_t>(c.targets.size());
    call.reported = available;
    if (c.overrideCount) {
        call.reported = c.reportedCount < 0 ? c.reportedCount : c.reportedCount % (available + 1);
        script.reportedTargetCount = call.reported;
    }
    script.loadFails = c.loadFails;
    script.soundCode = c.soundCode;
    if (c.loadFails) {
        call.reported = 0;  // a failed load leaves the preset count
    }

    // The destination. Elements beyond the targets hold a marker that must survive.
    const uint8_t kind = c.destination % fuzzcase::kDestinationCount;
    const int32_t slack = c.arraySlack % 8 - 2;
    call.arrayLength = static_cast<size_t>(std::max(0, std::max(call.reported, 0) + slack));
    FakeClass* elementClass = kind == fuzzcase::kForeignElements ? classes.other
                              : kind == fuzzcase::kObjectArray   ? classes.object
                                                                 : classes.result;
    if (kind == fuzzcase::kUnknownClass) {
        call.className = "test/Missing";
    } else if (kind == fuzzcase::kDottedClassName) {
        call.className = "test.Result";
    } else if (kind == fuzzcase::kMissingField) {
        call.className = "test/NoFrr";
    } else if (kind == fuzzcase::kWrongFieldType) {
        call.className = "test/LongScore";
    }
    jobjectArray results = nullptr;
    jobject result = nullptr;
    jobject marker = jni.NewInstance(classes.result);
    if (kind != fuzzcase::kNullDestination) {
        results = jni.NewObjectArray(elementClass, call.arrayLength);
        for (auto& element : FakeJni::Unwrap(results)->elements) {
            element = FakeJni::Unwrap(marker);
        }
        FakeClass* resultClass = kind == fuzzcase::kForeignElements   ? classes.other
                                 : kind == fuzzcase::kUnknownClass    ? classes.noFrr
                                 : kind == fuzzcase::kDottedClassName ? classes.longScore
                                                                      : classes.result;
        result = jni.NewInstance(resultClass);
    }

    const testsupport::CallArgs args{
        .audio = c.audioNull ? std::nullopt : std::optional(call.audio),
        .audioLength = call.audioLength,
        .modelsDir = c.modelsDirNull ? std::nullopt : std::optional<std::string>("/models"),
        .rankBy = c.rankBy,
        .resultClassName =
            c.classNameNull ? std::nullopt : std::optional<std::string>(call.className),
        .verbose = c.verbose};
    const jint code = c.best ? testsupport::CallGetBest(jni, args, result)
                             : testsupport::CallGetAll(jni, args, results);

    // What the JVM and the engine need on every path.
    Check(jni.Clean(),
          "exception pending, characters unreleased, a call made while an "
          "exception was pending, an invalid name string or a broken rule");
    Check(jni.LiveLocalRefs() == 0, "local references left behind");
    Check(jni.PeakLocalRefs() <= 3, "local references grow with the targets");
    const std::string imbalance = fakeengine::Imbalance();
    Check(imbalance.empty(), imbalance.c_str());
    const fakeengine::Seen& seen = fakeengine::Observed();

    // The code and how far the call went.
    if (const std::optional<int32_t> early = CodeBeforeTheEngine(c, call)) {
        Check(code == *early, "wrong code before the engine");
        Check(seen.loads == 0, "the engine was called although the call ended before it");
        Check(results == nullptr ||
                  FakeJni::Unwrap(results)->elements ==
                      std::vector<fakejni::FakeObject*>(call.arrayLength, FakeJni::Unwrap(marker)),
              "results touched before the engine");
        Check(result == nullptr || Untouched(result), "result touched before the engine");
        return;
    }
    Check(seen.loads == 1, "the engine did not load the targets exactly once");
    if (call.reported < 0) {
        Check(code == jkestrune::ERR_ENGINE_CONTRACT, "a negative count was not reported");
        Check(seen.scorings == 0, "scored with a negative count");
        return;
    }
    Check(seen.scorings == 1 && seen.scoredTargetCount == call.reported,
          "not scored once with the reported count");
    const int32_t n = call.reported;
    const bool delivering = c.soundCode == 0 && n > 0;
    const bool delivered = delivering && Delivers(c, call, n);
    const int32_t expected = c.soundCode != 0 ? c.soundCode
                             : !delivering    ? jkestrune::kSuccess
                             : delivered      ? jkestrune::kSuccess
                                              : jkestrune::ERR_RESULT_DELIVERY;
    Check(code == expected, "wrong code after the engine");
    if (!delivering) {
        Check(jni.Count("FindClass") + jni.Count("GetObjectClass") == 0,
              "a delivery was attempted without results");
        Check(result == nullptr || Untouched(result), "result touched without results");
    }
    if (results != nullptr) {
        // A failed delivery may leave the elements it stored; none beyond the targets.
        const auto& elements = FakeJni::Unwrap(results)->elements;
        for (size_t k = delivering ? static_cast<size_t>(n) : 0; k < elements.size(); ++k) {
            Check(elements[k] == FakeJni::Unwrap(marker), "an element was touched needlessly");
        }
    }
    if (!delivered) {
        return;
    }
    const std::vector<int32_t> order = Ranked(c.targets, n, c.rankBy);
    if (c.best) {
        CheckDelivered(result, c.targets[order[0]]);
        Check(
            FakeJni::IntField(result, "age") == 0 && FakeJni::Unwrap(result)->intFields.size() == 3,
            "fields other than the four were written");
        return;
    }
    for (int32_t p = 0; p < n; ++p) {
        CheckDelivered(FakeJni::Element(results, p), c.targets[order[p]]);
    }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Verbose calls print their log lines; they are formatted and written, but not shown.
    Check(std::freopen("/dev/null", "w", stdout) != nullptr, "cannot silence standard output");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    IdentificationCase c;
    fuzzcase::Reader reader(data, size);
    fuzzcase::Visit(reader, c);
    Run(c);
    fakeengine::Reset();
    testsupport::Events().clear();
    return 0;
}
