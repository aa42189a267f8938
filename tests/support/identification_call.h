// One call of either identification method through a fake JNI environment, its arguments
// described by value, and what a results array received. No test framework is involved, so
// that the unit tests, the fuzzer and the Windows tests (which pass the methods they resolved
// from the DLL) all make the call the same way.
#pragma once

#include <jni.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "bridge/load_manager.h"
#include "support/fake_jni.h"
#include "support/wave_images.h"

namespace testsupport {

// The arguments of one call; every field has a sensible default.
struct CallArgs {
    std::optional<std::vector<uint8_t>> audio =
        jkestrune::test::Pcm16Wave(std::vector<int16_t>(500, 100));
    std::optional<jint> audioLength = std::nullopt;  // default: the whole array
    std::optional<std::string> modelsDir = "/models";
    jint rankBy = 0;
    std::optional<std::string> resultClassName = "test/Result";  // VerifyDataWithGetAll only
    bool verbose = false;
};

using GetAllMethod = decltype(&Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll);
using GetBestMethod =
    decltype(&Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability);

namespace call_detail {

inline jbyteArray Audio(fakejni::FakeJni& jni, const CallArgs& args) {
    return args.audio ? jni.NewByteArray(*args.audio) : nullptr;
}
inline jint Length(const CallArgs& args) {
    return args.audioLength.value_or(args.audio ? static_cast<jint>(args.audio->size()) : 0);
}
inline jstring String(fakejni::FakeJni& jni, const std::optional<std::string>& text) {
    return text ? jni.NewString(*text) : nullptr;
}

}  // namespace call_detail

// VerifyDataWithGetAll with `args` made on `jni`'s heap, by default the one linked in.
inline jint CallGetAll(
    fakejni::FakeJni& jni, const CallArgs& args, jobjectArray results,
    GetAllMethod method = &Java_com_mirelta_requests_LoadManager_VerifyDataWithGetAll) {
    return method(jni.env(), nullptr, call_detail::Audio(jni, args), call_detail::Length(args),
                  call_detail::String(jni, args.modelsDir), args.rankBy,
                  call_detail::String(jni, args.resultClassName), results,
                  args.verbose ? JNI_TRUE : JNI_FALSE);
}

// VerifyDataWithGetMaxProbability with `args` made on `jni`'s heap, by default the one linked in.
inline jint CallGetBest(
    fakejni::FakeJni& jni, const CallArgs& args, jobject result,
    GetBestMethod method = &Java_com_mirelta_requests_LoadManager_VerifyDataWithGetMaxProbability) {
    return method(jni.env(), nullptr, call_detail::Audio(jni, args), call_detail::Length(args),
                  call_detail::String(jni, args.modelsDir), args.rankBy, result,
                  args.verbose ? JNI_TRUE : JNI_FALSE);
}

// Names of the delivered objects in array order ("-" for an untouched null element).
inline std::vector<std::string> DeliveredNames(jobjectArray results, size_t length) {
    std::vector<std::string> names;
    for (size_t i = 0; i < length; ++i) {
        jobject element = fakejni::FakeJni::Element(results, i);
        names.push_back(element == nullptr ? "-"
                                           : fakejni::FakeJni::StringField(element, "target_name"));
    }
    return names;
}

}  // namespace testsupport
